// What the virtual card refuses, with the status a real DESFire gives, and that a refusal
// changes nothing on the card.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/card_files.h"
#include "vcard/test_host.h"
#include "vcard/virtual_card.h"

namespace zendor::vcard {
namespace {

using test::TestHost;

// Two applications, every key all zero:
//   A1A1A1  key settings EF (each key changes itself, all free), keys 0 and 1, files
//           1 R free, W and RW never   2 every right key 1   3 backup, every right free
//   B2B2B2  key settings F0 (everything needs the master key, nothing changeable), keys 0, 1
CardState ruleCard() {
    CardState card = test::knownDesfire();
    auto file = [](uint8_t no, uint8_t type, uint8_t comm, uint16_t rights) {
        return DataFile{no, type, comm, rights, std::vector<uint8_t>(32, 0)};
    };
    card.applications = {
        Application{0xA1A1A1,
                    0xEF,
                    {Key{}, Key{}},
                    {file(1, kStandardDataFile, kCommPlain, 0xEFF0),
                     file(2, kStandardDataFile, kCommEnciphered, 0x1110),
                     file(3, kBackupDataFile, kCommPlain, 0xEEE0)}},
        Application{0xB2B2B2, 0xF0, {Key{}, Key{}}, {}},
    };
    card.freeMemory = kFactoryFreeMemory - 2 * 64 - 3 * 32;
    return card;
}

void noChange(CardState&) {}
void piccSettings09(CardState& card) {
    card.piccKeySettings = 0x09;
}
void piccSettings0B(CardState& card) {
    card.piccKeySettings = 0x0B;
}
void piccSettings0E(CardState& card) {
    card.piccKeySettings = 0x0E;
}
void memory63(CardState& card) {
    card.freeMemory = 63;
}
void memory32(CardState& card) {
    card.freeMemory = 32;
}
// Only a card made in memory can claim this much; its file would not load.
void memoryBeyondAnyCard(CardState& card) {
    card.freeMemory = UINT32_MAX;
}
void fullCard(CardState& card) {
    for (uint32_t aid = 1; card.applications.size() < kMaxApplications; ++aid) {
        card.applications.push_back(Application{aid, 0x0F, {Key{}}, {}});
    }
}

const char* const kSelA1 = "90 5A 00 00 03 A1 A1 A1 00";
const char* const kSelB2 = "90 5A 00 00 03 B2 B2 B2 00";
const char* const kAuth0 = "auth 0";
const char* const kAuth1 = "auth 1";
const char* const kChangeKey0 =
    "90 C4 00 00 19 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
const char* const kChangeKey1 =
    "90 C4 00 00 19 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

struct Refusal {
    const char* what;
    void (*prepare)(CardState&);
    std::vector<const char*> before;  // APDUs that succeed, or "auth N" with the zero key
    const char* command;
    uint8_t status;
};

const Refusal kRefusals[] = {
    // Card level.
    {"format without the card master key", noChange, {}, "90 FC 00 00 00", 0xAE},
    {"format inside an application", noChange, {kSelA1, kAuth0}, "90 FC 00 00 00", 0xAE},
    {"list applications, listing closed", piccSettings09, {}, "90 6A 00 00 00", 0xAE},
    {"card key settings, listing closed", piccSettings09, {}, "90 45 00 00 00", 0xAE},
    {"list applications inside an application", noChange, {kSelA1}, "90 6A 00 00 00", 0x9D},
    {"create application, creation closed",
     piccSettings0B,
     {},
     "90 CA 00 00 05 01 02 03 0F 01 00",
     0xAE},
    {"create application twice", noChange, {}, "90 CA 00 00 05 A1 A1 A1 0F 01 00", 0xDE},
    {"create application with 15 keys", noChange, {}, "90 CA 00 00 05 01 02 03 0F 0F 00", 0x9E},
    {"create application with no key", noChange, {}, "90 CA 00 00 05 01 02 03 0F 00 00", 0x9E},
    {"create application with AES keys", noChange, {}, "90 CA 00 00 05 01 02 03 0F 81 00", 0x9E},
    {"create application 000000", noChange, {}, "90 CA 00 00 05 00 00 00 0F 01 00", 0x9E},
    {"create a 29th application", fullCard, {}, "90 CA 00 00 05 01 02 03 0F 01 00", 0xCE},
    {"create application without memory", memory63, {}, "90 CA 00 00 05 01 02 03 0F 01 00", 0x0E},
    {"create application inside an application",
     noChange,
     {kSelA1},
     "90 CA 00 00 05 01 02 03 0F 01 00",
     0x9D},
    {"create application, short command", noChange, {}, "90 CA 00 00 04 01 02 03 0F 00", 0x7E},
    {"delete application without a key", noChange, {}, "90 DA 00 00 03 A1 A1 A1 00", 0xAE},
    {"delete application with another one's key",
     noChange,
     {kSelB2, kAuth0},
     "90 DA 00 00 03 A1 A1 A1 00",
     0xAE},
    {"delete unknown application", noChange, {kAuth0}, "90 DA 00 00 03 01 02 03 00", 0xA0},
    {"select unknown application", noChange, {}, "90 5A 00 00 03 01 02 03 00", 0xA0},
    {"select with a two-byte AID", noChange, {}, "90 5A 00 00 02 A1 A1 00", 0x7E},
    {"change frozen card master key", piccSettings0E, {kAuth0}, kChangeKey0, 0x9D},
    {"change card key settings without the key",
     noChange,
     {},
     "90 54 00 00 08 96 79 5A 1B FA 5D CE B9 00",
     0xAE},
    // Keys.
    {"authenticate with key 1 of the card", noChange, {}, "90 0A 00 00 01 01 00", 0x40},
    {"authenticate with key 2 of a two-key application",
     noChange,
     {kSelA1},
     "90 0A 00 00 01 02 00",
     0x40},
    {"version of a missing key", noChange, {kSelA1}, "90 64 00 00 01 05 00", 0x40},
    {"change a missing key",
     noChange,
     {kSelA1, kAuth0},
     "90 C4 00 00 19 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00",
     0x40},
    {"change a key without authentication", noChange, {kSelA1}, kChangeKey1, 0xAE},
    {"change key 1 as key 0 where each key changes itself",
     noChange,
     {kSelA1, kAuth0},
     kChangeKey1,
     0xAE},
    {"change a key where keys are frozen", noChange, {kSelB2, kAuth0}, kChangeKey1, 0x9D},
    {"change a frozen application master key", noChange, {kSelB2, kAuth0}, kChangeKey0, 0x9D},
    {"change key with a cryptogram that fails its CRC",
     noChange,
     {kSelA1, kAuth0},
     kChangeKey0,
     0x1E},
    {"change frozen key settings",
     noChange,
     {kSelB2, kAuth0},
     "90 54 00 00 08 00 00 00 00 00 00 00 00 00",
     0x9D},
    {"key settings, listing closed", noChange, {kSelB2}, "90 45 00 00 00", 0xAE},
    // Files.
    {"create file with a number in use",
     noChange,
     {kSelA1},
     "90 CD 00 00 07 01 00 EE EE 20 00 00 00",
     0xDE},
    {"create file number 32", noChange, {kSelA1}, "90 CD 00 00 07 20 00 EE EE 20 00 00 00", 0x9E},
    {"create file with communication 2",
     noChange,
     {kSelA1},
     "90 CB 00 00 07 05 02 EE EE 20 00 00 00",
     0x9E},
    {"create file of 0 bytes", noChange, {kSelA1}, "90 CD 00 00 07 05 00 EE EE 00 00 00 00", 0x9E},
    {"create file without memory",
     memory32,
     {kSelA1},
     "90 CD 00 00 07 05 00 EE EE 21 00 00 00",
     0x0E},
    {"create file, creation closed",
     noChange,
     {kSelB2},
     "90 CD 00 00 07 01 00 EE EE 20 00 00 00",
     0xAE},
    {"create file larger than any card has room for",
     memoryBeyondAnyCard,
     {kSelA1},
     "90 CD 00 00 07 05 00 EE EE 01 1F 00 00",
     0x0E},
    {"create file at card level", noChange, {}, "90 CD 00 00 07 01 00 EE EE 20 00 00 00", 0x9D},
    {"delete unknown file", noChange, {kSelA1}, "90 DF 00 00 01 09 00", 0xF0},
    {"list files, listing closed", noChange, {kSelB2}, "90 6F 00 00 00", 0xAE},
    {"settings of an unknown file", noChange, {kSelA1}, "90 F5 00 00 01 09 00", 0xF0},
    {"read an unknown file", noChange, {kSelA1}, "90 BD 00 00 07 09 00 00 00 01 00 00 00", 0xF0},
    {"write a file whose W and RW are never",
     noChange,
     {kSelA1},
     "90 3D 00 00 08 01 00 00 00 01 00 00 AA 00",
     0x9D},
    {"write a key-1 file without authentication",
     noChange,
     {kSelA1},
     "90 3D 00 00 08 02 00 00 00 01 00 00 AA 00",
     0xAE},
    {"write a key-1 file as key 0",
     noChange,
     {kSelA1, kAuth0},
     "90 3D 00 00 08 02 00 00 00 01 00 00 AA 00",
     0xAE},
    {"read beyond the end", noChange, {kSelA1}, "90 BD 00 00 07 01 00 00 00 21 00 00 00", 0xBE},
    {"read from the end", noChange, {kSelA1}, "90 BD 00 00 07 01 20 00 00 00 00 00 00", 0xBE},
    {"write beyond the end",
     noChange,
     {kSelA1},
     "90 3D 00 00 09 03 1F 00 00 02 00 00 AA BB 00",
     0xBE},
    {"write of no bytes", noChange, {kSelA1}, "90 3D 00 00 07 03 00 00 00 00 00 00 00", 0x7E},
    {"read with a short header", noChange, {kSelA1}, "90 BD 00 00 06 01 00 00 00 01 00 00", 0x7E},
    {"host frame of 55 bytes",
     noChange,
     {kSelA1},
     "90 3D 00 00 37 03 00 00 00 30 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     0x7E},
    {"write more than announced",
     noChange,
     {kSelA1},
     "90 3D 00 00 09 03 00 00 00 01 00 00 AA BB 00",
     0x7E},
    // Transactions and chaining.
    {"commit with nothing pending", noChange, {kSelA1}, "90 C7 00 00 00", 0x0C},
    {"abort with nothing pending", noChange, {kSelA1}, "90 A7 00 00 00", 0x0C},
    {"continue with nothing in progress", noChange, {}, "90 AF 00 00 00", 0x1C},
    {"unknown command", noChange, {}, "90 99 00 00 00", 0x1C},
    {"command inside a chained answer", noChange, {"90 60 00 00 00"}, kSelA1, 0xCA},
    {"command inside a chained write",
     noChange,
     {kSelA1, "90 3D 00 00 08 03 00 00 00 02 00 00 AA 00"},
     "90 C7 00 00 00",
     0xCA},
    {"command inside an authentication",
     noChange,
     {"90 0A 00 00 01 00 00"},
     "90 FC 00 00 00",
     0xCA},
};

TEST(VirtualCardRules, RefusesWithTheCardsStatusAndChangesNothing) {
    for (const Refusal& row : kRefusals) {
        SCOPED_TRACE(row.what);
        CardState card = ruleCard();
        row.prepare(card);
        TestHost host(card);
        for (const char* step : row.before) {
            std::string text = step;
            uint8_t status = text.starts_with("auth ")
                                 ? host.authenticate(static_cast<uint8_t>(text[5] - '0'), Key{})
                                 : test::bytes(host.send(text)).back();
            ASSERT_TRUE(status == 0x00 || status == 0xAF) << step;
        }
        CardState before = card;
        std::vector<uint8_t> answer = host.transmit(test::bytes(row.command));
        EXPECT_EQ(test::hex(answer), test::hex(std::vector<uint8_t>{0x91, row.status}));
        EXPECT_EQ(card, before);
    }
}

// The wrapping layer answers ISO status words before any DESFire command runs.
TEST(VirtualCardRules, MalformedApdusGetIsoStatusWords) {
    struct Case {
        const char* apdu;
        const char* answer;
    } cases[] = {
        {"00 A4 04 00 00", "6E 00"},
        {"90 60 01 00 00", "6A 86"},
        {"90 5A 00 00 05 A1 A1 A1 00", "67 00"},
        {"90 60 00", "67 00"},
        {"FF CA 01 00 00", "6A 81"},
    };
    CardState card = ruleCard();
    TestHost host(card);
    for (const Case& c : cases) {
        EXPECT_EQ(host.send(c.apdu), c.answer) << c.apdu;
    }
}

}  // namespace
}  // namespace zendor::vcard
