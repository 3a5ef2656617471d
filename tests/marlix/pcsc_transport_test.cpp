// The parts of the PC/SC transport that need no PC/SC service: choosing the reader a name means
// and reading the ATR. The exchange with a card is tested end to end in tests/e2e.
#include "marlix/pcsc_transport.h"

#include <gtest/gtest.h>

#include <vector>

namespace zendor::marlix {
namespace {

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

}  // namespace
}  // namespace zendor::marlix
