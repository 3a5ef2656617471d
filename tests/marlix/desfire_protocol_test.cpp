// The DESFire host protocol against a scripted card: exact command bytes for known answers,
// frame chaining, and every malformed answer ending in its own status with no data handed back.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "card/marlix.h"
#include "card/marlix_desfire.h"
#include "desfire/crc16.h"
#include "desfire/legacy_cipher.h"
#include "marlix/authentication.h"
#include "marlix/reader.h"
#include "marlix/status.h"
#include "support/hex.h"

namespace zendor::marlix {
namespace {

using test::fromHex;
using test::toHex;

// One answer of the scripted card: a response, or a transport fault.
struct Reply {
    int16_t status = kOk;
    std::vector<uint8_t> bytes;
};

struct Script {
    std::deque<Reply> replies;
    std::vector<std::string> commands;  // hex, as sent
};

class ScriptedTransport final : public Transport {
  public:
    explicit ScriptedTransport(std::shared_ptr<Script> script) : script_(std::move(script)) {}

    int16_t activate(Activation& out) override {
        out.atqa = {0x44, 0x03};
        out.uid = {0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
        out.uidLength = 7;
        out.sak = 0x20;
        return kOk;
    }
    int16_t requestAts(std::span<uint8_t>, uint8_t& length) override {
        length = 0;
        return kOk;
    }
    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        script_->commands.push_back(toHex(command));
        if (script_->replies.empty()) {
            return kNoAnswer;
        }
        Reply reply = std::move(script_->replies.front());
        script_->replies.pop_front();
        response = std::move(reply.bytes);
        return reply.status;
    }
    void deselect() override {}

  private:
    std::shared_ptr<Script> script_;
};

using desfire::Block;
using desfire::Key16;
using desfire::LegacyCipher;

template <typename Out>
Out bytesOf(std::string_view hex) {
    Out out{};
    const auto bytes = fromHex(hex);
    std::copy_n(bytes.begin(), out.size(), out.begin());
    return out;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return std::tolower(c); });
    return text;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> sixteenBytes() {
    std::vector<uint8_t> data(16);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    return data;
}

// data CRC padding, in the card's CBC encryption: what the card sends for an enciphered read.
std::vector<uint8_t> cardCryptogram(const Key16& session, std::vector<uint8_t> plain) {
    const uint16_t crc = desfire::crcA(plain);
    plain.push_back(static_cast<uint8_t>(crc & 0xFF));
    plain.push_back(static_cast<uint8_t>(crc >> 8));
    plain.resize((plain.size() + 7) / 8 * 8, 0);
    LegacyCipher(session).cardSend(plain);
    return plain;
}

constexpr Key16 kZeroKey{};
constexpr std::string_view kRndA = "B0A6405F57794A93";
const Key16 kTraceSession = bytesOf<Key16>("B0A6405FD6F77968B0A6405FD6F77968");

class DesfireProtocol : public testing::Test {
  protected:
    void SetUp() override {
        setTransportFactory([script = script_](const DeviceName&) {
            return std::make_unique<ScriptedTransport>(script);
        });
        setRandomSource([](std::span<uint8_t> out) {
            const auto rndA = fromHex(kRndA);
            std::copy_n(rndA.begin(), out.size(), out.begin());
            return true;
        });
        ASSERT_EQ(MARLIX_ReaderOpen("pcsc:fake"), 0);
        uint8_t atqa[2], uid[12], uidLength = 12, sak = 0;
        ASSERT_EQ(MARLIX_TclA_ActivateAny(atqa, uid, &uidLength, &sak), 0);
    }

    void TearDown() override {
        MARLIX_ReaderClose();
        setTransportFactory({});
        setRandomSource({});
    }

