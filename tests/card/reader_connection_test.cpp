#include "card/reader_connection.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "support/card_files.h"
#include "support/counting_transport.h"
#include "support/temp_dir.h"
#include "vcard/card_connection.h"

namespace zendor::card {
namespace {

using test::CountingTransports;
using test::TempDir;

class ReaderConnectionTest : public ::testing::Test {
  protected:
    void TearDown() override { closeReaderConnection(); }

    std::string device(const std::string& name) { return "sim:" + dir.file(name); }

    // Opens and returns what was printed.
    std::string open(const std::string& deviceName, bool& opened) {
        ::testing::internal::CaptureStdout();
        opened = openReaderConnection(uid.data(), deviceName.c_str());
        return ::testing::internal::GetCapturedStdout();
    }

    TempDir dir;
    CountingTransports transports;
    std::array<uint8_t, 8> uid{};
};

TEST_F(ReaderConnectionTest, AcceptsADesfireAndHandsItsUidOn) {
    test::writeCard(dir.file("card.json"), test::knownDesfire());
    bool opened = false;
    EXPECT_EQ(open(device("card.json"), opened), "");
    ASSERT_TRUE(opened);
    EXPECT_TRUE(readerConnectionIsOpen());
    EXPECT_EQ(uid, (std::array<uint8_t, 8>{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00}));
    EXPECT_EQ(transports.counts.activations, 1);
    EXPECT_EQ(transports.counts.atsRequests, 1);

    EXPECT_TRUE(closeReaderConnection());
    EXPECT_FALSE(readerConnectionIsOpen());
    EXPECT_EQ(transports.counts.deselects, 1);
    EXPECT_EQ(transports.counts.closed, 1);
}

TEST_F(ReaderConnectionTest, OpenWhileOpenTouchesNothing) {
    test::writeCard(dir.file("card.json"), test::knownDesfire());
    bool opened = false;
    open(device("card.json"), opened);
    ASSERT_TRUE(opened);
    uid.fill(0xAA);
    EXPECT_EQ(open(device("other.json"), opened), "");
    EXPECT_TRUE(opened);
    EXPECT_EQ(uid[0], 0xAA);
    EXPECT_EQ(transports.counts.opened, 1);
    EXPECT_EQ(transports.counts.activations, 1);
}

TEST_F(ReaderConnectionTest, CloseWithoutOpenCallsNothing) {
    EXPECT_TRUE(closeReaderConnection());
    EXPECT_TRUE(closeReaderConnection());
    EXPECT_EQ(transports.counts.opened, 0);
    EXPECT_EQ(transports.counts.deselects, 0);
}

TEST_F(ReaderConnectionTest, NullUidBufferStillOpens) {
    test::writeCard(dir.file("card.json"), test::knownDesfire());
    std::string name = device("card.json");
    EXPECT_TRUE(openReaderConnection(nullptr, name.c_str()));
}

TEST_F(ReaderConnectionTest, RefusesCardsThatAreNotADesfire) {
    const struct {
        std::array<uint8_t, 2> atqa;
        uint8_t uid0;
    } cards[] = {
        {{0x44, 0x00}, 0x04},                        // Ultralight-like ATQA
        {{0x04, 0x03}, 0x04},                        // ATQA bytes the wrong way round
        {{0x03, 0x44}, 0x04}, {{0x44, 0x03}, 0x08},  // random-UID card
        {{0x44, 0x03}, 0x05},
    };
    for (const auto& c : cards) {
        vcard::CardState card = test::knownDesfire();
        card.atqa = c.atqa;
        card.uid[0] = c.uid0;
        test::writeCard(dir.file("card.json"), card);
        std::string before = test::readFile(dir.file("card.json"));
        transports.counts = {};
        bool opened = true;
        EXPECT_EQ(open(device("card.json"), opened), "Card found, not a Desfire\n");
        EXPECT_FALSE(opened);
        EXPECT_FALSE(readerConnectionIsOpen());
        EXPECT_EQ(transports.counts.closed, 1) << "the reader is closed again";
        EXPECT_EQ(transports.counts.atsRequests, 0);
        EXPECT_EQ(test::readFile(dir.file("card.json")), before);
    }
}

TEST_F(ReaderConnectionTest, AcceptsADesfireWhateverItsSak) {
    vcard::CardState card = test::knownDesfire();
    card.sak = 0x08;
    test::writeCard(dir.file("card.json"), card);
    bool opened = false;
    EXPECT_EQ(open(device("card.json"), opened), "");
    EXPECT_TRUE(opened);
}

// The file is made by the card's first change, not by opening it: a reading leaves none.
TEST_F(ReaderConnectionTest, AMissingCardFileIsAFactoryFreshDesfire) {
    bool opened = false;
    EXPECT_EQ(open(device("new.json"), opened), "");
    ASSERT_TRUE(opened);
    EXPECT_EQ(uid[0], 0x04);
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.json")));
}

TEST_F(ReaderConnectionTest, ASecondConnectionToTheSameCardFailsToActivateIt) {
    test::writeCard(dir.file("card.json"), test::knownDesfire());
    vcard::CardConnection::OpenResult holder = vcard::CardConnection::open(dir.file("card.json"));
    ASSERT_EQ(holder.status, vcard::CardConnection::OpenStatus::Ok);
    bool opened = true;
    EXPECT_EQ(open(device("card.json"), opened), "Card select error (-107)\n");
    EXPECT_FALSE(opened);
    holder.connection.reset();
    EXPECT_EQ(open(device("card.json"), opened), "");
    EXPECT_TRUE(opened);
}

struct BadFileCase {
    const char* name;
    std::string content;
    std::string reason;
};

TEST_F(ReaderConnectionTest, BadCardFilesGiveOneLineAndStayAsTheyWere) {
    std::string good = vcard::formatCardJson(test::knownDesfire());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<BadFileCase> cases = {
        {"not JSON", "{\"uid\": ", "not valid JSON"},
        {"empty", "", "not valid JSON"},
        {"short uid", replaced("04112233445566", "041122334455"), "uid: must be 7 bytes"},
        {"lower-case hex", replaced("04112233445566", "04112233445566aa"),
         "uid: not upper-case hexadecimal"},
        {"unknown member", replaced("\"sak\"", "\"colour\": 1, \"sak\""),
         "card: unknown member 'colour'"},
        {"missing member", replaced("\"freeMemory\": 7936,", ""),
         "card: member 'freeMemory' is missing"},
        {"bad number", replaced("7936", "-5"), "freeMemory: must be a non-negative integer"},
        {"array", "[]", "card: must be an object"},
    };
    for (const BadFileCase& c : cases) {
        std::string path = dir.file("bad.json");
        test::writeFile(path, c.content);
        bool opened = true;
        std::string expected = "Virtual card file '" + path + "' is not valid: " + c.reason +
                               "\nReader sim:" + path + " not found\n";
        EXPECT_EQ(open("sim:" + path, opened), expected) << c.name;
        EXPECT_FALSE(opened);
        EXPECT_EQ(test::readFile(path), c.content) << c.name;
    }
}

TEST_F(ReaderConnectionTest, ADirectoryIsNoCardFile) {
    std::filesystem::create_directory(dir.file("folder"));
    bool opened = true;
    std::string path = dir.file("folder");
    EXPECT_EQ(open("sim:" + path, opened),
              "Virtual card file '" + path + "' is not valid: is a directory\nReader sim:" + path +
                  " not found\n");
    EXPECT_FALSE(opened);
}

TEST_F(ReaderConnectionTest, DeviceNamesThatNameNoReader) {
    const struct {
        std::string name;
        std::string output;
    } cases[] = {
        {"", "Reader  not found\n"},
        {"sim:", "Device 'sim:' needs the path of a card file\nReader sim: not found\n"},
        {"usb:reader",
         "Unknown device type 'usb:' (use sim:FILE or pcsc:READER)\nReader usb:reader not found\n"},
    };
    for (const auto& c : cases) {
        bool opened = true;
        EXPECT_EQ(open(c.name, opened), c.output) << c.name;
        EXPECT_FALSE(opened);
        EXPECT_EQ(transports.counts.opened, 0);
    }
}

}  // namespace
}  // namespace zendor::card
