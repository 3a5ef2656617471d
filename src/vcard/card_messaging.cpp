// Card side of legacy secure messaging: the IV is zero at the start of every cryptogram.
#include "vcard/card_messaging.h"

#include <algorithm>

#include "desfire/crc16.h"
#include "desfire/legacy_cipher.h"

namespace zendor::vcard {

namespace {

constexpr size_t kBlock = 8;

size_t paddedLength(size_t length) {
    return (length + kBlock - 1) / kBlock * kBlock;
}

}  // namespace

size_t encipheredLength(size_t plainLength) {
    return paddedLength(plainLength + 2);
}

std::array<uint8_t, 2> crcBytes(std::span<const uint8_t> data) {
    uint16_t crc = desfire::crcA(data);
    return {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)};
}

std::vector<uint8_t> encipherForHost(const Key& sessionKey, std::span<const uint8_t> data) {
    std::vector<uint8_t> out(data.begin(), data.end());
    std::array<uint8_t, 2> crc = crcBytes(data);
    out.insert(out.end(), crc.begin(), crc.end());
    out.resize(paddedLength(out.size()), 0);
    desfire::LegacyCipher(sessionKey).cardSend(out);
    return out;
}

std::vector<uint8_t> undoSendMode(const Key& sessionKey, std::span<const uint8_t> cryptogram) {
    std::vector<uint8_t> plain(cryptogram.begin(), cryptogram.end());
    desfire::LegacyCipher(sessionKey).cardReceive(plain);
    return plain;
}

std::optional<std::vector<uint8_t>> decipherFromHost(const Key& sessionKey,
                                                     std::span<const uint8_t> cryptogram,
                                                     size_t plainLength) {
    if (cryptogram.size() != encipheredLength(plainLength)) {
        return std::nullopt;
    }
    std::vector<uint8_t> plain = undoSendMode(sessionKey, cryptogram);
    std::span<const uint8_t> data(plain.data(), plainLength);
    std::array<uint8_t, 2> crc = crcBytes(data);
    bool crcOk = plain[plainLength] == crc[0] && plain[plainLength + 1] == crc[1];
    bool padOk = std::all_of(plain.begin() + static_cast<ptrdiff_t>(plainLength + 2), plain.end(),
                             [](uint8_t b) { return b == 0; });
    if (!crcOk || !padOk) {
        return std::nullopt;
    }
    plain.resize(plainLength);
    return plain;
}

std::array<uint8_t, 4> legacyMac(const Key& sessionKey, std::span<const uint8_t> data) {
    std::vector<uint8_t> blocks(data.begin(), data.end());
    blocks.resize(std::max(paddedLength(blocks.size()), kBlock), 0);
    desfire::LegacyCipher(sessionKey).cardSend(blocks);
    std::array<uint8_t, 4> mac{};
    std::copy_n(blocks.end() - kBlock, mac.size(), mac.begin());
    return mac;
}

}  // namespace zendor::vcard