    void reply(std::string_view hex) { script_->replies.push_back({kOk, fromHex(hex)}); }
    void reply(std::vector<uint8_t> bytes, std::string_view sw) {
        script_->replies.push_back({kOk, concat(std::move(bytes), fromHex(sw))});
    }
    void fault(int16_t status) { script_->replies.push_back({status, {}}); }
    std::vector<std::string>& sent() { return script_->commands; }

    // The public trace: key 0, all-zero key, RndA B0A6405F57794A93.
    void authenticateAsInTrace() {
        reply(
            "57B0C35A080AE608"
            "91AF");
        reply(
            "B53BF499FEAC13E4"
            "9100");
        ASSERT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), 0);
        sent().clear();
    }

    // An enciphered write of 16 bytes sends nothing without a session key.
    void expectNotAuthenticated() {
        const auto data = sixteenBytes();
        const size_t before = sent().size();
        EXPECT_EQ(DesFireCard_WriteData(1, 3, 0, 16, data.data()), kNotAuthenticated);
        EXPECT_EQ(sent().size(), before);
    }

    std::shared_ptr<Script> script_ = std::make_shared<Script>();
};

TEST_F(DesfireProtocol, AuthenticationReproducesThePublicTrace) {
    authenticateAsInTrace();
    EXPECT_EQ(readerSession().secure.sessionKey, kTraceSession);
    EXPECT_TRUE(readerSession().secure.authenticated);
}

TEST_F(DesfireProtocol, AuthenticationFramesAreThoseOfTheTrace) {
    reply(
        "57B0C35A080AE608"
        "91AF");
    reply(
        "B53BF499FEAC13E4"
        "9100");
    ASSERT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "900a0000010000",
                          "90af0000105bd89f653176ae3a7a1128c9d403512900",
                      }));
}

// A 2K3DES key: the card's side computed here with the shared primitives.
TEST_F(DesfireProtocol, TwoKeyTripleDesAuthenticationAndEncipheredWrite) {
    const Key16 key = bytesOf<Key16>("00112233445566778899AABBCCDDEEFF");
    const LegacyCipher card(key);
    const Block rndB = bytesOf<Block>("0102030405060708");
    const Block rndA = bytesOf<Block>(kRndA);
    const Block challenge = card.encrypt(rndB);
    const Block proof = card.encrypt(desfire::rotateLeft(rndA));
    reply(std::vector<uint8_t>(challenge.begin(), challenge.end()), "91AF");
    reply(std::vector<uint8_t>(proof.begin(), proof.end()), "9100");
    ASSERT_EQ(DesFireCard_Authenticate(2, key.data()), 0);

    const Key16 session = desfire::sessionKey(key, rndA, rndB);
    EXPECT_EQ(toHex(session), "b0a6405f0102030457794a9305060708");
    EXPECT_EQ(readerSession().secure.sessionKey, session);
    EXPECT_EQ(readerSession().secure.keyNo, 2);

    reply("9100");
    const auto data = sixteenBytes();
    ASSERT_EQ(DesFireCard_WriteData(1, 3, 0, 16, data.data()), 0);
    const std::vector<uint8_t> apdu = fromHex(sent().back());
    ASSERT_EQ(apdu.size(), 5u + 7 + 24 + 1);
    std::vector<uint8_t> cryptogram(apdu.begin() + 12, apdu.end() - 1);
    LegacyCipher(session).cardReceive(cryptogram);
    EXPECT_EQ(toHex(cryptogram), "000102030405060708090a0b0c0d0e0f77f5000000000000");
}

