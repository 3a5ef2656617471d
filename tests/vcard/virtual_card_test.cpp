// The virtual card against published known answers, and its sessions: authentication, chained
// and enciphered transfers, backup-file transactions, memory, and what a reset forgets.
#include "vcard/virtual_card.h"

#include <gtest/gtest.h>

#include "support/card_files.h"
#include "support/temp_dir.h"
#include "vcard/card_connection.h"
#include "vcard/card_file.h"
#include "vcard/test_host.h"

namespace zendor::vcard {
namespace {

using test::bytes;
using test::Bytes;
using test::concat;
using test::hex;
using test::keyOf;
using test::TestHost;
using test::transferHeader;

constexpr uint32_t kAid = 0x5A4D43;
const char* const kSelectApp = "90 5A 00 00 03 43 4D 5A 00";

// The authentication trace's frames, which give session key B0 A6 40 5F D6 F7 79 68 under the
// all-zero key when the card draws the trace's RndB.
const char* const kTraceStart = "90 0A 00 00 01 00 00";
const char* const kTraceChallenge = "57 B0 C3 5A 08 0A E6 08 91 AF";
const char* const kTraceToken = "90 AF 00 00 10 5B D8 9F 65 31 76 AE 3A 7A 11 28 C9 D4 03 51 29 00";
const char* const kTraceProof = "B5 3B F4 99 FE AC 13 E4 91 00";

DataFile dataFile(uint8_t fileNo, uint8_t type, uint8_t comm, uint16_t rights, size_t size) {
    return DataFile{fileNo, type, comm, rights, std::vector<uint8_t>(size, 0)};
}

// A card with application 5A4D43: key 0 all zero, key 1 = 01 02 .. 10, and files
//   1 standard, enciphered, every right key 0       2 standard, MACed, every right key 0
//   3 standard, enciphered, R free, W key 1         4 backup, plain, every right free
//   5 standard, enciphered, every right key 0, 512 bytes
CardState applicationCard(uint8_t keySettings = 0x0F) {
    CardState card = test::knownDesfire();
    Application app;
    app.aid = kAid;
    app.keySettings = keySettings;
    app.keys = {Key{}, keyOf("0102030405060708090A0B0C0D0E0F10")};
    app.files = {dataFile(1, kStandardDataFile, kCommEnciphered, 0x0000, 32),
                 dataFile(2, kStandardDataFile, kCommMaced, 0x0000, 32),
                 dataFile(3, kStandardDataFile, kCommEnciphered, 0xE1F0, 32),
                 dataFile(4, kBackupDataFile, kCommPlain, 0xEEEE, 32),
                 dataFile(5, kStandardDataFile, kCommEnciphered, 0x0000, 512)};
    card.applications = {app};
    return card;
}

void traceAuthentication(TestHost& host) {
    ASSERT_EQ(host.send(kTraceStart), kTraceChallenge);
    ASSERT_EQ(host.send(kTraceToken), kTraceProof);
    host.sessionKey = keyOf("B0A6405FD6F77968B0A6405FD6F77968");
}

TEST(VirtualCardKnownAnswers, AuthenticationTraceWithTheZeroCardKey) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    EXPECT_EQ(host.send(kTraceStart), kTraceChallenge);
    EXPECT_EQ(host.send(kTraceToken), kTraceProof);
    // Authenticated with the card master key: FormatPICC is allowed now.
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 00");
}

TEST(VirtualCardKnownAnswers, EncipheredWriteIsStoredAndEncipheredReadAnswersExactly) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    traceAuthentication(host);
    EXPECT_EQ(host.send("90 3D 00 00 1F 01 00 00 00 10 00 00 3F F1 65 BA 57 65 F8 77 53 F8 64 0F"
                        " B5 57 76 C8 35 66 E1 7E 8A AA D5 D6 00"),
              "91 00");
    Bytes expected = bytes("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    expected.resize(32, 0);
    EXPECT_EQ(hex(card.applications[0].files[0].data), hex(expected));
    EXPECT_EQ(host.send("90 BD 00 00 07 01 00 00 00 10 00 00 00"),
              "84 2C E6 F0 7E 4C E2 C3 98 1A 02 5A F1 BA BA F7 85 CC FF 7A C9 65 12 F9 91 00");
}

TEST(VirtualCardKnownAnswers, MacedWriteIsCheckedAndMacedReadCarriesTheMac) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    traceAuthentication(host);
    const char* data = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F";
    EXPECT_EQ(
        host.send(std::string("90 3D 00 00 1B 02 00 00 00 10 00 00 ") + data + " 98 1A 02 5A 00"),
        "91 00");
    EXPECT_EQ(host.send("90 BD 00 00 07 02 00 00 00 10 00 00 00"),
              std::string(data) + " 98 1A 02 5A 91 00");
    // One bit of the MAC wrong: refused, nothing written.
    EXPECT_EQ(host.send(kSelectApp), "91 00");
    traceAuthentication(host);
    EXPECT_EQ(
        host.send(std::string("90 3D 00 00 1B 02 10 00 00 10 00 00 ") + data + " 98 1A 02 5B 00"),
        "91 1E");
    EXPECT_EQ(card.applications[0].files[1].data[16], 0);
}

