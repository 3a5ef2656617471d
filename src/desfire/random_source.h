// Where the randoms of the legacy authentication come from, on either side: RndA on the host,
// RndB on the card.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace zendor::desfire {

// Fills out; false when it has no random bytes to give. Tests fix it for known answers.
using RandomSource = std::function<bool(std::span<uint8_t>)>;

// The system's generator: the source of both sides unless a test sets another.
bool systemRandom(std::span<uint8_t> out);

}  // namespace zendor::desfire