TEST_F(DesfireProtocol, KnownAnswerTransfersUnderTheTraceSession) {
    struct Case {
        const char* what;
        std::string_view answer;
        std::string_view command;
        int16_t (*run)();
    };
    static const std::vector<uint8_t> data = sixteenBytes();
    static const Key16 newKey = bytesOf<Key16>("00112233445566778899AABBCCDDEEFF");
    static const Key16 oldKey = bytesOf<Key16>("0102030405060708090A0B0C0D0E0F10");
    const Case cases[] = {
        {"enciphered WriteData", "9100",
         "903D00001F010000001000003FF165BA5765F87753F8640FB55776C83566E17E8AAAD5D600",
         [] { return DesFireCard_WriteData(1, 3, 0, 16, data.data()); }},
        {"MACed WriteData", "9100",
         "903D00001B01000000100000000102030405060708090A0B0C0D0E0F981A025A00",
         [] { return DesFireCard_WriteData(1, 1, 0, 16, data.data()); }},
        {"ChangeKey of another key", "9100",
         "90C4000019"
         "01C52EA2998735CB61EC7D82934C78E04C675007E5CA7F3EF100",
         [] { return DesFireCard_ChangeKey(1, newKey.data(), oldKey.data()); }},
        {"ChangeKey of the authenticated key", "9100",
         "90C4000019"
         "000CDCAED2DA91ED6CBE245BE5F0670442D7D9DC5A3AB9DC8300",
         [] { return DesFireCard_ChangeKey(0, newKey.data(), nullptr); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        authenticateAsInTrace();
        reply(c.answer);
        ASSERT_EQ(c.run(), 0);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], lower(std::string(c.command)));
    }
    // The last case changed the key the authentication rests on: that ends it.
    expectNotAuthenticated();
}

TEST_F(DesfireProtocol, ChangeOfAnotherKeyKeepsTheAuthentication) {
    authenticateAsInTrace();
    const Key16 newKey{};
    const Key16 oldKey{};
    reply("9100");
    ASSERT_EQ(DesFireCard_ChangeKey(1, newKey.data(), oldKey.data()), 0);
    EXPECT_TRUE(readerSession().secure.authenticated);
    // Without the old value another key cannot be changed.
    EXPECT_EQ(DesFireCard_ChangeKey(1, newKey.data(), nullptr), kBadArgument);
}

TEST_F(DesfireProtocol, KnownAnswerReads) {
    authenticateAsInTrace();
    uint8_t buffer[16] = {};
    uint32_t count = 0;
    reply(
        "842CE6F07E4CE2C3981A025AF1BABAF785CCFF7AC96512F9"
        "9100");
    ASSERT_EQ(DesFireCard_ReadData(1, 3, 0, 16, buffer, &count), 0);
    EXPECT_EQ(sent()[0], "90bd0000070100000010000000");
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(toHex(std::span(buffer)), "000102030405060708090a0b0c0d0e0f");

    std::fill(std::begin(buffer), std::end(buffer), 0);
    reply(
        "000102030405060708090A0B0C0D0E0F981A025A"
        "9100");
    ASSERT_EQ(DesFireCard_ReadData(1, 1, 0, 16, buffer, &count), 0);
    EXPECT_EQ(toHex(std::span(buffer)), "000102030405060708090a0b0c0d0e0f");

    std::fill(std::begin(buffer), std::end(buffer), 0);
    reply(
        "000102030405060708090A0B0C0D0E0F"
        "9100");
    ASSERT_EQ(DesFireCard_ReadData(1, 0, 0, 16, buffer, &count), 0);
    EXPECT_EQ(toHex(std::span(buffer)), "000102030405060708090a0b0c0d0e0f");
}