TEST(VirtualCardKnownAnswers, ChangeKeySettingsOfTheCard) {
    CardState card = test::knownDesfire();
    card.piccKeySettings = 0x09;
    TestHost host(card);
    traceAuthentication(host);
    EXPECT_EQ(host.send("90 54 00 00 08 96 79 5A 1B FA 5D CE B9 00"), "91 00");
    EXPECT_EQ(card.piccKeySettings, 0x0F);
}

TEST(VirtualCardKnownAnswers, ChangeKeyOfTheAuthenticatedKeyEndsTheAuthentication) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    traceAuthentication(host);
    EXPECT_EQ(host.send("90 C4 00 00 19 00 0C DC AE D2 DA 91 ED 6C BE 24 5B E5 F0 67 04 42 D7 D9"
                        " DC 5A 3A B9 DC 83 00"),
              "91 00");
    EXPECT_EQ(hex(card.piccKey), "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    EXPECT_EQ(host.send("90 64 00 00 01 00 00"), "55 91 00");
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 AE") << "the old session is over";
    EXPECT_EQ(host.authenticate(0, card.piccKey), 0x00) << "the new 2K3DES key works";
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 00");
}

TEST(VirtualCardKnownAnswers, ChangeKeyOfAnotherKeyKeepsTheAuthentication) {
    CardState card = applicationCard(0x09);  // key 0 changes keys, listing needs key 0
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    traceAuthentication(host);
    EXPECT_EQ(host.send("90 C4 00 00 19 01 C5 2E A2 99 87 35 CB 61 EC 7D 82 93 4C 78 E0 4C 67 50"
                        " 07 E5 CA 7F 3E F1 00"),
              "91 00");
    EXPECT_EQ(hex(card.applications[0].keys[1]), "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    EXPECT_EQ(host.send("90 45 00 00 00"), "09 02 91 00") << "still authenticated with key 0";
}

TEST(VirtualCardAuthentication, WrongTokenFailsAndLeavesNoAuthentication) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    traceAuthentication(host);
    ASSERT_EQ(host.send(kTraceStart), kTraceChallenge);
    EXPECT_EQ(host.send("90 AF 00 00 10 5B D8 9F 65 31 76 AE 3A 7A 11 28 C9 D4 03 51 28 00"),
              "91 AE");
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 AE");
}

// Without a random RndB the card offers no challenge (a fixed one could be replayed): the
// authentication in force ends, none starts, and the token finds nothing waiting for it.
TEST(VirtualCardAuthentication, NoRandomNumberNoChallenge) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    traceAuthentication(host);
    host.card().setRandomSource([](std::span<uint8_t>) { return false; });
    EXPECT_EQ(host.send(kTraceStart), "6F 00");
    EXPECT_EQ(host.send(kTraceToken), "91 1C");
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 AE");
    host.fixRandom(test::kTraceRndB);
    EXPECT_EQ(host.send(kTraceStart), kTraceChallenge);
    EXPECT_EQ(host.send(kTraceToken), kTraceProof);
}

TEST(VirtualCardAuthentication, TwoKeyTripleDesGivesTheLongSessionKey) {
    CardState card = applicationCard();
    card.applications[0].keys[0] = keyOf("00112233445566778899AABBCCDDEEFF");
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.authenticate(0, card.applications[0].keys[0]), 0x00);
    EXPECT_EQ(hex(host.sessionKey), "B0 A6 40 5F D6 F7 79 68 57 79 4A 93 D2 76 7E A3");
    Bytes data = bytes("CA FE BA BE");
    ASSERT_EQ(host.command(0x3D, concat(transferHeader(1, 4, 4), host.encipher(data))), 0x00);
    Bytes answer;
    ASSERT_EQ(host.command(0xBD, transferHeader(1, 4, 4), &answer), 0x00);
    EXPECT_EQ(hex(host.decipher(answer, 4)), "CA FE BA BE");
}

