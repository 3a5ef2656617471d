// CRC_A of ISO/IEC 14443-3, bit by bit: the frames it covers are short, so no table is kept.
#include "desfire/crc16.h"

namespace zendor::desfire {

uint16_t crcA(std::span<const uint8_t> data) {
    uint16_t crc = 0x6363;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0x8408)
                                 : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

}  // namespace zendor::desfire