TEST_F(DesfireProtocol, CommandBytesAndStatuses) {
    struct Case {
        const char* what;
        std::string_view answer;
        std::string_view command;
        int16_t expected;
        int16_t (*run)();
    };
    const Case cases[] = {
        {"select AID 5A4D43", "9100", "905a000003434d5a00", 0,
         [] { return DesFireCard_SelectApplication(0x5A4D43); }},
        {"select the card level", "9100", "905a00000300000000", 0,
         [] { return DesFireCard_SelectApplication(0); }},
        {"select an unknown application", "91A0", "905a000003434d5a00", -1160,
         [] { return DesFireCard_SelectApplication(0x5A4D43); }},
        {"create application", "9100", "90ca000005434d5aef0100", 0,
         [] { return DesFireCard_CreateApplication(0x5A4D43, 0xEF, 1); }},
        {"create application, out of memory", "910E", "90ca000005434d5aef0100", -1014,
         [] { return DesFireCard_CreateApplication(0x5A4D43, 0xEF, 1); }},
        {"create application, denied", "919D", "90ca000005434d5aef0100", -1157,
         [] { return DesFireCard_CreateApplication(0x5A4D43, 0xEF, 1); }},
        {"create application, duplicate", "91DE", "90ca000005434d5aef0100", -1222,
         [] { return DesFireCard_CreateApplication(0x5A4D43, 0xEF, 1); }},
        {"create file 1, 512 bytes enciphered", "9100", "90cd00000701030fff00020000", 0,
         [] { return DesFireCard_CreateStdDataFile(1, 3, 0xFF0F, 512); }},
        {"create file with rights 1234", "9100", "90cd0000070200341210000000", 0,
         [] { return DesFireCard_CreateStdDataFile(2, 0, 0x1234, 16); }},
        {"format", "9100", "90fc000000", 0, [] { return DesFireCard_FormatPICC(); }},
        {"commit", "9100", "90c7000000", 0, [] { return DesFireCard_CommitTransaction(); }},
        {"commit with nothing pending", "910C", "90c7000000", 0,
         [] { return DesFireCard_CommitTransaction(); }},
        {"wrong key", "91AE", "900a0000010000", -1174,
         [] { return DesFireCard_Authenticate(0, kZeroKey.data()); }},
        {"no such key", "9140", "900a0000010300", -1064,
         [] { return DesFireCard_Authenticate(3, kZeroKey.data()); }},
        {"ISO status word", "6A82", "905a000003434d5a00", kIsoStatus,
         [] { return DesFireCard_SelectApplication(0x5A4D43); }},
        {"answer without status word", "91", "90fc000000", kBadAnswer,
         [] { return DesFireCard_FormatPICC(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sent().clear();
        reply(c.answer);
        EXPECT_EQ(c.run(), c.expected);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], c.command);
    }
}

TEST_F(DesfireProtocol, GetFileSettingsParsesDataAndOtherFiles) {
    struct Case {
        std::string_view answer;
        uint8_t type, comm;
        uint16_t rights;
        uint32_t size;
    };
    const Case cases[] = {
        {"00030FFF000200"
         "9100",
         0, 3, 0xFF0F, 512},
        {"0100341210000000"
         "9100",
         1, 0, 0x1234, 16},  // backup file; a trailing byte ignored
        {"0201EEEE"
         "00000000"
         "E8030000"
         "00000000"
         "00"
         "9100",
         2, 1, 0xEEEE, 0},  // value file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        reply(c.answer);
        uint8_t type = 0xFF, comm = 0xFF;
        uint16_t rights = 0;
        DesFireFileInfo info{0xFFFFFFFF};
        ASSERT_EQ(DesFireCard_GetFileSettings(1, &type, &comm, &rights, &info), 0);
        EXPECT_EQ(sent().back(), "90f50000010100");
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(comm, c.comm);
        EXPECT_EQ(rights, c.rights);
        EXPECT_EQ(info.size, c.size);
    }
    reply("91F0");
    uint8_t type = 0xAA, comm = 0xAA;
    uint16_t rights = 0xAAAA;
    DesFireFileInfo info{0xAAAA};
    EXPECT_EQ(DesFireCard_GetFileSettings(7, &type, &comm, &rights, &info), -1240);
    reply(
        "00030FFF0002"
        "9100");  // one size byte missing
    EXPECT_EQ(DesFireCard_GetFileSettings(7, &type, &comm, &rights, &info), kBadAnswer);
    EXPECT_EQ(type, 0xAA);
    EXPECT_EQ(info.size, 0xAAAAu);
}

// 512 bytes enciphered: 7 + 520 bytes in frames of 54, 520 bytes back in frames of 59.
TEST_F(DesfireProtocol, FiveHundredTwelveBytesChainAcrossFrames) {
    authenticateAsInTrace();
    std::vector<uint8_t> image(512);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    for (int i = 0; i < 9; ++i) {
        reply("91AF");
    }
    reply("9100");
    ASSERT_EQ(DesFireCard_WriteData(1, 3, 0, 512, image.data()), 0);
    ASSERT_EQ(sent().size(), 10u);
    EXPECT_EQ(sent()[0].substr(0, 24), "903d00003601000000000200");
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < sent().size(); ++i) {
        const auto frame = fromHex(sent()[i]);
        EXPECT_EQ(frame[1], i == 0 ? 0x3D : 0xAF);
        EXPECT_EQ(frame[4], i + 1 < sent().size() ? 54 : 41) << i;
        EXPECT_EQ(frame.size(), 5u + frame[4] + 1);
        stream.insert(stream.end(), frame.begin() + 5, frame.end() - 1);
    }
    std::vector<uint8_t> cryptogram(stream.begin() + 7, stream.end());
    ASSERT_EQ(cryptogram.size(), 520u);
    LegacyCipher(kTraceSession).cardReceive(cryptogram);
    EXPECT_EQ(std::vector<uint8_t>(cryptogram.begin(), cryptogram.begin() + 512), image);

    sent().clear();
    const std::vector<uint8_t> answer = cardCryptogram(kTraceSession, image);
    for (size_t at = 0; at < answer.size(); at += 59) {
        const size_t n = std::min<size_t>(59, answer.size() - at);
        reply(std::vector<uint8_t>(answer.begin() + at, answer.begin() + at + n),
              at + n < answer.size() ? "91AF" : "9100");
    }
    std::vector<uint8_t> read(512);
    uint32_t count = 0;
    ASSERT_EQ(DesFireCard_ReadData(1, 3, 0, 512, read.data(), &count), 0);
    EXPECT_EQ(read, image);
    EXPECT_EQ(count, 512u);
    ASSERT_EQ(sent().size(), 9u);
    EXPECT_EQ(sent()[0], "90bd0000070100000000020000");
    for (size_t i = 1; i < sent().size(); ++i) {
        EXPECT_EQ(sent()[i], "90af000000");
    }
}

