// DES/2K3DES blocks from the system's crypto library, and DESFire's legacy chaining modes over
// them. The chaining is done here, block by block, because the host side chains with D where
// ordinary CBC would use E.
#include "desfire/legacy_cipher.h"

#include <algorithm>
#include <stdexcept>

#include "platform/crypto.h"

namespace zendor::desfire {
namespace {

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
    explicit Impl(std::span<const uint8_t, 16> key) : cipher(key) {}
    platform::DesEde cipher;
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

LegacyCipher::LegacyCipher(std::span<const uint8_t, 16> key) : impl_(std::make_unique<Impl>(key)) {}

LegacyCipher::~LegacyCipher() = default;

Block LegacyCipher::encrypt(const Block& in) const {
    Block out{};
    if (!impl_->cipher.encrypt(in, out)) {
        throw std::runtime_error("DES-EDE encryption failed");
    }
    return out;
}

Block LegacyCipher::decrypt(const Block& in) const {
    Block out{};
    if (!impl_->cipher.decrypt(in, out)) {
        throw std::runtime_error("DES-EDE decryption failed");
    }
    return out;
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
