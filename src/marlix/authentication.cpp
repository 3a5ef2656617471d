// Legacy authentication, host side:
//
//   host  0A KeyNo                          card  E(RndB) 91 AF
//   host  AF D(RndA) D(RndB' ^ D(RndA))     card  E(RndA') 91 00      (' = rotated left 1 byte)
//
// Each of the three cryptograms starts from IV 0; the host only deciphers. The session key is
// built from both randoms (desfire::sessionKey) in the form of the key used.
#include "marlix/authentication.h"

#include <algorithm>
#include <vector>

#include "desfire/legacy_cipher.h"
#include "desfire/protocol.h"
#include "marlix/apdu.h"
#include "marlix/session.h"
#include "marlix/status.h"

namespace zendor::marlix {
namespace {

desfire::RandomSource& randomOverride() {
    static desfire::RandomSource source;
    return source;
}

bool randomBytes(std::span<uint8_t> out) {
    return randomOverride() ? randomOverride()(out) : desfire::systemRandom(out);
}

// One step of the exchange; the card must answer one block with the expected status.
int16_t step(uint8_t ins, std::span<const uint8_t> data, uint8_t expected, desfire::Block& out) {
    std::vector<uint8_t> answer;
    uint8_t status = 0;
    int16_t result = transmitFrame(ins, data, answer, status);
    if (result != kOk) {
        return result;
    }
    if (status != expected) {
        // A step skipped or repeated is the card's fault; any other byte is its refusal.
        const bool stepStatus =
            status == desfire::st::kOk || status == desfire::st::kAdditionalFrame;
        return stepStatus ? static_cast<int16_t>(kBadAnswer) : cardStatus(status);
    }
    if (answer.size() != out.size()) {
        return kBadAnswer;
    }
    std::copy(answer.begin(), answer.end(), out.begin());
    return kOk;
}

int16_t runAuthentication(uint8_t keyNo, std::span<const uint8_t, 16> key) {
    const desfire::LegacyCipher cipher(key);
    desfire::Block challenge{};
    const uint8_t keyNoData[] = {keyNo};
    int16_t result =
        step(desfire::ins::kAuthenticate, keyNoData, desfire::st::kAdditionalFrame, challenge);
    if (result != kOk) {
        return result;
    }
    const desfire::Block rndB = cipher.decrypt(challenge);
    desfire::Block rndA{};
    if (!randomBytes(rndA)) {
        return kInternalError;
    }
    const desfire::Block rndBRotated = desfire::rotateLeft(rndB);
    std::vector<uint8_t> token(rndA.begin(), rndA.end());
    token.insert(token.end(), rndBRotated.begin(), rndBRotated.end());
    cipher.hostSend(token);

    desfire::Block proof{};
    result = step(desfire::ins::kAdditionalFrame, token, desfire::st::kOk, proof);
    if (result != kOk) {
        return result;
    }
    if (cipher.decrypt(proof) != desfire::rotateLeft(rndA)) {
        return kCryptogramCheck;
    }
    SecureSession& secure = readerSession().secure;
    secure.authenticated = true;
    secure.keyNo = keyNo;
    secure.sessionKey = desfire::sessionKey(key, rndA, rndB);
    return kOk;
}

}  // namespace

void setRandomSource(desfire::RandomSource source) {
    randomOverride() = std::move(source);
}

int16_t authenticate(uint8_t keyNo, std::span<const uint8_t, 16> key) {
    endAuthentication();
    return runAuthentication(keyNo, key);
}

}  // namespace zendor::marlix