// What a broken card or reader sends back for an enciphered read of 16 bytes: each ends in its
// own status, nothing reaches the buffer, and the session key is no longer used.
TEST_F(DesfireProtocol, MalformedReadAnswersHandBackNothing) {
    const std::vector<uint8_t> good = cardCryptogram(kTraceSession, sixteenBytes());
    std::vector<uint8_t> badCrc = sixteenBytes();
    badCrc.push_back(0x00);  // CRC over 17 bytes, read back as 16 + wrong CRC
    badCrc = cardCryptogram(kTraceSession, badCrc);
    badCrc.resize(24);
    std::vector<uint8_t> badPadding = sixteenBytes();
    {
        const uint16_t crc = desfire::crcA(badPadding);
        badPadding.push_back(static_cast<uint8_t>(crc & 0xFF));
        badPadding.push_back(static_cast<uint8_t>(crc >> 8));
        badPadding.resize(24, 0);
        badPadding.back() = 0x01;
        LegacyCipher(kTraceSession).cardSend(badPadding);
    }
    struct Case {
        const char* what;
        std::vector<Reply> replies;
        int16_t expected;
    };
    auto ok = [](std::vector<uint8_t> bytes, std::string_view sw) {
        return Reply{kOk, concat(std::move(bytes), fromHex(sw))};
    };
    const Case cases[] = {
        {"no answer", {{kNoAnswer, {}}}, kNoAnswer},
        {"card removed", {{kCardRemoved, {}}}, kCardRemoved},
        {"one byte", {ok({}, "91")}, kBadAnswer},
        {"ISO status word", {ok({}, "6A82")}, kIsoStatus},
        {"ISO status word after data", {ok(good, "9000")}, kIsoStatus},
        {"card status", {ok({}, "91BE")}, cardStatus(0xBE)},
        {"too short",
         {ok(std::vector<uint8_t>(good.begin(), good.begin() + 16), "9100")},
         kBadAnswer},
        {"longer than asked", {ok(concat(good, std::vector<uint8_t>(8)), "9100")}, kBadAnswer},
        {"frame beyond 59 bytes", {ok(std::vector<uint8_t>(60), "9100")}, kBadAnswer},
        {"continuation without data", {ok({}, "91AF")}, kBadAnswer},
        {"continuation not answered",
         {ok(std::vector<uint8_t>(good.begin(), good.begin() + 8), "91AF"), {kNoAnswer, {}}},
         kNoAnswer},
        {"bad CRC", {ok(badCrc, "9100")}, kCryptogramCheck},
        {"non-zero padding", {ok(badPadding, "9100")}, kCryptogramCheck},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        authenticateAsInTrace();
        script_->replies.assign(c.replies.begin(), c.replies.end());
        std::vector<uint8_t> buffer(16, 0xEE);
        uint32_t count = 99;
        EXPECT_EQ(DesFireCard_ReadData(1, 3, 0, 16, buffer.data(), &count), c.expected);
        EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
        EXPECT_EQ(count, 0u);
        expectNotAuthenticated();
        script_->replies.clear();
    }
    // The same answer, well formed, is accepted: the cases above fail for their fault alone.
    authenticateAsInTrace();
    reply(good, "9100");
    std::vector<uint8_t> buffer(16);
    uint32_t count = 0;
    EXPECT_EQ(DesFireCard_ReadData(1, 3, 0, 16, buffer.data(), &count), 0);
    EXPECT_EQ(buffer, sixteenBytes());
}

