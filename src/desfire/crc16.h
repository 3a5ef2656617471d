// CRC_A of ISO/IEC 14443-3, the checksum of DESFire's legacy secure messaging.
#pragma once

#include <cstdint>
#include <span>

namespace zendor::desfire {

// Reflected polynomial 0x8408, preset 0x6363, no final XOR. Sent least significant byte first.
uint16_t crcA(std::span<const uint8_t> data);

}  // namespace zendor::desfire
