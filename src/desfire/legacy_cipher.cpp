// DES/2K3DES blocks through OpenSSL's DES-EDE-ECB, and DESFire's legacy chaining modes over them.
//
// DES-EDE with two equal halves is single DES (E_K(D_K(E_K(x))) = E_K(x)), so one cipher serves
// both key forms and OpenSSL's legacy provider (which alone has plain DES) is never needed. The
// chaining is done here, block by block, because the host side chains with D where ordinary CBC
// would use E.
#include "desfire/legacy_cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

namespace zendor::desfire {
namespace {

struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct ContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, ContextFree>;

ContextPtr makeContext(EVP_CIPHER* cipher, std::span<const uint8_t, 16> key, int encrypt) {
    ContextPtr context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex2(context.get(), cipher, key.data(), nullptr, encrypt, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        throw std::runtime_error("DES-EDE-ECB cannot be set up");
    }
    return context;
}

Block runBlock(EVP_CIPHER_CTX* context, const Block& in) {
    Block out{};
    int length = 0;
    if (EVP_CipherUpdate(context, out.data(), &length, in.data(), static_cast<int>(in.size())) !=
            1 ||
        length != static_cast<int>(out.size())) {
        throw std::runtime_error("DES-EDE-ECB failed");
    }
    return out;
}

Block xorBlock(const Block& a, const Block& b) {
    Block out{};
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(a[i] ^ b[i]);
    }
    return out;
}

Block loadBlock(std::span<const uint8_t> data, size_t offset) {
    Block block{};
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), block.size(), block.begin());
    return block;
}

void storeBlock(std::span<uint8_t> data, size_t offset, const Block& block) {
    std::copy(block.begin(), block.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
}

void requireWholeBlocks(std::span<const uint8_t> data) {
    if (data.size() % 8 != 0) {
        throw std::invalid_argument("cryptogram is not a whole number of blocks");
    }
}

// y_i = op(x_i ^ y_{i-1}): host send mode (op = D), CBC encryption (op = E).
template <typename BlockOp>
void chainBefore(std::span<uint8_t> data, BlockOp op) {
    requireWholeBlocks(data);
    Block previous{};
    for (size_t offset = 0; offset < data.size(); offset += 8) {
        previous = op(xorBlock(loadBlock(data, offset), previous));
        storeBlock(data, offset, previous);
    }
}

// x_i = op(y_i) ^ y_{i-1}: CBC decryption (op = D), the card undoing send mode (op = E).
template <typename BlockOp>
void chainAfter(std::span<uint8_t> data, BlockOp op) {
    requireWholeBlocks(data);
    Block previous{};
    for (size_t offset = 0; offset < data.size(); offset += 8) {
        const Block cipherBlock = loadBlock(data, offset);
        storeBlock(data, offset, xorBlock(op(cipherBlock), previous));
        previous = cipherBlock;
    }
}

}  // namespace

struct LegacyCipher::Impl {
    ContextPtr encrypt;
    ContextPtr decrypt;
};

bool isSingleDes(std::span<const uint8_t, 16> key) {
    return std::equal(key.begin(), key.begin() + 8, key.begin() + 8);
}

Key16 sessionKey(std::span<const uint8_t, 16> authKey, const Block& rndA, const Block& rndB) {
    Key16 key{};
    std::copy_n(rndA.begin(), 4, key.begin());
    std::copy_n(rndB.begin(), 4, key.begin() + 4);
    if (isSingleDes(authKey)) {
        std::copy_n(key.begin(), 8, key.begin() + 8);
    } else {
        std::copy_n(rndA.begin() + 4, 4, key.begin() + 8);
        std::copy_n(rndB.begin() + 4, 4, key.begin() + 12);
    }
    return key;
}

Block rotateLeft(const Block& block) {
    Block out{};
    std::rotate_copy(block.begin(), block.begin() + 1, block.end(), out.begin());
    return out;
}

LegacyCipher::LegacyCipher(std::span<const uint8_t, 16> key) : impl_(std::make_unique<Impl>()) {
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher(
        EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr));
    if (!cipher) {
        throw std::runtime_error("DES-EDE-ECB is not available");
    }
    impl_->encrypt = makeContext(cipher.get(), key, 1);
    impl_->decrypt = makeContext(cipher.get(), key, 0);
}

LegacyCipher::~LegacyCipher() = default;

Block LegacyCipher::encrypt(const Block& in) const {
    return runBlock(impl_->encrypt.get(), in);
}

Block LegacyCipher::decrypt(const Block& in) const {
    return runBlock(impl_->decrypt.get(), in);
}

void LegacyCipher::hostSend(std::span<uint8_t> data) const {
    chainBefore(data, [this](const Block& b) { return decrypt(b); });
}

void LegacyCipher::hostReceive(std::span<uint8_t> data) const {
    chainAfter(data, [this](const Block& b) { return decrypt(b); });
}

void LegacyCipher::cardReceive(std::span<uint8_t> data) const {
    chainAfter(data, [this](const Block& b) { return encrypt(b); });
}

void LegacyCipher::cardSend(std::span<uint8_t> data) const {
    chainBefore(data, [this](const Block& b) { return encrypt(b); });
}

}  // namespace zendor::desfire
