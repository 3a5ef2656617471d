// DESFire's native legacy authentication (0x0A) on the host side.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace zendor::marlix {

// Authenticates with key keyNo of the selected application, whose value is key (16 bytes: DES
// when both halves are equal, 2K3DES otherwise). The authentication in force ends first, so a
// failure leaves none. On kOk readerSession().secure holds the key number and the session key.
// Fails: cardStatus(s) (0xAE wrong key, 0x40 no such key, ...), kBadAnswer (the card's
// challenge or answer is not one block, or it skips a step), kCryptogramCheck (the card's answer
// is not RndA rotated: it does not hold this key), kInternalError (no random number), and the
// faults of transmitFrame.
int16_t authenticate(uint8_t keyNo, std::span<const uint8_t, 16> key);

// Where RndA comes from; an empty function restores the system's random generator. The source
// returns false when it has no random bytes to give. Tests fix it for known answers.
using RandomSource = std::function<bool(std::span<uint8_t>)>;
void setRandomSource(RandomSource source);

}  // namespace zendor::marlix