TEST(VirtualCardAuthentication, EndsOnErrorsAndOnSelectionButNotOnSuccess) {
    CardState card = applicationCard(0x09);
    TestHost host(card);
    auto authenticated = [&] { return host.send("90 45 00 00 00") == "09 02 91 00"; };
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    EXPECT_TRUE(authenticated());
    EXPECT_EQ(host.send("90 F5 00 00 01 01 00"), "00 03 00 00 20 00 00 91 00");
    EXPECT_TRUE(authenticated());
    EXPECT_EQ(host.send("90 F5 00 00 01 09 00"), "91 F0");
    EXPECT_FALSE(authenticated());

    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    EXPECT_EQ(host.send(kSelectApp), "91 00") << "the same application again";
    EXPECT_FALSE(authenticated());

    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    host.card().reset();
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    EXPECT_FALSE(authenticated());
}

TEST(VirtualCardAuthentication, EachKeyChangesItselfUnderKeySettingsE) {
    CardState card = applicationCard(0xEF);
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    Key key1 = card.applications[0].keys[1];
    ASSERT_EQ(host.authenticate(1, key1), 0x00);
    Key fresh = keyOf("A0A1A2A3A4A5A6A7A0A1A2A3A4A5A6A7");
    Bytes plain(fresh.begin(), fresh.end());
    uint16_t crc = desfire::crcA(fresh);
    plain.push_back(static_cast<uint8_t>(crc));
    plain.push_back(static_cast<uint8_t>(crc >> 8));
    plain.resize(24, 0);
    desfire::LegacyCipher(host.sessionKey).hostSend(plain);
    EXPECT_EQ(host.command(0xC4, concat({0x01}, plain)), 0x00);
    EXPECT_EQ(card.applications[0].keys[1], fresh);
    EXPECT_EQ(host.authenticate(1, fresh), 0x00);
}

// 512 bytes enciphered: ten host frames (7 + 47, eight of 54, 41) and nine card frames.
TEST(VirtualCardTransfers, LongEncipheredWriteAndReadAreChained) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    Bytes data(512);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    int frames = 0;
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(5, 0, 512), host.encipher(data)), nullptr,
                           &frames),
              0x00);
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(card.applications[0].files[4].data, data);

    Bytes first;
    EXPECT_EQ(host.frame(0xBD, transferHeader(5, 0, 0), &first), 0xAF);
    EXPECT_EQ(first.size(), 59u);
    Bytes answer = first;
    Bytes part;
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(host.frame(0xAF, {}, &part), 0xAF);
        ASSERT_EQ(part.size(), 59u);
        answer = concat(answer, part);
    }
    ASSERT_EQ(host.frame(0xAF, {}, &part), 0x00);
    EXPECT_EQ(part.size(), 48u);
    EXPECT_EQ(host.decipher(concat(answer, part), 512), data);
}

TEST(VirtualCardTransfers, HostFramesUpToFiftyFourBytesAreAccepted) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    Bytes data(32, 0x5C);
    // Plain, free: 7 + 32 bytes in frames of 54, then in frames of 5.
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(4, 0, 32), data)), 0x00);
    int frames = 0;
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(4, 0, 32), data), nullptr, &frames, 8),
              0x00);
    EXPECT_EQ(frames, 5);
    // Too many bytes for the announced length.
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(4, 0, 4), Bytes(5, 1))), 0x7E);
}

TEST(VirtualCardTransfers, FreeAccessIsPlainEvenForAnEncipheredFile) {
    CardState card = applicationCard();
    card.applications[0].files[2].data[0] = 0x42;
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    EXPECT_EQ(host.send("90 BD 00 00 07 03 00 00 00 02 00 00 00"), "42 00 91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    EXPECT_EQ(host.send("90 BD 00 00 07 03 00 00 00 02 00 00 00"), "42 00 91 00")
        << "key 0 grants no right on file 3";
    // Key 1 holds W: that write is enciphered.
    ASSERT_EQ(host.authenticate(1, card.applications[0].keys[1]), 0x00);
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(3, 0, 1), Bytes{0x43})), 0xAF)
        << "a plain byte where a cryptogram is due: the card waits for the rest";
    EXPECT_EQ(host.send("90 BD 00 00 07 03 00 00 00 02 00 00 00"), "91 CA");
    EXPECT_EQ(card.applications[0].files[2].data[0], 0x42);
    ASSERT_EQ(host.authenticate(1, card.applications[0].keys[1]), 0x00);
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(3, 0, 1), host.encipher({0x43}))), 0x00);
    EXPECT_EQ(card.applications[0].files[2].data[0], 0x43);
}