TEST_F(DesfireProtocol, MalformedChainingOfAWrite) {
    struct Case {
        const char* what;
        std::vector<std::string_view> replies;
        int16_t expected;
        size_t frames;
    };
    const Case cases[] = {
        {"error after the first frame", {"91BE"}, cardStatus(0xBE), 1},
        {"done before all was sent", {"9100"}, kBadAnswer, 1},
        {"data with the request for more",
         {"00"
          "91AF"},
         kBadAnswer,
         1},
        {"error in the middle", {"91AF", "91AF", "911E"}, cardStatus(0x1E), 3},
        {"no answer in the middle", {"91AF"}, kNoAnswer, 2},
    };
    std::vector<uint8_t> image(512, 0x5A);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        authenticateAsInTrace();
        for (auto r : c.replies) {
            reply(r);
        }
        EXPECT_EQ(DesFireCard_WriteData(1, 3, 0, 512, image.data()), c.expected);
        EXPECT_EQ(sent().size(), c.frames);
        expectNotAuthenticated();
        script_->replies.clear();
    }
}

TEST_F(DesfireProtocol, AuthenticationFailures) {
    struct Case {
        const char* what;
        std::vector<std::string_view> replies;
        int16_t expected;
    };
    const Case cases[] = {
        {"challenge with a final status",
         {"57B0C35A080AE608"
          "9100"},
         kBadAnswer},
        {"challenge of 7 bytes",
         {"57B0C35A080AE6"
          "91AF"},
         kBadAnswer},
        {"token refused",
         {"57B0C35A080AE608"
          "91AF",
          "91AE"},
         -1174},
        {"proof that is not RndA'",
         {"57B0C35A080AE608"
          "91AF",
          "B53BF499FEAC13E5"
          "9100"},
         kCryptogramCheck},
        {"proof asking for more",
         {"57B0C35A080AE608"
          "91AF",
          "B53BF499FEAC13E4"
          "91AF"},
         kBadAnswer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        authenticateAsInTrace();
        for (auto r : c.replies) {
            reply(r);
        }
        EXPECT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), c.expected);
        // A failed authentication leaves none, not even the one before it.
        expectNotAuthenticated();
        script_->replies.clear();
    }
    setRandomSource([](std::span<uint8_t>) { return false; });
    reply(
        "57B0C35A080AE608"
        "91AF");
    EXPECT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), kInternalError);
}

