// Legacy secure messaging, shared by the host library and the virtual card: what a transfer
// carries in each communication setting, and the one step that protects the data before sending
// and the one step that checks it after receiving, in either direction.
//
//   plain        data
//   MACed        data | MAC (4) |             MAC = first 4 bytes of the last block of the CBC
//                                             encryption (E, IV 0) of data zero-padded to 8
//   enciphered   cryptogram of | data | CRC_A (2) | trailer | 00 .. |   whole 8-byte blocks, IV 0
//
// A cryptogram to the card is chained in the host's send mode (D) and undone by the card with E;
// one to the host is CBC encryption (E) undone with CBC decryption (D). The CRC covers the data
// only, never the command header. The trailer is ChangeKey's second CRC (that of the new key when
// another key than the authenticated one changes); every other transfer has none.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "desfire/legacy_cipher.h"

namespace zendor::desfire {

enum class Direction { ToCard, ToHost };

// The communication settings of a file and of a transfer.
enum CommSetting : uint8_t { kCommPlain = 0, kCommMaced = 1, kCommEnciphered = 3 };
constexpr size_t kMacLength = 4;

constexpr bool isCommSetting(uint8_t comm) {
    return comm == kCommPlain || comm == kCommMaced || comm == kCommEnciphered;
}

// CRC_A of data, least significant byte first as it is sent.
std::array<uint8_t, 2> crcBytes(std::span<const uint8_t> data);

// Bytes on the wire that carry length bytes of data (and an enciphered trailer of trailerLength).
size_t cryptogramLength(size_t length, size_t trailerLength = 0);
size_t transferLength(uint8_t comm, size_t length);

// The bytes to send for data in the setting comm, under the session key.
// Throws std::invalid_argument for a setting other than the three, or a trailer outside the
// enciphered setting.
std::vector<uint8_t> protect(Direction direction, uint8_t comm, const Key16& sessionKey,
                             std::span<const uint8_t> data, std::span<const uint8_t> trailer = {});

// The length bytes of data (followed by the trailerLength bytes of the trailer) inside what was
// received; nothing when it is not transferLength bytes long, or its MAC, CRC or zero padding is
// wrong. Throws as protect does.
std::optional<std::vector<uint8_t>> check(Direction direction, uint8_t comm,
                                          const Key16& sessionKey,
                                          std::span<const uint8_t> received, size_t length,
                                          size_t trailerLength = 0);

// ChangeKey's cryptogram, enciphered to the card. Changing the key used to authenticate (no
// oldKey): NK || CRC(NK). Another key, whose current value the sender must know:
// (NK ^ OK) || CRC(NK ^ OK) || CRC(NK), the last CRC as the trailer.
std::vector<uint8_t> protectNewKey(const Key16& sessionKey, const Key16& newKey,
                                   const std::optional<Key16>& oldKey);

// The new key inside a ChangeKey cryptogram; nothing when a CRC or the zero tail is wrong.
std::optional<Key16> checkNewKey(const Key16& sessionKey, std::span<const uint8_t> cryptogram,
                                 const std::optional<Key16>& oldKey);

}  // namespace zendor::desfire
