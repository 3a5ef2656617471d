// MD5 from the system's crypto library, and HMAC-MD5 built on it with the two RFC 2104 pads.
#include "crypto/md5.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zendor::crypto {

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

bool digestFailed(CryptoContext& context) {
    context.started = false;
    std::printf("Digest computation error\n");
    return false;
}

// Starts a digest and absorbs the key, zero-padded to one block, XORed with pad.
bool absorbPaddedKey(CryptoContext& context, std::span<const uint8_t> key, uint8_t pad) {
    std::array<uint8_t, kHmacBlockSize> block;
    block.fill(pad);
    for (size_t i = 0; i < key.size(); ++i) {
        block[i] ^= key[i];
    }
    const bool ok = md5Init(context) && md5Update(context, block);
    platform::wipe(block);
    return ok;
}

}  // namespace

CryptoContext& processCryptoContext() {
    static CryptoContext context;
    return context;
}

bool md5Init(CryptoContext& context) {
    context.started = context.digest.begin();
    return context.started || digestFailed(context);
}

bool md5Update(CryptoContext& context, std::span<const uint8_t> bytes) {
    if (!context.started || !context.digest.update(bytes)) {
        return digestFailed(context);
    }
    return true;
}

bool md5Final(CryptoContext& context, std::span<uint8_t, kDigestSize> output) {
    if (!context.started || !context.digest.finish(output)) {
        return digestFailed(context);
    }
    context.started = false;
    return true;
}

bool hmacMd5Begin(CryptoContext& context, std::span<const uint8_t> key) {
    return key.size() <= kHmacBlockSize && absorbPaddedKey(context, key, kInnerPad);
}

bool hmacMd5End(CryptoContext& context, std::span<uint8_t, kDigestSize> output,
                std::span<const uint8_t> key) {
    if (key.size() > kHmacBlockSize) {
        context.started = false;
        return false;
    }
    std::array<uint8_t, kDigestSize> inner;
    const bool ok = md5Final(context, inner) && absorbPaddedKey(context, key, kOuterPad) &&
                    md5Update(context, inner) && md5Final(context, output);
    platform::wipe(inner);
    return ok;
}

}  // namespace zendor::crypto
