// Per-card key diversification and the signature of a 512-byte settings image, both HMAC-MD5.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zendor::crypto {

constexpr uint8_t DIVERSIFY_PREFIX = 0x88;  // first byte of the diversification message
constexpr size_t SIGNED_IMAGE_SIZE = 512;   // the whole data file, trailing zeros included
constexpr size_t kKeySize = 16;
constexpr size_t kUidSize = 7;
constexpr size_t kSignatureSize = 16;

// output = HMAC-MD5 under key[0..15] of DIVERSIFY_PREFIX followed by uid[0..6]. Fails, writing
// nothing and printing nothing, when output or key is shorter than 16 bytes or uid shorter than 7
// (a missing buffer); also when the digest fails (the digest prints its line).
bool diversifyKey(std::span<uint8_t> output, std::span<const uint8_t> key,
                  std::span<const uint8_t> uid);

// output = HMAC-MD5 of all 512 image bytes under diversifyKey(key, uid). Fails, writing nothing
// and printing nothing, when output or key is shorter than 16 bytes, uid shorter than 7, or image
// is not exactly 512 bytes; also when the digest fails (the digest prints its line).
bool computeSignature(std::span<uint8_t> output, std::span<const uint8_t> image,
                      std::span<const uint8_t> key, std::span<const uint8_t> uid);

// Whether two signatures are equal, in a time that does not depend on where they differ.
bool signaturesEqual(std::span<const uint8_t, kSignatureSize> a,
                     std::span<const uint8_t, kSignatureSize> b);

}  // namespace zendor::crypto
