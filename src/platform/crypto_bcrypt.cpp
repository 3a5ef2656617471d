// The crypto primitives through Windows' BCrypt (CNG).
//
// Only calls that work both on Windows and under Wine, where BCrypt has no single DES, no
// 2K3DES algorithm and refuses 3DES in ECB mode: a DES-EDE block is one block of 3DES-CBC under
// a zero IV (then CBC is ECB), with K1K2 expanded to K1K2K1 (which is single DES when K1 == K2).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <array>

#include "platform/crypto.h"

namespace zendor::platform {
namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

struct AlgorithmClose {
    using pointer = BCRYPT_ALG_HANDLE;
    void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashDestroy {
    using pointer = BCRYPT_HASH_HANDLE;
    void operator()(BCRYPT_HASH_HANDLE handle) const { BCryptDestroyHash(handle); }
};
struct KeyDestroy {
    using pointer = BCRYPT_KEY_HANDLE;
    void operator()(BCRYPT_KEY_HANDLE handle) const { BCryptDestroyKey(handle); }
};
using Algorithm = std::unique_ptr<void, AlgorithmClose>;

Algorithm openAlgorithm(const wchar_t* name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) {
        return nullptr;
    }
    return Algorithm(handle);
}

// BCryptEncrypt and BCryptDecrypt have one signature.
using BlockCall = decltype(&BCryptEncrypt);

// One block under a zero IV, through a copy of the key made for it: Wine keeps the chaining
// state in the key from one call to the next even when a zero IV is given again, so only a key
// that has never been used starts every block afresh on both systems.
bool runBlock(BlockCall call, BCRYPT_KEY_HANDLE key, std::span<const uint8_t, kDesBlockSize> in,
              std::span<uint8_t, kDesBlockSize> out) {
    BCRYPT_KEY_HANDLE copy = nullptr;
    if (key == nullptr || !succeeded(BCryptDuplicateKey(key, &copy, nullptr, 0, 0))) {
        return false;
    }
    const std::unique_ptr<void, KeyDestroy> once(copy);
    std::array<uint8_t, kDesBlockSize> block;
    std::array<uint8_t, kDesBlockSize> iv{};
    std::copy(in.begin(), in.end(), block.begin());
    ULONG written = 0;
    return succeeded(call(copy, block.data(), kDesBlockSize, nullptr, iv.data(), kDesBlockSize,
                          out.data(), kDesBlockSize, &written, 0)) &&
           written == kDesBlockSize;
}

}  // namespace

struct Md5::State {
    Algorithm algorithm;
    std::unique_ptr<void, HashDestroy> hash;  // the computation begun, if any
};

Md5::Md5() : state_(std::make_unique<State>()) {
    state_->algorithm = openAlgorithm(BCRYPT_MD5_ALGORITHM);
}

Md5::~Md5() = default;

bool Md5::begin() {
    state_->hash.reset();
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!state_->algorithm ||
        !succeeded(BCryptCreateHash(state_->algorithm.get(), &hash, nullptr, 0, nullptr, 0, 0))) {
        return false;
    }
    state_->hash.reset(hash);
    return true;
}

bool Md5::update(std::span<const uint8_t> bytes) {
    // BCryptHashData takes a non-const pointer but only reads through it.
    if (!state_->hash ||
        !succeeded(BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes.data()),
                                  static_cast<ULONG>(bytes.size()), 0))) {
        state_->hash.reset();
        return false;
    }
    return true;
}

bool Md5::finish(std::span<uint8_t, kMd5Size> digest) {
    std::array<uint8_t, kMd5Size> result;
    const bool ok =
        state_->hash && succeeded(BCryptFinishHash(state_->hash.get(), result.data(),
                                                   static_cast<ULONG>(result.size()), 0));
    state_->hash.reset();
    if (ok) {
        std::copy(result.begin(), result.end(), digest.begin());
    }
    return ok;
}

struct DesEde::State {
    Algorithm algorithm;
    std::unique_ptr<void, KeyDestroy> key;
};

DesEde::DesEde(std::span<const uint8_t, 16> key) : state_(std::make_unique<State>()) {
    state_->algorithm = openAlgorithm(BCRYPT_3DES_ALGORITHM);
    if (!state_->algorithm ||
        !succeeded(
            BCryptSetProperty(state_->algorithm.get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                              sizeof(BCRYPT_CHAIN_MODE_CBC), 0))) {
        return;
    }
    std::array<uint8_t, 24> k1k2k1;
    std::copy(key.begin(), key.end(), k1k2k1.begin());
    std::copy_n(key.begin(), 8, k1k2k1.begin() + 16);
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (succeeded(BCryptGenerateSymmetricKey(state_->algorithm.get(), &handle, nullptr, 0,
                                             k1k2k1.data(), static_cast<ULONG>(k1k2k1.size()),
                                             0))) {
        state_->key.reset(handle);
    }
    wipe(k1k2k1);
}

DesEde::~DesEde() = default;

bool DesEde::encrypt(std::span<const uint8_t, kDesBlockSize> in,
                     std::span<uint8_t, kDesBlockSize> out) const {
    return runBlock(BCryptEncrypt, state_->key.get(), in, out);
}

bool DesEde::decrypt(std::span<const uint8_t, kDesBlockSize> in,
                     std::span<uint8_t, kDesBlockSize> out) const {
    return runBlock(BCryptDecrypt, state_->key.get(), in, out);
}

bool randomBytes(std::span<uint8_t> out) {
    // BCrypt refuses a null buffer, which is what an empty span holds.
    return out.empty() ||
           succeeded(BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool equalConstantTime(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    if (a.size() != b.size()) {
        return false;
    }
    // Every byte is visited whatever the differences; volatile keeps the loop from ending early.
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        difference = static_cast<uint8_t>(difference | (a[i] ^ b[i]));
    }
    return difference == 0;
}

void wipe(std::span<uint8_t> bytes) {
    SecureZeroMemory(bytes.data(), bytes.size());
}

}  // namespace zendor::platform
