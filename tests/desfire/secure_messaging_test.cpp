// The protect and check steps against the known answers of the public trace's session, in both
// directions, and the refusals of the check step.
#include "desfire/secure_messaging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/hex.h"

namespace zendor::desfire {
namespace {

using test::fromHex;
using test::toHex;

Key16 traceSession() {
    Key16 key{};
    const auto bytes = fromHex("B0A6405FD6F77968B0A6405FD6F77968");
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

const std::string kData = "000102030405060708090a0b0c0d0e0f";
const std::string kNewKey = "00112233445566778899aabbccddeeff";

TEST(SecureMessaging, KnownAnswersInBothDirections) {
    struct Case {
        const char* what;
        Direction direction;
        uint8_t comm;
        std::string data;
        std::string trailer;
        std::string sent;
    };
    const Case cases[] = {
        {"plain write", Direction::ToCard, kCommPlain, kData, "", kData},
        {"MACed write", Direction::ToCard, kCommMaced, kData, "", kData + "981a025a"},
        {"MACed read", Direction::ToHost, kCommMaced, kData, "", kData + "981a025a"},
        {"enciphered write", Direction::ToCard, kCommEnciphered, kData, "",
         "3ff165ba5765f87753f8640fb55776c83566e17e8aaad5d6"},
        {"enciphered read", Direction::ToHost, kCommEnciphered, kData, "",
         "842ce6f07e4ce2c3981a025af1babaf785ccff7ac96512f9"},
        {"ChangeKeySettings 0F", Direction::ToCard, kCommEnciphered, "0f", "", "96795a1bfa5dceb9"},
    };
    const Key16 session = traceSession();
    for (const Case& c : cases) {
        const auto data = fromHex(c.data);
        const auto trailer = fromHex(c.trailer);
        EXPECT_EQ(toHex(protect(c.direction, c.comm, session, data, trailer)), c.sent) << c.what;
        const auto received = fromHex(c.sent);
        EXPECT_EQ(received.size(), trailer.empty() ? transferLength(c.comm, data.size())
                                                   : cryptogramLength(data.size(), trailer.size()))
            << c.what;
        const auto checked =
            check(c.direction, c.comm, session, received, data.size(), trailer.size());
        ASSERT_TRUE(checked.has_value()) << c.what;
        EXPECT_EQ(toHex(*checked), c.data + c.trailer) << c.what;
    }
}

Key16 key16(std::string_view hex) {
    Key16 key{};
    const auto bytes = fromHex(hex);
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

TEST(SecureMessaging, ChangeKeyCryptogramsOfBothCases) {
    const Key16 session = traceSession();
    const Key16 newKey = key16(kNewKey);
    const Key16 oldKey = key16("0102030405060708090a0b0c0d0e0f10");
    struct Case {
        const char* what;
        std::optional<Key16> old;
        std::string cryptogram;
    };
    const Case cases[] = {
        {"the authenticated key: NK CRC(NK)", std::nullopt,
         "0cdcaed2da91ed6cbe245be5f0670442d7d9dc5a3ab9dc83"},
        {"another key: (NK^OK) CRC(NK^OK) CRC(NK)", oldKey,
         "c52ea2998735cb61ec7d82934c78e04c675007e5ca7f3ef1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toHex(protectNewKey(session, newKey, c.old)), c.cryptogram) << c.what;
        EXPECT_EQ(checkNewKey(session, fromHex(c.cryptogram), c.old), newKey) << c.what;
    }
    // The card holding another old value, or reading the case wrongly, finds a CRC wrong.
    const auto otherKeyCryptogram = protectNewKey(session, newKey, oldKey);
    EXPECT_FALSE(checkNewKey(session, otherKeyCryptogram, key16(kNewKey)));
    EXPECT_FALSE(checkNewKey(session, otherKeyCryptogram, std::nullopt));
    EXPECT_FALSE(checkNewKey(session, protectNewKey(session, newKey, std::nullopt), oldKey));
}

TEST(SecureMessaging, CheckRefusesWhatWasNotProtectedSo) {
    const Key16 session = traceSession();
    const auto data = fromHex(kData);
    const auto enciphered = protect(Direction::ToHost, kCommEnciphered, session, data);
    const auto maced = protect(Direction::ToHost, kCommMaced, session, data);
    auto flipped = [](std::vector<uint8_t> bytes, size_t at) {
        bytes[at] ^= 0x01;
        return bytes;
    };
    struct Case {
        const char* what;
        uint8_t comm;
        std::vector<uint8_t> received;
        size_t length;
    };
    const Case cases[] = {
        {"last block changed: CRC or padding wrong", kCommEnciphered, flipped(enciphered, 23), 16},
        {"cryptogram read for a shorter length: padding not zero", kCommEnciphered, enciphered, 15},
        {"one block missing", kCommEnciphered, {enciphered.begin(), enciphered.end() - 8}, 16},
        {"a MACed answer with a wrong MAC", kCommMaced, flipped(maced, 19), 16},
        {"a MACed answer with a data byte changed", kCommMaced, flipped(maced, 0), 16},
        {"a MACed answer cut short", kCommMaced, {maced.begin(), maced.end() - 1}, 16},
        {"plain, longer than announced", kCommPlain, data, 15},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(check(Direction::ToHost, c.comm, session, c.received, c.length)) << c.what;
    }
    // Deciphered the other way round, the card's answer does not check out either.
    EXPECT_FALSE(check(Direction::ToCard, kCommEnciphered, session, enciphered, 16));
}

TEST(SecureMessaging, OnlyThreeSettingsAndTrailersOnlyWhenEnciphered) {
    const Key16 session = traceSession();
    const std::vector<uint8_t> data(4);
    const std::vector<uint8_t> trailer(2);
    EXPECT_THROW(protect(Direction::ToCard, 2, session, data), std::invalid_argument);
    EXPECT_THROW(check(Direction::ToHost, 2, session, data, 4), std::invalid_argument);
    EXPECT_THROW(protect(Direction::ToCard, kCommMaced, session, data, trailer),
                 std::invalid_argument);
    EXPECT_FALSE(isCommSetting(2));
    EXPECT_TRUE(isCommSetting(kCommEnciphered));
}

}  // namespace
}  // namespace zendor::desfire
