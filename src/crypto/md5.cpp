// MD5 through libcrypto's EVP interface, and HMAC-MD5 built on it with the two RFC 2104 pads.
#include "crypto/md5.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

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
    OPENSSL_cleanse(block.data(), block.size());
    return ok;
}

}  // namespace

void DigestContextDeleter::operator()(EVP_MD_CTX* context) const {
    EVP_MD_CTX_free(context);
}

void DigestAlgorithmDeleter::operator()(EVP_MD* algorithm) const {
    EVP_MD_free(algorithm);
}

// Everything libcrypto needs is taken here, so that libcrypto is initialised (and its exit
// handler registered) before this object exists and the object is destroyed before libcrypto.
CryptoContext::CryptoContext()
    : digest(EVP_MD_CTX_new()), md5(EVP_MD_fetch(nullptr, "MD5", nullptr)) {}

CryptoContext& processCryptoContext() {
    static CryptoContext context;
    return context;
}

bool md5Init(CryptoContext& context) {
    context.started = context.digest && context.md5 &&
                      EVP_DigestInit_ex(context.digest.get(), context.md5.get(), nullptr) == 1;
    return context.started || digestFailed(context);
}

bool md5Update(CryptoContext& context, std::span<const uint8_t> bytes) {
    if (!context.started ||
        EVP_DigestUpdate(context.digest.get(), bytes.data(), bytes.size()) != 1) {
        return digestFailed(context);
    }
    return true;
}

bool md5Final(CryptoContext& context, std::span<uint8_t, kDigestSize> output) {
    std::array<uint8_t, EVP_MAX_MD_SIZE> digest;
    unsigned int length = 0;
    if (!context.started || EVP_DigestFinal_ex(context.digest.get(), digest.data(), &length) != 1 ||
        length != kDigestSize) {
        return digestFailed(context);
    }
    context.started = false;
    std::copy_n(digest.begin(), kDigestSize, output.begin());
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
    OPENSSL_cleanse(inner.data(), inner.size());
    return ok;
}

}  // namespace zendor::crypto
