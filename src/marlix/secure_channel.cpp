// Host side of the legacy secure messaging. The 512-byte settings image, written enciphered:
//
//   plain      | data (512) | CRC_A (2) | 00 x 6 |      = 520 bytes, 65 blocks
//   send mode  y_i = D(x_i ^ y_{i-1}), IV 0, one chain over all 65 blocks
//   frames     | 3D | FileNo Off(3) Len(3) | y 0..46 |  then 8 x | AF | 54 bytes |, | AF | 41 |
//
// The CRC covers the data only (not the command header), and the chain runs across the frame
// boundaries, which need not fall on blocks.
#include "marlix/secure_channel.h"

#include <algorithm>

#include "desfire/crc16.h"
#include "marlix/status.h"

namespace zendor::marlix {
namespace {

void appendCrc(std::vector<uint8_t>& out, std::span<const uint8_t> data) {
    const uint16_t crc = desfire::crcA(data);
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
}

void padToBlocks(std::vector<uint8_t>& data) {
    data.resize((data.size() + 7) / 8 * 8, 0x00);
}

}  // namespace

std::vector<uint8_t> withCrc(std::span<const uint8_t> data) {
    std::vector<uint8_t> out(data.begin(), data.end());
    appendCrc(out, data);
    return out;
}

std::vector<uint8_t> sealForCard(const desfire::Key16& sessionKey, std::vector<uint8_t> plain) {
    padToBlocks(plain);
    desfire::LegacyCipher(sessionKey).hostSend(plain);
    return plain;
}

size_t cryptogramLength(size_t length) {
    return (length + 2 + 7) / 8 * 8;
}

int16_t openFromCard(const desfire::Key16& sessionKey, std::span<const uint8_t> cryptogram,
                     size_t length, std::vector<uint8_t>& data) {
    data.clear();
    if (cryptogram.size() != cryptogramLength(length)) {
        return kBadAnswer;
    }
    std::vector<uint8_t> plain(cryptogram.begin(), cryptogram.end());
    desfire::LegacyCipher(sessionKey).hostReceive(plain);
    const auto payload = std::span(plain).first(length);
    const uint16_t crc = desfire::crcA(payload);
    const bool crcMatches = plain[length] == (crc & 0xFF) && plain[length + 1] == (crc >> 8);
    const bool padIsZero = std::all_of(plain.begin() + static_cast<std::ptrdiff_t>(length + 2),
                                       plain.end(), [](uint8_t b) { return b == 0; });
    if (!crcMatches || !padIsZero) {
        return kCryptogramCheck;
    }
    data.assign(payload.begin(), payload.end());
    return kOk;
}

std::array<uint8_t, 4> legacyMac(const desfire::Key16& sessionKey, std::span<const uint8_t> data) {
    std::vector<uint8_t> blocks(data.begin(), data.end());
    padToBlocks(blocks);
    if (blocks.empty()) {
        blocks.resize(8, 0x00);
    }
    desfire::LegacyCipher(sessionKey).cardSend(blocks);
    std::array<uint8_t, 4> mac{};
    std::copy_n(blocks.end() - 8, mac.size(), mac.begin());
    return mac;
}

}  // namespace zendor::marlix
