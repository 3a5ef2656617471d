// The PC/SC transport against a fake of the SCard* API: how it picks a reader, waits for a card
// another program holds, tells a DESFire, maps every SCard error to a status of ours and a line
// of its own, names the kernel's NFC driver that holds a reader (a sysfs fixture), and lets the
// card go. tests/e2e runs it against pcscd.
#include "marlix/pcsc_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "marlix/fake_scard.h"
#include "marlix/status.h"
#include "support/hex.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "support/sysfs_fixture.h"
#endif

namespace zendor::marlix {
namespace {

using test::FakeAnswer;
using test::FakeReader;
using test::fakeScard;
using test::fromHex;
using test::toHex;
using Calls = std::vector<std::string>;
using std::chrono::milliseconds;

#ifdef _WIN32
const char* const kNoService = "No PC/SC service (is the Smart Card service running?)\n";
const char* const kServiceStopped =
    "The PC/SC service stopped while in use (is the Smart Card service running?)\n";
const char* const kUserRefused =
    "The Smart Card service refuses PC/SC to this user (SCARD_W_SECURITY_VIOLATION)\n";
const char* const kCardRefusedLead = "The Smart Card service refuses this user the card on reader ";
const char* const kCardRefusedHint = " (SCARD_W_SECURITY_VIOLATION)\n";
#else
const char* const kNoService = "No PC/SC service (is pcscd running?)\n";
const char* const kServiceStopped = "The PC/SC service stopped while in use (is pcscd running?)\n";
const char* const kUserRefused =
    "pcscd's access rules (polkit) refuse PC/SC to this user (see man zendorcfg, DIAGNOSTICS)\n";
const char* const kCardRefusedLead =
    "pcscd's access rules (polkit) refuse this user the card on "
    "reader ";
const char* const kCardRefusedHint = " (see man zendorcfg, DIAGNOSTICS)\n";
#endif
const char* const kNoReader = "No PC/SC reader is connected\n";

std::string cardRefused(const std::string& reader) {
    return kCardRefusedLead + ("'" + reader + "'") + kCardRefusedHint;
}

TEST(PickReaderTest, ExactNameFirstThenTheOnlyReaderContainingIt) {
    const std::vector<std::string> readers{"Virtual PCD 00 00", "Virtual PCD 00 01",
                                           "ACS ACR122U PICC Interface 01 00",
                                           "ACS ACR122U PICC Interface 01 00 Extra"};
    using Outcome = ReaderPick::Outcome;
    struct Case {
        std::string_view name;
        Outcome outcome;
        std::string_view reader;
    };
    const Case cases[] = {
        {"Virtual PCD 00 01", Outcome::Found, "Virtual PCD 00 01"},
        {"virtual pcd 00 01", Outcome::Found, "Virtual PCD 00 01"},
        {"PCD 00 00", Outcome::Found, "Virtual PCD 00 00"},
        {"Virtual PCD", Outcome::Several, ""},
        // Exact beats the longer name that also contains it.
        {"ACS ACR122U PICC Interface 01 00", Outcome::Found, "ACS ACR122U PICC Interface 01 00"},
        {"acs acr122u picc interface 01 00", Outcome::Several, ""},
        {"Extra", Outcome::Found, "ACS ACR122U PICC Interface 01 00 Extra"},
        {"Omnikey", Outcome::None, ""},
        {"", Outcome::None, ""},
        {" ", Outcome::Several, ""},
    };
    for (const Case& c : cases) {
        ReaderPick pick = pickReader(readers, c.name);
        EXPECT_EQ(pick.outcome, c.outcome) << "'" << c.name << "'";
        EXPECT_EQ(pick.reader, c.reader) << "'" << c.name << "'";
    }
    EXPECT_EQ(pickReader({}, "Virtual PCD").outcome, ReaderPick::Outcome::None);
}

TEST(AtrHistoricalBytesTest, SkipsInterfaceBytesAndRefusesCutAtrs) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        Bytes atr;
        Bytes historical;
    };
    const Case cases[] = {
        {{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80}, {0x80}},  // DESFire EV1 on a contactless reader
        // Contactless storage card: TD1 TD2, then 15 historical bytes, TCK.
        {{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
          0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A},
         {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x00}},
        // TA1 TB1 TC1 TD1, TA2, then 2 historical bytes.
        {{0x3B, 0xF2, 0x11, 0x00, 0xFF, 0x11, 0x80, 0x31, 0xC0}, {0x31, 0xC0}},
        {{0x3B, 0x00}, {}},
        {{0x3B, 0x81, 0x80, 0x01}, {}},  // historical byte missing
        {{0x3B, 0x81, 0x80}, {}},        // TD2 announced, missing
        {{0x3B}, {}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        std::span<const uint8_t> historical = atrHistoricalBytes(c.atr);
        EXPECT_EQ(Bytes(historical.begin(), historical.end()), c.historical)
            << "ATR of " << c.atr.size() << " bytes";
    }
}

TEST(OpenPcscTransportTest, AnEmptyReaderNameNamesNoReader) {
    EXPECT_EQ(openPcscTransport({DeviceName::Kind::PcscReader, ""}), nullptr);
}

const char* const kGetVersion = "transmit T1 9060000000";
const char* const kNextFrame = "transmit T1 90af000000";
const char* const kGetUid = "transmit T1 ffca000000";

FakeAnswer answer(std::string_view hex) {
    return {fromHex(hex), SCARD_S_SUCCESS};
}
FakeAnswer error(LONG result) {
    return {{}, result};
}

// A DESFire EV1's GetVersion in three parts, then its UID from GET DATA.
std::deque<FakeAnswer> desfireAnswers(std::string_view uid = "04A1B2C3D4E5F6") {
    return {answer("0401010100180591AF"), answer("0401010104180591AF"),
            answer("04A1B2C3D4E5F6BA34999A5014089100"), answer(std::string(uid) + "9000")};
}

class PcscTransportTest : public testing::Test {
  protected:
    void SetUp() override { fakeScard() = {}; }
    void TearDown() override {
        EXPECT_EQ(fakeScard().openCards, 0) << "a card handle left connected";
        EXPECT_EQ(fakeScard().openContexts, 0) << "a context left established";
    }

