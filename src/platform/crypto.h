// The cryptographic primitives the tool takes from the operating system's own library: OpenSSL's
// libcrypto on Linux, BCrypt on Windows. Both backends are held to the same known answers; above
// this file there is one code path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zendor::platform {

constexpr size_t kMd5Size = 16;
constexpr size_t kDesBlockSize = 8;

// One MD5 computation at a time: begin, update any number of times, finish. Each call fails only
// when the library does (MD5 unavailable, out of memory) or out of order (update or finish with
// nothing begun); none prints anything.
class Md5 {
  public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    bool begin();
    bool update(std::span<const uint8_t> bytes);
    bool finish(std::span<uint8_t, kMd5Size> digest);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// DES-EDE on single 8-byte blocks under a 16-byte key K1K2: 2K3DES, or single DES when K1 == K2.
// encrypt and decrypt fail when the library refused the key or the block.
class DesEde {
  public:
    explicit DesEde(std::span<const uint8_t, 16> key);
    ~DesEde();
    DesEde(const DesEde&) = delete;
    DesEde& operator=(const DesEde&) = delete;

    bool encrypt(std::span<const uint8_t, kDesBlockSize> in,
                 std::span<uint8_t, kDesBlockSize> out) const;
    bool decrypt(std::span<const uint8_t, kDesBlockSize> in,
                 std::span<uint8_t, kDesBlockSize> out) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Fills out from the system's cryptographic random generator; false when it cannot.
bool randomBytes(std::span<uint8_t> out);

// Whether a and b (of one size) hold the same bytes, in a time that does not depend on where
// they differ. Spans of different sizes are unequal.
bool equalConstantTime(std::span<const uint8_t> a, std::span<const uint8_t> b);

// Overwrites secret bytes with zeros in a way the compiler may not drop.
void wipe(std::span<uint8_t> bytes);

}  // namespace zendor::platform
