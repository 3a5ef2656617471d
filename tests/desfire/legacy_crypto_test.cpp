// Known answers of the DESFire primitives both sides share: CRC_A, DES/2K3DES, the chaining
// modes, the session key, checked against a public authentication trace and cryptograms
// recomputed independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "desfire/crc16.h"
#include "desfire/legacy_cipher.h"
#include "support/hex.h"

namespace zendor::desfire {
namespace {

using test::fromHex;
using test::toHex;

Key16 key16(std::string_view hex) {
    Key16 key{};
    const auto bytes = fromHex(hex);
    std::copy_n(bytes.begin(), key.size(), key.begin());
    return key;
}

Block block(std::string_view hex) {
    Block out{};
    const auto bytes = fromHex(hex);
    std::copy_n(bytes.begin(), out.size(), out.begin());
    return out;
}

std::string lower(std::string_view hex) {
    std::string text(hex);
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return std::tolower(c); });
    return text;
}

constexpr std::string_view kZeroKey = "00000000000000000000000000000000";
constexpr std::string_view kKey2k3 = "00112233445566778899AABBCCDDEEFF";
// Session key of the public trace: RndA[0..3] RndB[0..3], single DES.
constexpr std::string_view kTraceSession = "B0A6405FD6F77968B0A6405FD6F77968";

TEST(CrcA, KnownAnswers) {
    struct Case {
        std::string input;
        uint16_t crc;
    };
    const std::vector<Case> cases = {
        {"", 0x6363},
        {"0000", 0x1EA0},
        {"1234", 0xCF26},
        {toHex(std::vector<uint8_t>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xBF05},
        {"0F", 0xA909},
        {"000102030405060708090A0B0C0D0E0F", 0xF577},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(crcA(fromHex(c.input)), c.crc) << c.input;
    }
}

TEST(CrcA, OverDataAndItsCrcIsZero) {
    std::vector<uint8_t> data = fromHex("00112233445566778899AABBCCDDEEFF");
    const uint16_t crc = crcA(data);
    data.push_back(static_cast<uint8_t>(crc & 0xFF));
    data.push_back(static_cast<uint8_t>(crc >> 8));
    EXPECT_EQ(crcA(data), 0);
}

TEST(LegacyCipher, TwoKeyTripleDesBlock) {
    const LegacyCipher cipher(key16(kKey2k3));
    EXPECT_EQ(toHex(cipher.encrypt(Block{})), "fb09759972301af4");
    EXPECT_EQ(toHex(cipher.decrypt(Block{})), "49e1622e372e21e2");
    EXPECT_EQ(cipher.decrypt(cipher.encrypt(block("0102030405060708"))), block("0102030405060708"));
}

TEST(LegacyCipher, EqualHalvesAreSingleDes) {
    // Parity bits do not change DES results, but they make the halves differ: that key is 2K3DES
    // with the same cipher results, and only the exact comparison decides the session-key form.
    EXPECT_TRUE(isSingleDes(key16(kZeroKey)));
    EXPECT_TRUE(
        isSingleDes(key16("0011223344556677"
                          "0011223344556677")));
    EXPECT_FALSE(
        isSingleDes(key16("0011223344556677"
                          "0111223344556677")));
    EXPECT_FALSE(isSingleDes(key16(kKey2k3)));
}

// The public trace: single DES, key 16 x 00, RndA chosen by the host.
TEST(LegacyAuthentication, PublicTraceBothSides) {
    const Key16 key = key16(kZeroKey);
    const LegacyCipher cipher(key);
    const Block rndB = cipher.decrypt(block("57B0C35A080AE608"));
    EXPECT_EQ(toHex(rndB), "d6f77968d2767ea3");
    EXPECT_EQ(cipher.encrypt(rndB), block("57B0C35A080AE608"));

    const Block rndA = block("B0A6405F57794A93");
    std::vector<uint8_t> token(rndA.begin(), rndA.end());
    const Block rndBRotated = rotateLeft(rndB);
    EXPECT_EQ(toHex(rndBRotated), "f77968d2767ea3d6");
    token.insert(token.end(), rndBRotated.begin(), rndBRotated.end());
    cipher.hostSend(token);
    EXPECT_EQ(toHex(token), "5bd89f653176ae3a7a1128c9d4035129");

    cipher.cardReceive(token);
    EXPECT_EQ(toHex(token), "b0a6405f57794a93f77968d2767ea3d6");

    const Block answer = cipher.encrypt(rotateLeft(rndA));
    EXPECT_EQ(toHex(answer), "b53bf499feac13e4");
    EXPECT_EQ(cipher.decrypt(answer), rotateLeft(rndA));

    EXPECT_EQ(sessionKey(key, rndA, rndB), key16(kTraceSession));
    EXPECT_EQ(toHex(sessionKey(key16(kKey2k3), rndA, rndB)), "b0a6405fd6f7796857794a93d2767ea3");
}

// Host send mode and the card's inverse of it, for every cryptogram the host builds.
TEST(LegacyChaining, HostSendKnownAnswersAndCardUndoesThem) {
    struct Case {
        const char* what;
        std::string_view plain;
        std::string_view cryptogram;
    };
    const Case cases[] = {
        {"WriteData of 00..0F", "000102030405060708090A0B0C0D0E0F77F5000000000000",
         "3FF165BA5765F87753F8640FB55776C83566E17E8AAAD5D6"},
        {"ChangeKeySettings 0F", "0F09A90000000000", "96795A1BFA5DCEB9"},
        {"ChangeKey of the authenticated key", "00112233445566778899AABBCCDDEEFFCC69000000000000",
         "0CDCAED2DA91ED6CBE245BE5F0670442D7D9DC5A3AB9DC83"},
        // (NK ^ OK) CRC(NK ^ OK) CRC(NK) zero padding
        {"ChangeKey of another key",
         "011321374153617F8193A1B7C1D3E1EF"
         "F53BCC6900000000",
         "C52EA2998735CB61EC7D82934C78E04C675007E5CA7F3EF1"},
    };
    const LegacyCipher session(key16(kTraceSession));
    for (const auto& c : cases) {
        std::vector<uint8_t> data = fromHex(c.plain);
        session.hostSend(data);
        EXPECT_EQ(toHex(data), lower(c.cryptogram)) << c.what;
        session.cardReceive(data);
        EXPECT_EQ(toHex(data), lower(c.plain)) << c.what;
    }
}

TEST(LegacyChaining, CardSendAndHostReceive) {
    const LegacyCipher session(key16(kTraceSession));
    const std::string plain = "000102030405060708090a0b0c0d0e0f77f5000000000000";
    std::vector<uint8_t> data = fromHex(plain);
    session.cardSend(data);
    EXPECT_EQ(toHex(data), "842ce6f07e4ce2c3981a025af1babaf785ccff7ac96512f9");
    session.hostReceive(data);
    EXPECT_EQ(toHex(data), plain);
}

TEST(LegacyChaining, RefusesPartialBlocks) {
    const LegacyCipher session(key16(kTraceSession));
    std::vector<uint8_t> data(12);
    EXPECT_THROW(session.hostSend(data), std::invalid_argument);
    EXPECT_THROW(session.cardReceive(data), std::invalid_argument);
}

}  // namespace
}  // namespace zendor::desfire
