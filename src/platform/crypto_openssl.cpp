// The crypto primitives through OpenSSL's libcrypto (EVP).
//
// DES-EDE with two equal halves is single DES (E_K(D_K(E_K(x))) = E_K(x)), so one cipher serves
// both key forms and OpenSSL's legacy provider (which alone has plain DES) is never needed.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>

#include "platform/crypto.h"

namespace zendor::platform {
namespace {

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    void operator()(EVP_MD* algorithm) const { EVP_MD_free(algorithm); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherFree>;

CipherContext makeCipherContext(EVP_CIPHER* cipher, std::span<const uint8_t, 16> key, int encrypt) {
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex2(context.get(), cipher, key.data(), nullptr, encrypt, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        return nullptr;
    }
    return context;
}

bool runBlock(EVP_CIPHER_CTX* context, std::span<const uint8_t, kDesBlockSize> in,
              std::span<uint8_t, kDesBlockSize> out) {
    int length = 0;
    return context != nullptr &&
           EVP_CipherUpdate(context, out.data(), &length, in.data(), static_cast<int>(in.size())) ==
               1 &&
           length == static_cast<int>(out.size());
}

}  // namespace

struct Md5::State {
    std::unique_ptr<EVP_MD_CTX, DigestFree> context;
    std::unique_ptr<EVP_MD, DigestFree> algorithm;
    bool started = false;
};

// Everything libcrypto needs is taken here, so that libcrypto is initialised (and its exit
// handler registered) before this object exists and the object is destroyed before libcrypto.
Md5::Md5() : state_(std::make_unique<State>()) {
    state_->context.reset(EVP_MD_CTX_new());
    state_->algorithm.reset(EVP_MD_fetch(nullptr, "MD5", nullptr));
}

Md5::~Md5() = default;

bool Md5::begin() {
    state_->started =
        state_->context && state_->algorithm &&
        EVP_DigestInit_ex(state_->context.get(), state_->algorithm.get(), nullptr) == 1;
    return state_->started;
}

bool Md5::update(std::span<const uint8_t> bytes) {
    state_->started =
        state_->started && EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
    return state_->started;
}

bool Md5::finish(std::span<uint8_t, kMd5Size> digest) {
    unsigned int length = 0;
    std::array<uint8_t, EVP_MAX_MD_SIZE> full;
    const bool ok = state_->started &&
                    EVP_DigestFinal_ex(state_->context.get(), full.data(), &length) == 1 &&
                    length == kMd5Size;
    state_->started = false;
    if (ok) {
        std::copy_n(full.begin(), kMd5Size, digest.begin());
    }
    return ok;
}

struct DesEde::State {
    CipherContext encrypt;
    CipherContext decrypt;
};

DesEde::DesEde(std::span<const uint8_t, 16> key) : state_(std::make_unique<State>()) {
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher(
        EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr));
    if (cipher) {
        state_->encrypt = makeCipherContext(cipher.get(), key, 1);
        state_->decrypt = makeCipherContext(cipher.get(), key, 0);
    }
}

DesEde::~DesEde() = default;

bool DesEde::encrypt(std::span<const uint8_t, kDesBlockSize> in,
                     std::span<uint8_t, kDesBlockSize> out) const {
    return runBlock(state_->encrypt.get(), in, out);
}

bool DesEde::decrypt(std::span<const uint8_t, kDesBlockSize> in,
                     std::span<uint8_t, kDesBlockSize> out) const {
    return runBlock(state_->decrypt.get(), in, out);
}

bool randomBytes(std::span<uint8_t> out) {
    return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

bool equalConstantTime(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void wipe(std::span<uint8_t> bytes) {
    OPENSSL_cleanse(bytes.data(), bytes.size());
}

}  // namespace zendor::platform