TEST(VirtualCardTransfers, BadCrcOrPaddingIsAnIntegrityError) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    Bytes data = bytes("01 02 03");
    Bytes plain = concat(data, {0x00, 0x00, 0x00, 0x00, 0x00});  // wrong CRC
    desfire::LegacyCipher(host.sessionKey).hostSend(plain);
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(1, 0, 3), plain)), 0x1E);
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    uint16_t crc = desfire::crcA(data);
    plain = concat(data, {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), 0, 0, 1});
    desfire::LegacyCipher(host.sessionKey).hostSend(plain);
    EXPECT_EQ(host.command(0x3D, concat(transferHeader(1, 0, 3), plain)), 0x1E);
    EXPECT_EQ(card.applications[0].files[0].data, Bytes(32, 0));
}

class VirtualCardBackup : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(host.send(kSelectApp), "91 00"); }

    uint8_t write(uint8_t value) {
        return host.command(0x3D, concat(transferHeader(4, 0, 2), Bytes{value, value}));
    }
    std::string read() { return host.send("90 BD 00 00 07 04 00 00 00 02 00 00 00"); }
    const Bytes& committed() const { return card.applications[0].files[3].data; }

    CardState card = applicationCard();
    TestHost host{card};
};

TEST_F(VirtualCardBackup, WriteTakesEffectAtCommit) {
    ASSERT_EQ(write(0x11), 0x00);
    EXPECT_EQ(read(), "00 00 91 00") << "reads show the committed content";
    EXPECT_EQ(committed()[0], 0x00);
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 00");
    EXPECT_EQ(committed()[0], 0x11);
    EXPECT_EQ(read(), "11 11 91 00");
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 0C") << "nothing left to commit";
}

TEST_F(VirtualCardBackup, PendingWriteIsDroppedByAbortResetSelectionAndErrors) {
    ASSERT_EQ(write(0x22), 0x00);
    EXPECT_EQ(host.send("90 A7 00 00 00"), "91 00");
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 0C");

    ASSERT_EQ(write(0x33), 0x00);
    host.card().reset();
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 0C");

    ASSERT_EQ(write(0x44), 0x00);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 0C");

    ASSERT_EQ(write(0x55), 0x00);
    ASSERT_EQ(host.send("90 F5 00 00 01 09 00"), "91 F0");
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 0C");
    EXPECT_EQ(committed(), Bytes(32, 0));
}

TEST_F(VirtualCardBackup, SeveralWritesCommitTogether) {
    ASSERT_EQ(write(0x66), 0x00);
    ASSERT_EQ(host.command(0x3D, concat(transferHeader(4, 1, 3), Bytes{7, 8, 9})), 0x00);
    EXPECT_EQ(host.send("90 C7 00 00 00"), "91 00");
    EXPECT_EQ(hex(Bytes(committed().begin(), committed().begin() + 5)), "66 07 08 09 00");
}

TEST(VirtualCardCut, ChainedWriteCutInTheMiddleLeavesTheFile) {
    CardState card = applicationCard();
    TestHost host(card);
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    Bytes cryptogram = host.encipher(Bytes(100, 0xAB));
    Bytes first =
        concat(transferHeader(5, 0, 100), Bytes(cryptogram.begin(), cryptogram.begin() + 47));
    ASSERT_EQ(host.frame(0x3D, first), 0xAF);
    ASSERT_EQ(host.frame(0xAF, Bytes(cryptogram.begin() + 47, cryptogram.begin() + 101)), 0xAF);
    host.card().reset();  // the card left the field
    EXPECT_EQ(host.frame(0xAF, Bytes(cryptogram.begin() + 101, cryptogram.end())), 0x1C);
    EXPECT_EQ(card.applications[0].files[4].data, Bytes(512, 0));
}

