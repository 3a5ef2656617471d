// The card's half of legacy secure messaging under the session key: it undoes the host's send
// mode on what arrives and enciphers (CBC) what it answers; CRC_A and zero padding as the host
// sends them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vcard/card_state.h"

namespace zendor::vcard {

// Length of the cryptogram that carries plainLength bytes and their CRC: whole 8-byte blocks.
size_t encipheredLength(size_t plainLength);

// data || CRC_A(data) || zero padding, enciphered for the host.
std::vector<uint8_t> encipherForHost(const Key& sessionKey, std::span<const uint8_t> data);

// The plainLength bytes inside a host cryptogram; nothing when the length is not whole blocks,
// the CRC does not match or the padding is not zero (the card's integrity error).
std::optional<std::vector<uint8_t>> decipherFromHost(const Key& sessionKey,
                                                     std::span<const uint8_t> cryptogram,
                                                     size_t plainLength);

// Undoes the host's send mode over whole blocks, nothing checked (ChangeKey checks its own).
std::vector<uint8_t> undoSendMode(const Key& sessionKey, std::span<const uint8_t> cryptogram);

// Legacy MAC: the first 4 bytes of the last block of CBC encryption over the zero-padded data.
std::array<uint8_t, 4> legacyMac(const Key& sessionKey, std::span<const uint8_t> data);

// CRC_A sent least significant byte first.
std::array<uint8_t, 2> crcBytes(std::span<const uint8_t> data);

}  // namespace zendor::vcard