    // Opens a transport as the device names it; the line it printed goes to printed. sysfs is
    // sysRoot: none, unless a test gives one.
    std::unique_ptr<Transport> open(DeviceName device) {
        testing::internal::CaptureStdout();
        std::unique_ptr<Transport> transport = openPcscTransport(device, test::fakeSleep, sysRoot);
        printed = testing::internal::GetCapturedStdout();
        return transport;
    }
    std::unique_ptr<Transport> openReader(std::string name) {
        return open({DeviceName::Kind::PcscReader, std::move(name)});
    }
    std::unique_ptr<Transport> openAnyReader() {
        return open({DeviceName::Kind::PcscAnyReader, ""});
    }

    // Activates the card; the line it printed goes to printed.
    int16_t activate(Transport& transport, Activation& activation) {
        testing::internal::CaptureStdout();
        int16_t result = transport.activate(activation);
        printed = testing::internal::GetCapturedStdout();
        return result;
    }

    // The connects and pauses so far in their order, each connect by its reader's name only;
    // how long each pause was is pauses()'s.
    static Calls connectsAndSleeps() {
        Calls calls;
        for (const std::string& call : fakeScard().calls) {
            if (call.starts_with("connect ")) {
                calls.push_back(call.substr(0, call.find(" share ")));
            } else if (call.starts_with("sleep ")) {
                calls.push_back("pause");
            }
        }
        return calls;
    }

    static std::vector<milliseconds> pauses() {
        std::vector<milliseconds> pauses;
        for (const std::string& call : fakeScard().calls) {
            if (call.starts_with("sleep ")) {
                pauses.emplace_back(std::stoi(call.substr(6)));
            }
        }
        return pauses;
    }

