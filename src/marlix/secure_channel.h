// DESFire legacy secure messaging on the host side: CRC_A, zero padding and the send and receive
// modes around the data of an enciphered transfer, and the MAC of a MACed one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "desfire/legacy_cipher.h"

namespace zendor::marlix {

// data followed by CRC_A(data), least significant byte first.
std::vector<uint8_t> withCrc(std::span<const uint8_t> data);

// plain zero-padded to whole blocks, then enciphered in the host's send mode (IV 0).
std::vector<uint8_t> sealForCard(const desfire::Key16& sessionKey, std::vector<uint8_t> plain);

// Length of the cryptogram that carries length bytes of data and their CRC.
size_t cryptogramLength(size_t length);

// Deciphers a cryptogram of the card (receive mode, IV 0) that carries length bytes of data,
// their CRC and zero padding; data gets the length bytes only on kOk.
// Fails: kBadAnswer (not cryptogramLength(length) bytes), kCryptogramCheck (CRC or padding wrong).
int16_t openFromCard(const desfire::Key16& sessionKey, std::span<const uint8_t> cryptogram,
                     size_t length, std::vector<uint8_t>& data);

// The legacy MAC: the first 4 bytes of the last block of the CBC encryption (E, IV 0) of data
// zero-padded to whole blocks.
std::array<uint8_t, 4> legacyMac(const desfire::Key16& sessionKey, std::span<const uint8_t> data);

}  // namespace zendor::marlix