TEST_F(DesfireProtocol, StatusesEndTheAuthenticationSelectAndFormatToo) {
    const std::vector<std::pair<const char*, int16_t (*)()>> enders = {
        {"select", [] { return DesFireCard_SelectApplication(0x5A4D43); }},
        {"format", [] { return DesFireCard_FormatPICC(); }},
        {"error status", [] { return DesFireCard_CreateApplication(1, 0x0F, 1); }},
    };
    for (const auto& [what, run] : enders) {
        SCOPED_TRACE(what);
        authenticateAsInTrace();
        reply(std::string_view(what) == "error status" ? "919D" : "9100");
        run();
        expectNotAuthenticated();
    }
    // "No changes" of a commit is success and keeps the authentication.
    authenticateAsInTrace();
    reply("910C");
    EXPECT_EQ(DesFireCard_CommitTransaction(), 0);
    EXPECT_TRUE(readerSession().secure.authenticated);
}

TEST_F(DesfireProtocol, RefusedArgumentsSendNothing) {
    uint8_t buffer[16] = {};
    uint32_t count = 0;
    uint8_t type = 0, comm = 0;
    uint16_t rights = 0;
    const std::vector<std::pair<int16_t, int16_t>> cases = {
        {DesFireCard_ReadData(1, 3, 0, 16, nullptr, &count), kBadArgument},
        {DesFireCard_ReadData(1, 3, 0, 16, buffer, nullptr), kBadArgument},
        {DesFireCard_ReadData(1, 0, 0, 0, buffer, &count), kBadArgument},
        {DesFireCard_ReadData(1, 0, 0x1000000, 16, buffer, &count), kBadArgument},
        {DesFireCard_ReadData(1, 2, 0, 16, buffer, &count), kUnsupportedComm},
        {DesFireCard_ReadData(1, 3, 0, 16, buffer, &count), kNotAuthenticated},
        {DesFireCard_ReadData(1, 1, 0, 16, buffer, &count), kNotAuthenticated},
        {DesFireCard_WriteData(1, 3, 0, 16, nullptr), kBadArgument},
        {DesFireCard_WriteData(1, 0, 0, 0, buffer), kBadArgument},
        {DesFireCard_WriteData(1, 4, 0, 16, buffer), kUnsupportedComm},
        {DesFireCard_WriteData(1, 1, 0, 16, buffer), kNotAuthenticated},
        {DesFireCard_ChangeKey(0, nullptr, nullptr), kBadArgument},
        {DesFireCard_ChangeKey(0, kZeroKey.data(), nullptr), kNotAuthenticated},
        {DesFireCard_Authenticate(0, nullptr), kBadArgument},
        {DesFireCard_SelectApplication(0x1000000), kBadArgument},
        {DesFireCard_CreateApplication(0x1000000, 0x0F, 1), kBadArgument},
        {DesFireCard_CreateStdDataFile(1, 3, 0xFF0F, 0x1000000), kBadArgument},
        {DesFireCard_GetFileSettings(1, &type, &comm, &rights, nullptr), kBadArgument},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    }
    EXPECT_TRUE(sent().empty());
}

TEST_F(DesfireProtocol, NoActivatedCardIsNoReader) {
    MARLIX_TclA_Deselect(0xFF);
    EXPECT_EQ(DesFireCard_SelectApplication(0), kNoReader);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
}  // namespace zendor::marlix
