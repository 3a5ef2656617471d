// A small host for the virtual card's tests: APDUs written as spaced hexadecimal (as the DESFire
// notes print them), legacy authentication and enciphered transfers computed with the shared
// cipher, and, on every frame, a check that the card reports a state change exactly when its
// state changed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "desfire/crc16.h"
#include "desfire/legacy_cipher.h"
#include "support/hex.h"
#include "vcard/card_state.h"
#include "vcard/virtual_card.h"

namespace zendor::test {

using Bytes = std::vector<uint8_t>;

inline Bytes bytes(std::string_view hex) {
    return zendor::test::fromHex(hex);
}

// Bytes as the tests write APDUs: "90 5A 00 00".
inline std::string hex(std::span<const uint8_t> data) {
    return zendor::test::toHex(data, zendor::test::HexCase::Upper, " ");
}

inline vcard::Key keyOf(std::string_view hexKey) {
    vcard::Key key{};
    Bytes b = bytes(hexKey);
    std::copy_n(b.begin(), key.size(), key.begin());
    return key;
}

// The randoms of the public authentication trace.
inline const desfire::Block kTraceRndA{0xB0, 0xA6, 0x40, 0x5F, 0x57, 0x79, 0x4A, 0x93};
inline const desfire::Block kTraceRndB{0xD6, 0xF7, 0x79, 0x68, 0xD2, 0x76, 0x7E, 0xA3};

class TestHost {
  public:
    explicit TestHost(vcard::CardState& state) : state_(state), card_(state) {
        fixRandom(kTraceRndB);
    }

    vcard::VirtualCard& card() { return card_; }

    void fixRandom(const desfire::Block& rndB) {
        card_.setRandomSource([rndB](std::span<uint8_t> out) {
            std::copy_n(rndB.begin(), out.size(), out.begin());
            return true;
        });
    }

    Bytes transmit(const Bytes& apdu) {
        vcard::CardState before = state_;
        vcard::VirtualCard::Answer answer = card_.process(apdu);
        EXPECT_EQ(answer.stateChanged, state_ != before) << "after " << hex(apdu);
        return answer.bytes;
    }

    // The whole answer, data and status word, as spaced hexadecimal.
    std::string send(std::string_view apdu) { return hex(transmit(bytes(apdu))); }

    // One native frame: 90 INS 00 00 [Lc data] 00. Answer data in out, the status returned.
    uint8_t frame(uint8_t ins, const Bytes& data, Bytes* out = nullptr) {
        Bytes apdu{0x90, ins, 0x00, 0x00};
        if (!data.empty()) {
            apdu.push_back(static_cast<uint8_t>(data.size()));
            apdu.insert(apdu.end(), data.begin(), data.end());
        }
        apdu.push_back(0x00);
        Bytes answer = transmit(apdu);
        EXPECT_GE(answer.size(), 2u);
        EXPECT_EQ(answer[answer.size() - 2], 0x91) << hex(answer);
        if (out != nullptr) {
            out->assign(answer.begin(), answer.end() - 2);
        }
        return answer.back();
    }

    // A command of any length, cut into host frames of at most frameSize bytes; the answer is
    // collected over the card's frames. frames counts the APDUs sent.
    uint8_t command(uint8_t ins, const Bytes& data, Bytes* out = nullptr, int* frames = nullptr,
                    size_t frameSize = 54) {
        Bytes answer;
        Bytes part;
        size_t at = std::min(frameSize, data.size());
        uint8_t status = frame(ins, Bytes(data.begin(), data.begin() + at), &part);
        int sent = 1;
        while (status == 0xAF) {
            if (part.empty() && at == data.size()) {
                break;  // the card waits for bytes this host does not have
            }
            answer.insert(answer.end(), part.begin(), part.end());
            size_t end = std::min(data.size(), at + frameSize);
            status = frame(0xAF, Bytes(data.begin() + at, data.begin() + end), &part);
            at = end;
            ++sent;
        }
        answer.insert(answer.end(), part.begin(), part.end());
        if (out != nullptr) {
            *out = answer;
        }
        if (frames != nullptr) {
            *frames = sent;
        }
        return status;
    }

    // Legacy authentication as a host does it; the session key is kept for the transfers below.
    uint8_t authenticate(uint8_t keyNo, const vcard::Key& key,
                         const desfire::Block& rndA = kTraceRndA) {
        Bytes challenge;
        uint8_t status = frame(0x0A, {keyNo}, &challenge);
        if (status != 0xAF) {
            return status;
        }
        desfire::LegacyCipher cipher(key);
        desfire::Block rndB{};
        std::copy_n(challenge.begin(), 8, rndB.begin());
        cipher.hostReceive(rndB);
        desfire::Block rotated = desfire::rotateLeft(rndB);
        Bytes token(rndA.begin(), rndA.end());
        token.insert(token.end(), rotated.begin(), rotated.end());
        cipher.hostSend(token);
        Bytes proof;
        status = frame(0xAF, token, &proof);
        if (status != 0x00) {
            return status;
        }
        cipher.hostReceive(proof);
        desfire::Block expected = desfire::rotateLeft(rndA);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), proof.begin()));
        sessionKey = desfire::sessionKey(key, rndA, rndB);
        return status;
    }

    // data || CRC_A || zero padding, in send mode under the session key.
    Bytes encipher(const Bytes& data) const {
        Bytes plain = data;
        uint16_t crc = desfire::crcA(data);
        plain.push_back(static_cast<uint8_t>(crc));
        plain.push_back(static_cast<uint8_t>(crc >> 8));
        plain.resize((plain.size() + 7) / 8 * 8, 0);
        desfire::LegacyCipher(sessionKey).hostSend(plain);
        return plain;
    }

    // The first length bytes of a card cryptogram, after checking its CRC.
    Bytes decipher(Bytes cryptogram, size_t length) const {
        desfire::LegacyCipher(sessionKey).hostReceive(cryptogram);
        Bytes data(cryptogram.begin(), cryptogram.begin() + static_cast<ptrdiff_t>(length));
        uint16_t crc = desfire::crcA(data);
        EXPECT_EQ(cryptogram[length], static_cast<uint8_t>(crc));
        EXPECT_EQ(cryptogram[length + 1], static_cast<uint8_t>(crc >> 8));
        return data;
    }

    vcard::Key sessionKey{};

  private:
    vcard::CardState& state_;
    vcard::VirtualCard card_;
};

// FileNo Offset(3) Length(3), least significant bytes first.
inline Bytes transferHeader(uint8_t fileNo, uint32_t offset, uint32_t length) {
    return {fileNo,
            static_cast<uint8_t>(offset),
            static_cast<uint8_t>(offset >> 8),
            static_cast<uint8_t>(offset >> 16),
            static_cast<uint8_t>(length),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length >> 16)};
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace zendor::test
