// DES/2K3DES of DESFire's legacy (native 0x0A) authentication, and the four ways its
// cryptograms are chained. The host only ever deciphers (D), the card only enciphers (E):
//
//   host -> card   host "send mode"      y_i = D(x_i ^ y_{i-1})
//   card <- host   card undoes it        x_i = E(y_i) ^ y_{i-1}
//   card -> host   CBC encryption        y_i = E(x_i ^ y_{i-1})
//   host <- card   CBC decryption        x_i = D(y_i) ^ y_{i-1}
//
// The IV is zero at the start of every cryptogram.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace zendor::desfire {

using Key16 = std::array<uint8_t, 16>;
using Block = std::array<uint8_t, 8>;

// A key whose two halves are equal, byte for byte, is single DES; otherwise 2K3DES.
bool isSingleDes(std::span<const uint8_t, 16> key);

// The session key of a legacy authentication: RndA[0..3] RndB[0..3], doubled for single DES;
// RndA[0..3] RndB[0..3] RndA[4..7] RndB[4..7] for 2K3DES.
Key16 sessionKey(std::span<const uint8_t, 16> authKey, const Block& rndA, const Block& rndB);

// Rotate left by one byte (RndA', RndB').
Block rotateLeft(const Block& block);

// E and D of one 8-byte block under a 16-byte key (DES-EDE, which is single DES when the halves
// are equal), from the system's crypto library. Both throw std::runtime_error when that library
// fails (the key or cipher refused).
class LegacyCipher {
  public:
    explicit LegacyCipher(std::span<const uint8_t, 16> key);
    ~LegacyCipher();
    LegacyCipher(const LegacyCipher&) = delete;
    LegacyCipher& operator=(const LegacyCipher&) = delete;

    Block encrypt(const Block& in) const;
    Block decrypt(const Block& in) const;

    // The chaining modes above, in place over whole 8-byte blocks (data.size() % 8 == 0).
    void hostSend(std::span<uint8_t> data) const;
    void hostReceive(std::span<uint8_t> data) const;
    void cardReceive(std::span<uint8_t> data) const;
    void cardSend(std::span<uint8_t> data) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zendor::desfire
