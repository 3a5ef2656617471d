// MD5 and HMAC-MD5 over one working context; the digest itself comes from the system's crypto
// library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/crypto.h"

namespace zendor::crypto {

constexpr size_t kDigestSize = 16;     // MD5 and HMAC-MD5 output
constexpr size_t kHmacBlockSize = 64;  // MD5 block size: the longest HMAC key we accept

// The state of one MD5 computation at a time. The library's MD5 is taken once, when the context
// is made; when it cannot be had, every md5Init on this context fails.
struct CryptoContext {
    platform::Md5 digest;
    bool started = false;  // between a successful md5Init and its md5Final
};

// The process-wide context that the signature operations share (one computation at a time).
CryptoContext& processCryptoContext();

// Each of these fails only when the crypto library fails (MD5 unavailable, out of memory) or, for
// md5Update and md5Final, when no digest was started; such a failure prints one line.
bool md5Init(CryptoContext& context);
bool md5Update(CryptoContext& context, std::span<const uint8_t> bytes);
bool md5Final(CryptoContext& context, std::span<uint8_t, kDigestSize> output);

// HMAC-MD5: hmacMd5Begin, md5Update with the message (any number of pieces), then hmacMd5End with
// the same key, since the context does not keep it. Both fail, without a message, for a key over
// 64 bytes, and as the MD5 operations above.
bool hmacMd5Begin(CryptoContext& context, std::span<const uint8_t> key);
bool hmacMd5End(CryptoContext& context, std::span<uint8_t, kDigestSize> output,
                std::span<const uint8_t> key);

}  // namespace zendor::crypto