    std::string printed;
    test::TempDir scratch;
    std::string sysRoot = scratch.file("no-sysfs");
};

TEST_F(PcscTransportTest, ActivationTellsADesfireByGetVersionAndReadsItsUid) {
    struct Case {
        const char* what;
        std::deque<FakeAnswer> answers;
        int16_t status;
        std::string uid;
    };
    const Case cases[] = {
        {"DESFire EV1, 7-byte UID", desfireAnswers(), kOk, "04a1b2c3d4e5f6"},
        {"DESFire with a random 4-byte UID", desfireAnswers("08A1B2C3"), kOk, "08a1b2c3"},
        {"another vendor",
         {answer("0501010100180591AF"), answer("91AF"), answer("9100")},
         kNotDesfire,
         ""},
        {"not a DESFire type",
         {answer("0402010100180591AF"), answer("91AF"), answer("9100")},
         kNotDesfire,
         ""},
        {"GetVersion unknown to the card", {answer("6D00")}, kNotDesfire, ""},
        {"a fourth part",
         {answer("0401010100180591AF"), answer("91AF"), answer("91AF")},
         kNotDesfire,
         ""},
        {"GetVersion ends with an error",
         {answer("0401010100180591AF"), answer("91CA")},
         kNotDesfire,
         ""},
        {"GET DATA refused",
         {answer("0401010100180591AF"), answer("91AF"), answer("9100"), answer("6A81")},
         kIsoStatus,
         ""},
        {"a UID of 5 bytes",
         {answer("0401010100180591AF"), answer("91AF"), answer("9100"),
          answer("0102030405"
                 "9000")},
         kBadAnswer,
         ""},
        {"card removed during GetVersion", {error(SCARD_W_REMOVED_CARD)}, kCardRemoved, ""},
        {"no answer to GET DATA",
         {answer("0401010100180591AF"), answer("91AF"), answer("9100"), answer("90")},
         kNoAnswer,
         ""},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().readers = {{"Reader 00 00"}};
        fakeScard().answers = c.answers;
        std::unique_ptr<Transport> transport = openReader("Reader 00 00");
        ASSERT_NE(transport, nullptr) << c.what;
        Activation activation;
        EXPECT_EQ(transport->activate(activation), c.status) << c.what;
        EXPECT_EQ(toHex(std::span(activation.uid).first(activation.uidLength)), c.uid) << c.what;
        EXPECT_TRUE(fakeScard().answers.empty()) << c.what << ": answers left unasked";
        if (c.status == kOk) {
            EXPECT_EQ(toHex(activation.atqa), "4403") << c.what;
            EXPECT_EQ(activation.sak, 0x20) << c.what;
        }
        transport.reset();
        EXPECT_EQ(fakeScard().openCards, 0) << c.what;
    }
}

// The card is held exclusively with T=0 or T=1, spoken to with the PCI of the protocol the
// reader chose, and reset when let go so that nothing of our session outlives the connection.
TEST_F(PcscTransportTest, ExclusiveConnectionSpokenInItsProtocolAndResetWhenLetGo) {
    fakeScard().readers = {{"Reader 00 00"}};
    fakeScard().answers = desfireAnswers();
    fakeScard().answers.push_back(answer("9100"));
    std::unique_ptr<Transport> transport = openReader("Reader 00 00");
    ASSERT_NE(transport, nullptr);
    Activation activation;
    ASSERT_EQ(transport->activate(activation), kOk);
    std::vector<uint8_t> response;
    EXPECT_EQ(transport->transmit(fromHex("905A000003000000"
                                          "00"),
                                  response),
              kOk);
    EXPECT_EQ(toHex(response), "9100");
    std::array<uint8_t, 8> ats{};
    uint8_t atsLength = 0;
    EXPECT_EQ(transport->requestAts(ats, atsLength), kOk);
    EXPECT_EQ(toHex(std::span(ats).first(atsLength)), "80");
    transport->deselect();
    EXPECT_EQ(transport->transmit(fromHex("9060000000"), response), kNoCard);
    EXPECT_EQ(transport->requestAts(ats, atsLength), kNoCard);
    transport.reset();
    const Calls expected{
        "connect Reader 00 00 share 1 protocols 3", kGetVersion,    kNextFrame, kNextFrame, kGetUid,
        "transmit T1 905a00000300000000",           "disconnect 1", "release"};
    EXPECT_EQ(fakeScard().calls, expected);
}

TEST_F(PcscTransportTest, EverySCardErrorBecomesAStatusOfOurs) {
    struct Case {
        LONG result;
        int16_t atConnect;
        int16_t atTransmit;
    };
    const Case cases[] = {
        {SCARD_E_NO_SMARTCARD, kNoCard, kCardRemoved},
        {SCARD_W_REMOVED_CARD, kNoCard, kCardRemoved},
        {SCARD_W_RESET_CARD, kReaderError, kReaderError},
        {SCARD_E_SHARING_VIOLATION, kReaderBusy, kReaderError},
        {SCARD_W_UNRESPONSIVE_CARD, kNoAnswer, kNoAnswer},
        {SCARD_W_UNPOWERED_CARD, kNoAnswer, kReaderError},
        {SCARD_E_NOT_TRANSACTED, kReaderError, kNoAnswer},
        {SCARD_E_INSUFFICIENT_BUFFER, kReaderError, kBadAnswer},
        {SCARD_E_TIMEOUT, kReaderError, kReaderError},
        {SCARD_E_NO_SERVICE, kReaderError, kReaderError},
        {SCARD_E_READER_UNAVAILABLE, kReaderError, kReaderError},
        {SCARD_E_UNKNOWN_READER, kReaderError, kReaderError},
        {SCARD_W_SECURITY_VIOLATION, kAccessDenied, kReaderError},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().readers = {{"Reader 00 00", c.result}};
        std::unique_ptr<Transport> transport = openReader("Reader 00 00");
        ASSERT_NE(transport, nullptr);
        Activation activation;
        EXPECT_EQ(activate(*transport, activation), c.atConnect) << std::hex << c.result;

        // Mid-command: the card went, was reset or the reader failed after activation. The
        // session ends there: no new connection, no wait.
        fakeScard().readers[0].connectResult = SCARD_S_SUCCESS;
        fakeScard().answers = desfireAnswers();
        ASSERT_EQ(activate(*transport, activation), kOk);
        fakeScard().answers = {error(c.result)};
        std::vector<uint8_t> response{0x01};
        EXPECT_EQ(transport->transmit(fromHex("90BD00000701000000100000"
                                              "00"),
                                      response),
                  c.atTransmit)
            << std::hex << c.result;
        EXPECT_TRUE(response.empty());
        EXPECT_EQ(fakeScard().calls.back(), "transmit T1 90bd0000070100000010000000")
            << std::hex << c.result;
    }
}

TEST_F(PcscTransportTest, AnswersTooShortOrTooLongForAShortApdu) {
    fakeScard().readers = {{"Reader 00 00"}};
    fakeScard().answers = desfireAnswers();
    std::unique_ptr<Transport> transport = openReader("Reader 00 00");
    Activation activation;
    ASSERT_EQ(transport->activate(activation), kOk);
    struct Case {
        std::vector<uint8_t> answer;
        int16_t status;
    };
    const Case cases[] = {
        {{}, kNoAnswer},
        {{0x91}, kNoAnswer},
        {{0x91, 0x00}, kOk},
        {std::vector<uint8_t>(pcsc::kMaxBufferSize, 0x91), kOk},
        {std::vector<uint8_t>(pcsc::kMaxBufferSize + 1, 0x91), kBadAnswer},
    };
    for (const Case& c : cases) {
        fakeScard().answers = {{c.answer, SCARD_S_SUCCESS}};
        std::vector<uint8_t> response;
        EXPECT_EQ(transport->transmit(fromHex("9060000000"), response), c.status)
            << c.answer.size() << " bytes";
        EXPECT_EQ(response.size(), c.status == kOk ? c.answer.size() : 0u);
    }
    std::vector<uint8_t> response;
    EXPECT_EQ(transport->transmit(std::vector<uint8_t>(pcsc::kMaxBufferSize + 1), response),
              kBadArgument);
}

// Without a reader name, the first reader that holds a card.
TEST_F(PcscTransportTest, AnyReaderIsTheFirstThatHoldsACard) {
    struct Case {
        const char* what;
        std::vector<FakeReader> readers;
        int16_t status;
        Calls connects;
    };
    const Case cases[] = {
        {"the second holds the card",
         {{"A 00 00", SCARD_E_NO_SMARTCARD}, {"B 00 00"}, {"C 00 00"}},
         kOk,
         {"connect A 00 00 share 1 protocols 3", "connect B 00 00 share 1 protocols 3"}},
        {"no card anywhere",
         {{"A 00 00", SCARD_E_NO_SMARTCARD}, {"B 00 00", SCARD_W_REMOVED_CARD}},
         kNoCard,
         {"connect A 00 00 share 1 protocols 3", "connect B 00 00 share 1 protocols 3"}},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().readers = c.readers;
        fakeScard().answers = desfireAnswers();
        std::unique_ptr<Transport> transport = openAnyReader();
        ASSERT_NE(transport, nullptr) << c.what;
        EXPECT_EQ(printed, "") << c.what;
        Activation activation;
        EXPECT_EQ(transport->activate(activation), c.status) << c.what;
        Calls connects;
        std::copy_if(fakeScard().calls.begin(), fakeScard().calls.end(),
                     std::back_inserter(connects),
                     [](const std::string& call) { return call.starts_with("connect"); });
        EXPECT_EQ(connects, c.connects) << c.what;
    }
}

// Opening by name: the reader it picks, or the one line that says why none.
TEST_F(PcscTransportTest, AReaderNameOpensTheReaderItPicksOrSaysWhyNone) {
    const std::vector<FakeReader> readers{
        {"Virtual PCD 00 00"}, {"Virtual PCD 00 01"}, {"ACS ACR122U 01 00"}};
    struct Case {
        const char* what;
        LONG establishResult;
        std::vector<FakeReader> readers;
        int listGrowths;
        std::string name;
        std::string connect;  // the reader activation connects to; empty: no transport
        std::string printed;
    };
    const Case cases[] = {
        {"exact name", SCARD_S_SUCCESS, readers, 0, "Virtual PCD 00 01", "Virtual PCD 00 01", ""},
        {"part of one name", SCARD_S_SUCCESS, readers, 0, "acr122", "ACS ACR122U 01 00", ""},
        {"the list grew three times", SCARD_S_SUCCESS, readers, 3, "acr122", "ACS ACR122U 01 00",
         ""},
        {"the list kept growing", SCARD_S_SUCCESS, readers, 4, "acr122", "",
         "PC/SC failure: SCardListReaders answered SCARD_E_INSUFFICIENT_BUFFER (0x80100008)\n"},
        {"several", SCARD_S_SUCCESS, readers, 0, "Virtual", "",
         "Reader name 'Virtual' fits several readers: 'Virtual PCD 00 00', 'Virtual PCD 00 01'\n"},
        {"none", SCARD_S_SUCCESS, readers, 0, "Omnikey", "",
         "No reader's name contains 'Omnikey'; PC/SC readers: 'Virtual PCD 00 00', "
         "'Virtual PCD 00 01', 'ACS ACR122U 01 00'\n"},
        {"no reader at all",
         SCARD_S_SUCCESS,
         {},
         0,
         "acr122",
         "",
         "No PC/SC reader is connected\n"},
        {"no service", SCARD_E_NO_SERVICE, readers, 0, "acr122", "", kNoService},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().establishResult = c.establishResult;
        fakeScard().readers = c.readers;
        fakeScard().listGrowths = c.listGrowths;
        fakeScard().answers = desfireAnswers();
        std::unique_ptr<Transport> transport = openReader(c.name);
        EXPECT_EQ(printed, c.printed) << c.what;
        ASSERT_EQ(transport != nullptr, !c.connect.empty()) << c.what;
        if (transport) {
            Activation activation;
            EXPECT_EQ(transport->activate(activation), kOk) << c.what;
            EXPECT_EQ(fakeScard().calls.at(0), "connect " + c.connect + " share 1 protocols 3")
                << c.what;
        }
    }
    // Without a name the same lines say what is missing: the tool itself says nothing then.
    fakeScard() = {};
    EXPECT_EQ(openAnyReader(), nullptr);
    EXPECT_EQ(printed, "No PC/SC reader is connected\n");
    fakeScard().establishResult = SCARD_E_NO_SERVICE;
    EXPECT_EQ(openAnyReader(), nullptr);
    EXPECT_EQ(printed, kNoService);
}

// A card another program holds is asked for again after growing pauses, two seconds in all; a
// reader without a name waits on the first reader that holds a card, not on the next one. Past
// the bound one line names the reader. A card held for good is asked for until the whole bound
// is waited, and not once more.
TEST_F(PcscTransportTest, ACardAnotherProgramHoldsIsWaitedForAboutTwoSeconds) {
    const std::string busyLine = "Another program is using the card on reader 'B 00 00'\n";
    const Calls untilTheBound;  // connect B, then pause and connect B again until the bound
    struct Case {
        const char* what;
        DeviceName device;
        std::vector<FakeReader> readers;
        int16_t status;
        std::string printed;
        Calls connectsAndSleeps;
    };
    const DeviceName named{DeviceName::Kind::PcscReader, "B 00 00"};
    const DeviceName any{DeviceName::Kind::PcscAnyReader, ""};
    const FakeReader heldThrice{.name = "B 00 00", .heldConnects = 3};
    const FakeReader heldOnceThenTaken{
        .name = "B 00 00", .connectResult = SCARD_E_NO_SMARTCARD, .heldConnects = 1};
    const FakeReader heldForGood{"B 00 00", SCARD_E_SHARING_VIOLATION};
    const FakeReader empty{"A 00 00", SCARD_E_NO_SMARTCARD};
    const FakeReader freeCard{"C 00 00"};
    const Case cases[] = {
        {"named, held for three connects",
         named,
         {heldThrice},
         kOk,
         "",
         {"connect B 00 00", "pause", "connect B 00 00", "pause", "connect B 00 00", "pause",
          "connect B 00 00"}},
        {"named, held for good", named, {heldForGood}, kReaderBusy, busyLine, untilTheBound},
        {"named, taken away while held",
         named,
         {heldOnceThenTaken},
         kNoCard,
         "",
         {"connect B 00 00", "pause", "connect B 00 00"}},
        {"any, held for three connects; the free card after it is not taken",
         any,
         {empty, heldThrice, freeCard},
         kOk,
         "",
         {"connect A 00 00", "connect B 00 00", "pause", "connect A 00 00", "connect B 00 00",
          "pause", "connect A 00 00", "connect B 00 00", "pause", "connect A 00 00",
          "connect B 00 00"}},
        {"any, held for good", any, {heldForGood}, kReaderBusy, busyLine, untilTheBound},
        {"any, taken away while held: the next reader's card",
         any,
         {heldOnceThenTaken, freeCard},
         kOk,
         "",
         {"connect B 00 00", "pause", "connect B 00 00", "connect C 00 00"}},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().readers = c.readers;
        fakeScard().answers = desfireAnswers();
        std::unique_ptr<Transport> transport = open(c.device);
        ASSERT_NE(transport, nullptr) << c.what;
        Activation activation;
        EXPECT_EQ(activate(*transport, activation), c.status) << c.what;
        EXPECT_EQ(printed, c.printed) << c.what;
        const std::vector<milliseconds> waited = pauses();
        Calls expected = c.connectsAndSleeps;
        if (c.connectsAndSleeps == untilTheBound) {
            expected = {"connect B 00 00"};
            for (size_t pause = 0; pause < waited.size(); ++pause) {
                expected.insert(expected.end(), {"pause", "connect B 00 00"});
            }
            EXPECT_GE(waited.size(), 4u) << c.what;
            EXPECT_EQ(fakeScard().slept, milliseconds(2000)) << c.what;
        }
        EXPECT_EQ(connectsAndSleeps(), expected) << c.what;
        EXPECT_LE(fakeScard().slept, milliseconds(2000)) << c.what;
        // Growing: a scanner's moment is met by a short first pause, a longer hold by later ones;
        // only the last may be cut short to end on the bound.
        for (size_t pause = 1; pause + 1 < waited.size(); ++pause) {
            EXPECT_GT(waited[pause], waited[pause - 1]) << c.what << ", pause " << pause;
        }
        if (!waited.empty()) {
            EXPECT_LE(waited.front(), milliseconds(100)) << c.what;
        }
        EXPECT_EQ(fakeScard().openCards, c.status == kOk ? 1 : 0) << c.what;
    }
}

// Each try looks at the readers as they are then: a reader plugged in or out while the program
// waits is seen at the next try.
TEST_F(PcscTransportTest, AReaderListThatChangesWhileWaitingIsReadAgain) {
    const FakeReader held{"B 00 00", SCARD_E_SHARING_VIOLATION};
    struct Case {
        const char* what;
        DeviceName device;
        std::vector<FakeReader> afterFirstSleep;
        int16_t status;
        Calls connectsAndSleeps;
        std::string printed;
    };
    const Case cases[] = {
        {"any; the held reader unplugged, another with a card left",
         {DeviceName::Kind::PcscAnyReader, ""},
         {{"C 00 00"}},
         kOk,
         {"connect B 00 00", "pause", "connect C 00 00"},
         ""},
        {"any; a reader with a free card plugged in before it",
         {DeviceName::Kind::PcscAnyReader, ""},
         {{"A 00 00"}, held},
         kOk,
         {"connect B 00 00", "pause", "connect A 00 00"},
         ""},
        {"any; every reader unplugged",
         {DeviceName::Kind::PcscAnyReader, ""},
         {},
         kNoCard,
         {"connect B 00 00", "pause"},
         ""},
        {"named; its reader unplugged",
         {DeviceName::Kind::PcscReader, "B 00 00"},
         {{"C 00 00"}},
         kReaderError,
         {"connect B 00 00", "pause", "connect B 00 00"},
         "PC/SC failure on reader 'B 00 00': SCardConnect answered SCARD_E_UNKNOWN_READER "
         "(0x80100009)\n"},
    };
    for (const Case& c : cases) {
        fakeScard() = {};
        fakeScard().readers = {held};
        fakeScard().answers = desfireAnswers();
        fakeScard().duringSleep = [&c, changed = false]() mutable {
            if (!changed) {
                fakeScard().readers = c.afterFirstSleep;
                changed = true;
            }
        };
        std::unique_ptr<Transport> transport = open(c.device);
        ASSERT_NE(transport, nullptr) << c.what;
        Activation activation;
        EXPECT_EQ(activate(*transport, activation), c.status) << c.what;
        EXPECT_EQ(printed, c.printed) << c.what;
        EXPECT_EQ(connectsAndSleeps(), c.connectsAndSleeps) << c.what;
    }
}

// Where PC/SC stops a run before a card is reached, one line says why: the service refuses
// this user, there is none, it stopped after answering, no reader is connected; any other
// failure is named as the API names it, with its code.
TEST_F(PcscTransportTest, EachFailureToReachTheReadersHasALineOfItsOwn) {
    const std::vector<FakeReader> readers{{"Reader 00 00"}};
    struct Case {
        const char* what;
        LONG establishResult;
        LONG listResult;
        std::vector<FakeReader> readers;
        std::string printed;
    };
    const Case cases[] = {
        {"this user refused", SCARD_W_SECURITY_VIOLATION, SCARD_S_SUCCESS, readers, kUserRefused},
        {"no service", SCARD_E_NO_SERVICE, SCARD_S_SUCCESS, readers, kNoService},
        {"service stopped before", SCARD_E_SERVICE_STOPPED, SCARD_S_SUCCESS, readers, kNoService},
        {"service went away after the context", SCARD_S_SUCCESS, SCARD_E_NO_SERVICE, readers,
         kServiceStopped},
        {"service stopped after the context", SCARD_S_SUCCESS, SCARD_E_SERVICE_STOPPED, readers,
         kServiceStopped},
        {"no reader", SCARD_S_SUCCESS, SCARD_S_SUCCESS, {}, kNoReader},
        {"establish, another failure", SCARD_E_NO_MEMORY, SCARD_S_SUCCESS, readers,
         "PC/SC failure: SCardEstablishContext answered SCARD_E_NO_MEMORY (0x80100006)\n"},
        {"establish, a code no API names", static_cast<LONG>(0x80100099), SCARD_S_SUCCESS, readers,
         "PC/SC failure: SCardEstablishContext answered 0x80100099\n"},
        {"list, another failure", SCARD_S_SUCCESS, SCARD_E_INVALID_HANDLE, readers,
         "PC/SC failure: SCardListReaders answered SCARD_E_INVALID_HANDLE (0x80100003)\n"},
        {"list, a fault of the service", SCARD_S_SUCCESS, SCARD_F_COMM_ERROR, readers,
         "PC/SC failure: SCardListReaders answered SCARD_F_COMM_ERROR (0x80100013)\n"},
    };
    for (const Case& c : cases) {
        for (const DeviceName& device : {DeviceName{DeviceName::Kind::PcscReader, "Reader"},
                                         DeviceName{DeviceName::Kind::PcscAnyReader, ""}}) {
            fakeScard() = {};
            fakeScard().establishResult = c.establishResult;
            fakeScard().listResult = c.listResult;
            fakeScard().readers = c.readers;
            EXPECT_EQ(open(device), nullptr) << c.what;
            EXPECT_EQ(printed, c.printed) << c.what << ", '" << device.target << "'";
        }
    }
}

// Connecting to the card: pcscd's rules may let this user list the readers and still refuse the
// card, and the service may stop between the two. Each has its line, after the tries that a
// card another program holds gets; the other failures are named.
TEST_F(PcscTransportTest, EachFailureToReachTheCardHasALineOfItsOwn) {
    struct Case {
        const char* what;
        LONG connectResult;
        int16_t status;
        std::string printed;
    };
    const Case cases[] = {
        {"this user refused the card", SCARD_W_SECURITY_VIOLATION, kAccessDenied,
         cardRefused("Reader 00 00")},
        {"the service went away", SCARD_E_NO_SERVICE, kReaderError, kServiceStopped},
        {"the reader went away", SCARD_E_READER_UNAVAILABLE, kReaderError,
         "PC/SC failure on reader 'Reader 00 00': SCardConnect answered "
         "SCARD_E_READER_UNAVAILABLE (0x80100017)\n"},
        {"a protocol neither T=0 nor T=1", SCARD_E_PROTO_MISMATCH, kReaderError,
         "PC/SC failure on reader 'Reader 00 00': SCardConnect answered SCARD_E_PROTO_MISMATCH "
         "(0x8010000F)\n"},
    };
    for (const Case& c : cases) {
        for (const DeviceName& device : {DeviceName{DeviceName::Kind::PcscReader, "Reader"},
                                         DeviceName{DeviceName::Kind::PcscAnyReader, ""}}) {
            fakeScard() = {};
            fakeScard().readers = {{"Reader 00 00", c.connectResult}};
            std::unique_ptr<Transport> transport = open(device);
            ASSERT_NE(transport, nullptr) << c.what;
            Activation activation;
            EXPECT_EQ(activate(*transport, activation), c.status) << c.what;
            EXPECT_EQ(printed, c.printed) << c.what << ", '" << device.target << "'";
            EXPECT_EQ(connectsAndSleeps(), Calls{"connect Reader 00 00"}) << c.what;
        }
    }
    // Without a name, the readers are listed again at activation: the service may be gone then.
    fakeScard() = {};
    fakeScard().readers = {{"Reader 00 00"}};
    std::unique_ptr<Transport> transport = openAnyReader();
    ASSERT_NE(transport, nullptr);
    fakeScard().listResult = SCARD_E_NO_SERVICE;
    Activation activation;
    EXPECT_EQ(activate(*transport, activation), kReaderError);
    EXPECT_EQ(printed, kServiceStopped);
    fakeScard().listResult = SCARD_E_INVALID_HANDLE;
    EXPECT_EQ(activate(*transport, activation), kReaderError);
    EXPECT_EQ(printed,
              "PC/SC failure: SCardListReaders answered SCARD_E_INVALID_HANDLE (0x80100003)\n");
}

#ifndef _WIN32
// A USB reader that the kernel's NFC driver took first is not listed by pcscd: when no reader
// is listed, or none has the name, one more line names the driver and the device (sysfs, here a
// fixture). Nothing bound, another driver, or no sysfs at all: no line.
TEST_F(PcscTransportTest, TheKernelsNfcDriverHoldingAReaderIsNamed) {
    const std::string heldOne =
        "The kernel's NFC driver holds the USB reader 072f:2200 (pn533_usb), so pcscd cannot use "
        "it (see man zendorcfg, DIAGNOSTICS)\n";
    const std::string notFound =
        "No reader's name contains 'acr122'; PC/SC readers: 'Reader 00 00'\n";
    struct Case {
        const char* what;
        std::function<void(test::SysfsFixture&)> setUp;
        bool noSysfs;
        std::vector<FakeReader> readers;
        std::string printed;
    };
    const Case cases[] = {
        {"bound, no reader",
         [](test::SysfsFixture& sys) { sys.bind("pn533_usb", "1-2", "072f", "2200"); },
         false,
         {},
         kNoReader + heldOne},
        {"bound, no reader of the name",
         [](test::SysfsFixture& sys) { sys.bind("pn533_usb", "1-2", "072f", "2200"); },
         false,
         {{"Reader 00 00"}},
         notFound + heldOne},
        {"two bound, one without its vendor",
         [](test::SysfsFixture& sys) {
             sys.bind("pn533_usb", "3-1.4", "04e6", "5591");
             sys.bind("pn533_usb", "1-2", "", "2200");
         },
         false,
         {},
         kNoReader + std::string("The kernel's NFC driver holds the USB readers at 1-2:1.0 "
                                 "(pn533_usb), 04e6:5591 (pn533_usb), so pcscd cannot use them "
                                 "(see man zendorcfg, DIAGNOSTICS)\n")},
        {"module loaded, nothing bound",
         [](test::SysfsFixture& sys) { sys.loadDriver("pn533_usb"); },
         false,
         {},
         kNoReader},
        {"another driver of the family bound",
         [](test::SysfsFixture& sys) { sys.bind("port100", "1-2", "054c", "06c3"); },
         false,
         {},
         kNoReader},
        {"no sysfs", [](test::SysfsFixture&) {}, true, {}, kNoReader},
    };
    for (const Case& c : cases) {
        test::SysfsFixture sys;
        c.setUp(sys);
        sysRoot = c.noSysfs ? sys.root() + "/none" : sys.root();
        fakeScard() = {};
        fakeScard().readers = c.readers;
        EXPECT_EQ(openReader("acr122"), nullptr) << c.what;
        EXPECT_EQ(printed, c.printed) << c.what;
        if (c.readers.empty()) {
            EXPECT_EQ(openAnyReader(), nullptr) << c.what;
            EXPECT_EQ(printed, c.printed) << c.what;
        }
    }
    // A reader that is listed needs no reason.
    test::SysfsFixture sys;
    sys.bind("pn533_usb", "1-2", "072f", "2200");
    sysRoot = sys.root();
    fakeScard() = {};
    fakeScard().readers = {{"ACS ACR122U PICC Interface 00 00"}};
    EXPECT_NE(openReader("acr122"), nullptr);
    EXPECT_EQ(printed, "");
}
#endif

}  // namespace
}  // namespace zendor::marlix
