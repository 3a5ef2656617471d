// The protect and check steps of legacy secure messaging. The 512-byte settings image, written
// enciphered:
//
//   plain      | data (512) | CRC_A (2) | 00 x 6 |      = 520 bytes, 65 blocks
//   send mode  y_i = D(x_i ^ y_{i-1}), IV 0, one chain over all 65 blocks
//   frames     | 3D | FileNo Off(3) Len(3) | y 0..46 |  then 8 x | AF | 54 bytes |, | AF | 41 |
//
// The chain runs across the frame boundaries, which need not fall on blocks: the frames are cut
// after protecting and joined before checking.
#include "desfire/secure_messaging.h"

#include <algorithm>
#include <stdexcept>

#include "desfire/crc16.h"

namespace zendor::desfire {
namespace {

constexpr size_t kBlockSize = 8;

size_t wholeBlocks(size_t length) {
    return (length + kBlockSize - 1) / kBlockSize * kBlockSize;
}

void requireSetting(uint8_t comm, size_t trailerLength) {
    if (!isCommSetting(comm) || (trailerLength != 0 && comm != kCommEnciphered)) {
        throw std::invalid_argument("no such secured transfer");
    }
}

std::array<uint8_t, kMacLength> legacyMac(const Key16& sessionKey, std::span<const uint8_t> data) {
    std::vector<uint8_t> blocks(data.begin(), data.end());
    blocks.resize(std::max(wholeBlocks(blocks.size()), kBlockSize), 0x00);
    LegacyCipher(sessionKey).cardSend(blocks);
    std::array<uint8_t, kMacLength> mac{};
    std::copy_n(blocks.end() - kBlockSize, mac.size(), mac.begin());
    return mac;
}

std::vector<uint8_t> encipher(Direction direction, const Key16& sessionKey,
                              std::span<const uint8_t> data, std::span<const uint8_t> trailer) {
    std::vector<uint8_t> plain(data.begin(), data.end());
    const std::array<uint8_t, 2> crc = crcBytes(data);
    plain.insert(plain.end(), crc.begin(), crc.end());
    plain.insert(plain.end(), trailer.begin(), trailer.end());
    plain.resize(wholeBlocks(plain.size()), 0x00);
    const LegacyCipher cipher(sessionKey);
    direction == Direction::ToCard ? cipher.hostSend(plain) : cipher.cardSend(plain);
    return plain;
}

std::optional<std::vector<uint8_t>> decipher(Direction direction, const Key16& sessionKey,
                                             std::span<const uint8_t> cryptogram, size_t length,
                                             size_t trailerLength) {
    std::vector<uint8_t> plain(cryptogram.begin(), cryptogram.end());
    const LegacyCipher cipher(sessionKey);
    direction == Direction::ToCard ? cipher.cardReceive(plain) : cipher.hostReceive(plain);
    const std::array<uint8_t, 2> crc = crcBytes(std::span(plain).first(length));
    const bool crcMatches = plain[length] == crc[0] && plain[length + 1] == crc[1];
    const auto tail = plain.begin() + static_cast<std::ptrdiff_t>(length + 2 + trailerLength);
    const bool padIsZero = std::all_of(tail, plain.end(), [](uint8_t b) { return b == 0; });
    if (!crcMatches || !padIsZero) {
        return std::nullopt;
    }
    plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(length),
                plain.begin() + static_cast<std::ptrdiff_t>(length + 2));
    plain.resize(length + trailerLength);
    return plain;
}

Key16 xorKeys(const Key16& a, const Key16& b) {
    Key16 out{};
    std::transform(a.begin(), a.end(), b.begin(), out.begin(),
                   [](uint8_t x, uint8_t y) { return static_cast<uint8_t>(x ^ y); });
    return out;
}

}  // namespace

std::array<uint8_t, 2> crcBytes(std::span<const uint8_t> data) {
    const uint16_t crc = crcA(data);
    return {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
}

size_t cryptogramLength(size_t length, size_t trailerLength) {
    return wholeBlocks(length + 2 + trailerLength);
}

size_t transferLength(uint8_t comm, size_t length) {
    switch (comm) {
        case kCommMaced:
            return length + kMacLength;
        case kCommEnciphered:
            return cryptogramLength(length);
        default:
            return length;
    }
}

std::vector<uint8_t> protect(Direction direction, uint8_t comm, const Key16& sessionKey,
                             std::span<const uint8_t> data, std::span<const uint8_t> trailer) {
    requireSetting(comm, trailer.size());
    if (comm == kCommEnciphered) {
        return encipher(direction, sessionKey, data, trailer);
    }
    std::vector<uint8_t> out(data.begin(), data.end());
    if (comm == kCommMaced) {
        const auto mac = legacyMac(sessionKey, data);
        out.insert(out.end(), mac.begin(), mac.end());
    }
    return out;
}

std::optional<std::vector<uint8_t>> check(Direction direction, uint8_t comm,
                                          const Key16& sessionKey,
                                          std::span<const uint8_t> received, size_t length,
                                          size_t trailerLength) {
    requireSetting(comm, trailerLength);
    if (comm == kCommEnciphered) {
        if (received.size() != cryptogramLength(length, trailerLength)) {
            return std::nullopt;
        }
        return decipher(direction, sessionKey, received, length, trailerLength);
    }
    if (received.size() != transferLength(comm, length)) {
        return std::nullopt;
    }
    const auto data = received.first(length);
    if (comm == kCommMaced) {
        const auto mac = legacyMac(sessionKey, data);
        if (!std::equal(mac.begin(), mac.end(),
                        received.begin() + static_cast<std::ptrdiff_t>(length))) {
            return std::nullopt;
        }
    }
    return std::vector<uint8_t>(data.begin(), data.end());
}

std::vector<uint8_t> protectNewKey(const Key16& sessionKey, const Key16& newKey,
                                   const std::optional<Key16>& oldKey) {
    if (!oldKey) {
        return protect(Direction::ToCard, kCommEnciphered, sessionKey, newKey);
    }
    return protect(Direction::ToCard, kCommEnciphered, sessionKey, xorKeys(newKey, *oldKey),
                   crcBytes(newKey));
}

std::optional<Key16> checkNewKey(const Key16& sessionKey, std::span<const uint8_t> cryptogram,
                                 const std::optional<Key16>& oldKey) {
    const size_t trailerLength = oldKey ? 2 : 0;
    const std::optional<std::vector<uint8_t>> plain = check(
        Direction::ToCard, kCommEnciphered, sessionKey, cryptogram, Key16{}.size(), trailerLength);
    if (!plain) {
        return std::nullopt;
    }
    Key16 sent{};
    std::copy_n(plain->begin(), sent.size(), sent.begin());
    if (!oldKey) {
        return sent;
    }
    const Key16 key = xorKeys(sent, *oldKey);
    const std::array<uint8_t, 2> keyCrc = crcBytes(key);
    if (!std::equal(keyCrc.begin(), keyCrc.end(), plain->begin() + sent.size())) {
        return std::nullopt;
    }
    return key;
}

}  // namespace zendor::desfire