TEST(VirtualCardCut, ConnectionThatEndsMidWriteSavesNothingOfIt) {
    test::TempDir dir;
    std::string path = dir.file("card.json");
    CardState card = applicationCard();
    card.applications[0].files.push_back(dataFile(6, kStandardDataFile, kCommPlain, 0xEEEE, 64));
    card.removeAfterFrames = 3;
    test::writeCard(path, card);
    std::string before = test::readFile(path);
    {
        CardConnection::OpenResult opened = CardConnection::open(path);
        ASSERT_EQ(opened.status, CardConnection::OpenStatus::Ok) << opened.error;
        CardConnection& connection = *opened.connection;
        Bytes answer;
        auto send = [&](const Bytes& apdu) { return connection.transmit(apdu, answer); };
        ASSERT_EQ(send(bytes(kSelectApp)), CardConnection::TransmitStatus::Ok);
        // Standard file 6, 40 plain bytes in frames of 7 + 20, 19 and 1: the card leaves
        // before the last one.
        Bytes first = concat(transferHeader(6, 0, 40), Bytes(20, 0x77));
        ASSERT_EQ(send(concat(concat({0x90, 0x3D, 0x00, 0x00, 27}, first), {0x00})),
                  CardConnection::TransmitStatus::Ok);
        EXPECT_EQ(hex(answer), "91 AF");
        ASSERT_EQ(send(concat(concat({0x90, 0xAF, 0x00, 0x00, 19}, Bytes(19, 0x77)), {0x00})),
                  CardConnection::TransmitStatus::Ok);
        EXPECT_EQ(hex(answer), "91 AF") << "one byte short";
        EXPECT_EQ(send(bytes("90 AF 00 00 01 77 00")), CardConnection::TransmitStatus::NoAnswer);
    }
    EXPECT_EQ(test::readFile(path), before);
}

TEST(VirtualCardMemory, FilesAndApplicationsTakeMemoryAndFormatGivesItBack) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    ASSERT_EQ(host.send("90 CA 00 00 05 01 00 00 0F 02 00"), "91 00");
    ASSERT_EQ(host.send("90 CA 00 00 05 02 00 00 0F 01 00"), "91 00");
    EXPECT_EQ(card.freeMemory, kFactoryFreeMemory - 128);
    ASSERT_EQ(host.send("90 5A 00 00 03 01 00 00 00"), "91 00");
    ASSERT_EQ(host.send("90 CD 00 00 07 01 00 EE EE 21 00 00 00"), "91 00");  // 33 bytes
    ASSERT_EQ(host.send("90 CB 00 00 07 02 00 EE EE 20 00 00 00"), "91 00");  // 32 bytes
    EXPECT_EQ(card.freeMemory, kFactoryFreeMemory - 128 - 64 - 32);
    EXPECT_EQ(host.send("90 6E 00 00 00"), "20 1E 00 91 00") << "7712 free, asked inside an app";
    ASSERT_EQ(host.send("90 DF 00 00 01 02 00"), "91 00");
    EXPECT_EQ(card.freeMemory, kFactoryFreeMemory - 128 - 64);
    EXPECT_EQ(host.send("90 6F 00 00 00"), "01 91 00");
    ASSERT_EQ(host.send("90 5A 00 00 03 00 00 00 00"), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 00");
    EXPECT_EQ(card.freeMemory, kFactoryFreeMemory);
    EXPECT_TRUE(card.applications.empty());
    EXPECT_EQ(host.send("90 6A 00 00 00"), "91 00");
    EXPECT_EQ(host.send("90 6E 00 00 00"), "00 1F 00 91 00");
    EXPECT_EQ(host.send("90 6E 00 00 01 00 00"), "91 7E");
}

// GetVersion's storage size follows the whole card (free plus taken plus the card's own 256
// bytes), whatever was created on it, and says nothing else changed.
TEST(VirtualCardMemory, VersionTellsTheCardsStorageSize) {
    struct Case {
        uint32_t freeMemory;
        size_t applications;
        const char* version;
    };
    constexpr std::array<Case, 5> kCases{{
        {kFactoryFreeMemory, 0, "04 01 01 01 00 1A 05 91 AF"},
        {kFactoryFreeMemory - 3 * 64, 3, "04 01 01 01 00 1A 05 91 AF"},
        {4096 - 256, 0, "04 01 01 01 00 18 05 91 AF"},
        {2048 - 256 - 64, 1, "04 01 01 01 00 16 05 91 AF"},
        {5000, 0, "04 01 01 01 00 19 05 91 AF"},
    }};
    for (const Case& c : kCases) {
        CardState card = test::knownDesfire();
        card.freeMemory = c.freeMemory;
        for (uint32_t i = 1; i <= c.applications; ++i) {
            card.applications.push_back(Application{i, 0x0F, {Key{}}, {}});
        }
        TestHost host(card);
        EXPECT_EQ(host.send("90 60 00 00 00"), c.version) << c.freeMemory;
        EXPECT_EQ(host.send("90 AF 00 00 00"), c.version) << c.freeMemory;
    }
}

