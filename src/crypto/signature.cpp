// Key diversification and image signature, computed in the process-wide digest context.
#include "crypto/signature.h"

#include <algorithm>
#include <array>

#include "crypto/md5.h"
#include "platform/crypto.h"

namespace zendor::crypto {

namespace {

using Block16 = std::array<uint8_t, kDigestSize>;

// HMAC-MD5 of message under key into result; the caller has checked every size.
bool hmacMd5(Block16& result, std::span<const uint8_t> key, std::span<const uint8_t> message) {
    CryptoContext& context = processCryptoContext();
    return hmacMd5Begin(context, key) && md5Update(context, message) &&
           hmacMd5End(context, result, key);
}

// Results go through a local block so that a failure leaves the caller's output untouched.
bool deliver(bool ok, Block16& result, std::span<uint8_t> output) {
    if (ok) {
        std::copy(result.begin(), result.end(), output.begin());
    }
    platform::wipe(result);
    return ok;
}

}  // namespace

bool diversifyKey(std::span<uint8_t> output, std::span<const uint8_t> key,
                  std::span<const uint8_t> uid) {
    if (output.size() < kKeySize || key.size() < kKeySize || uid.size() < kUidSize) {
        return false;
    }
    std::array<uint8_t, 1 + kUidSize> message{DIVERSIFY_PREFIX};
    std::copy_n(uid.begin(), kUidSize, message.begin() + 1);
    Block16 result;
    return deliver(hmacMd5(result, key.first(kKeySize), message), result, output);
}

bool computeSignature(std::span<uint8_t> output, std::span<const uint8_t> image,
                      std::span<const uint8_t> key, std::span<const uint8_t> uid) {
    if (output.size() < kSignatureSize || image.size() != SIGNED_IMAGE_SIZE) {
        return false;
    }
    Block16 cardKey;
    if (!diversifyKey(cardKey, key, uid)) {
        return false;
    }
    Block16 result;
    const bool ok = hmacMd5(result, cardKey, image);
    platform::wipe(cardKey);
    return deliver(ok, result, output);
}

bool signaturesEqual(std::span<const uint8_t, kSignatureSize> a,
                     std::span<const uint8_t, kSignatureSize> b) {
    return platform::equalConstantTime(a, b);
}

}  // namespace zendor::crypto