// A card file made by hand may list applications and still claim all memory free: what their
// deletion gives back never takes the card past a new card's memory, so its file loads again.
TEST(VirtualCardMemory, DeletionsNeverGiveMoreMemoryThanANewCardHas) {
    CardState card = test::knownDesfire();
    card.applications = {Application{0x000001, 0x0F, {Key{}}, {DataFile{1, 0, 0, 0xEEEE, {}}}},
                         Application{0x000002, 0x0F, {Key{}}, {}}};
    card.applications[0].files[0].data.resize(32);
    TestHost host(card);
    ASSERT_EQ(host.send("90 5A 00 00 03 01 00 00 00"), "91 00");
    ASSERT_EQ(host.send("90 DF 00 00 01 01 00"), "91 00");
    EXPECT_EQ(card.freeMemory, kMaxFreeMemory);
    ASSERT_EQ(host.send("90 5A 00 00 03 00 00 00 00"), "91 00");
    ASSERT_EQ(host.authenticate(0, Key{}), 0x00);
    EXPECT_EQ(host.send("90 FC 00 00 00"), "91 00");
    EXPECT_EQ(card.freeMemory, kMaxFreeMemory);
    std::string error;
    EXPECT_TRUE(parseCardJson(formatCardJson(card), error)) << error;
}

TEST(VirtualCardMemory, NewApplicationHasZeroKeysAndNewFileZeroData) {
    CardState card = test::knownDesfire();
    TestHost host(card);
    ASSERT_EQ(host.send("90 CA 00 00 05 43 4D 5A EF 03 00"), "91 00");
    ASSERT_EQ(host.send(kSelectApp), "91 00");
    ASSERT_EQ(host.send("90 CD 00 00 07 01 03 0F FF 00 02 00 00"), "91 00");
    ASSERT_EQ(card.applications.size(), 1u);
    const Application& app = card.applications[0];
    EXPECT_EQ(app.aid, kAid);
    EXPECT_EQ(app.keySettings, 0xEF);
    EXPECT_EQ(app.keys, std::vector<Key>(3, Key{}));
    ASSERT_EQ(app.files.size(), 1u);
    EXPECT_EQ(app.files[0], dataFile(1, kStandardDataFile, kCommEnciphered, 0xFF0F, 512));
    EXPECT_EQ(host.send("90 F5 00 00 01 01 00"), "00 03 0F FF 00 02 00 91 00");
    EXPECT_EQ(host.send("90 45 00 00 00"), "EF 03 91 00");
    EXPECT_EQ(host.authenticate(2, Key{}), 0x00);
}

TEST(VirtualCardListing, VersionAndUidAndApplicationIdsInFrames) {
    CardState card = test::knownDesfire();
    for (uint32_t i = 1; i <= kMaxApplications; ++i) {
        card.applications.push_back(Application{i, 0x0F, {Key{}}, {}});
    }
    card.freeMemory -= kMaxApplications * 64;
    TestHost host(card);
    EXPECT_EQ(host.send("FF CA 00 00 00"), "04 11 22 33 44 55 66 90 00");
    EXPECT_EQ(host.send("FF CA 01 00 00"), "6A 81");
    EXPECT_EQ(host.send("90 60 00 00 00"), "04 01 01 01 00 1A 05 91 AF");
    EXPECT_EQ(host.send("90 AF 00 00 00"), "04 01 01 01 00 1A 05 91 AF");
    std::string last = host.send("90 AF 00 00 00");
    EXPECT_EQ(last.substr(0, 20), "04 11 22 33 44 55 66");
    EXPECT_EQ(bytes(last).size(), 16u);
    EXPECT_EQ(last.substr(last.size() - 5), "91 00");

    Bytes first;
    ASSERT_EQ(host.frame(0x6A, {}, &first), 0xAF);
    EXPECT_EQ(first.size(), 19u * 3);
    Bytes rest;
    ASSERT_EQ(host.frame(0xAF, {}, &rest), 0x00);
    EXPECT_EQ(hex(rest).substr(0, 8), "14 00 00") << "the 20th application, LSB first";
    EXPECT_EQ(rest.size(), 9u * 3);
}

}  // namespace
}  // namespace zendor::vcard
