// The host protocol against the virtual card in process (sim: card files in a temporary folder):
// every command the tool sends, the statuses it tells apart, both key forms, every communication
// setting, and the number of frames each command takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "card/marlix.h"
#include "card/marlix_desfire.h"
#include "marlix/reader.h"
#include "marlix/sim_transport.h"
#include "marlix/status.h"
#include "support/hex.h"
#include "vcard/card_connection.h"
#include "vcard/card_file.h"
#include "vcard/card_state.h"

namespace zendor::marlix {
namespace {

using vcard::Key;

Key keyOf(std::string_view hex) {
    Key key{};
    const auto bytes = test::fromHex(hex);
    std::copy_n(bytes.begin(), key.size(), key.begin());
    return key;
}

constexpr Key kZeroKey{};
const Key kDesKey = keyOf("41424344454647484142434445464748");  // "ABCDEFGH" twice: DES
const Key kTwoKeyKey = keyOf("00112233445566778899AABBCCDDEEFF");
const Key kOtherKey = keyOf("0102030405060708090A0B0C0D0E0F10");
constexpr uint32_t kAid = 0x5A4D43;

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(seed + i * 13);
    }
    return data;
}

// An application with key 0 = key and one 16-byte file 1 of the given setting, rights FF0F.
vcard::Application application(const Key& key, uint8_t comm = 3, uint8_t type = 0) {
    vcard::Application app;
    app.aid = kAid;
    app.keySettings = 0xEF;
    app.keys = {key};
    app.files.push_back({1, type, comm, 0xFF0F, std::vector<uint8_t>(16, 0x11)});
    return app;
}

class HostAgainstCard : public testing::Test {
  protected:
    void SetUp() override {
        // A folder of this test's own: a random name, taken only when this call made it.
        folder_ = (std::filesystem::temp_directory_path() /
                   ("zendor-host-" + std::to_string(std::random_device{}())))
                      .string();
        ASSERT_TRUE(std::filesystem::create_directory(folder_)) << folder_;
        path_ = folder_ + "/card.json";
        card_ = vcard::factoryFreshCard();
    }

    void TearDown() override {
        MARLIX_ReaderClose();
        std::filesystem::remove_all(folder_);
    }

    // Writes card_ and brings it into the field as the tool does.
    void connect() {
        std::string error;
        ASSERT_TRUE(vcard::writeCardFile(path_, card_, error)) << error;
        ASSERT_EQ(MARLIX_ReaderOpen(("sim:" + path_).c_str()), 0);
        uint8_t atqa[2], uid[12], uidLength = 12, sak = 0, ats[32], atsLength = 32;
        ASSERT_EQ(MARLIX_TclA_ActivateAny(atqa, uid, &uidLength, &sak), 0);
        ASSERT_EQ(MARLIX_TclA_GetAts(0xFF, ats, &atsLength), 0);
        ASSERT_EQ(DesFireCard_SelectCid(0xFF), 0);
    }

    void disconnect() { MARLIX_ReaderClose(); }

    const std::vector<vcard::FrameRecord>& frames() {
        return simConnection(readerSession().transport.get())->frames();
    }

    vcard::CardState saved() {
        vcard::ReadResult read = vcard::readCardFile(path_);
        EXPECT_EQ(read.status, vcard::ReadStatus::Ok) << read.error;
        return read.card.value_or(vcard::CardState{});
    }

    std::string folder_;
    std::string path_;
    vcard::CardState card_;
};

struct Step {
    const char* what;
    std::function<int16_t()> run;
    int16_t expected;
    size_t frames;
};

// The whole command sequence of a Master Card creation, then its reading, on a fresh card, with
// a 2K3DES card master key and application key; the frames of each command counted.
TEST_F(HostAgainstCard, MasterCardCreationAndReading) {
    const auto image = pattern(512, 7);
    const auto signature = pattern(16, 99);
    std::vector<uint8_t> readImage(512), readSignature(16);
    uint32_t imageCount = 0, signatureCount = 0;
    uint8_t type[2] = {}, comm[2] = {};
    uint16_t rights[2] = {};
    DesFireFileInfo info[2] = {};
    const Step steps[] = {
        {"select card level", [] { return DesFireCard_SelectApplication(0); }, 0, 1},
        {"authenticate, zero key", [] { return DesFireCard_Authenticate(0, kZeroKey.data()); }, 0,
         2},
        {"format", [] { return DesFireCard_FormatPICC(); }, 0, 1},
        {"authenticate again", [] { return DesFireCard_Authenticate(0, kZeroKey.data()); }, 0, 2},
        {"change card master key",
         [] { return DesFireCard_ChangeKey(0, kOtherKey.data(), nullptr); }, 0, 1},
        {"authenticate, 2K3DES card master key",
         [] { return DesFireCard_Authenticate(0, kOtherKey.data()); }, 0, 2},
        {"create application", [] { return DesFireCard_CreateApplication(kAid, 0xEF, 1); }, 0, 1},
        {"select application", [] { return DesFireCard_SelectApplication(kAid); }, 0, 1},
        {"authenticate, new application",
         [] { return DesFireCard_Authenticate(0, kZeroKey.data()); }, 0, 2},
        {"change application key",
         [] { return DesFireCard_ChangeKey(0, kTwoKeyKey.data(), nullptr); }, 0, 1},
        {"select application again", [] { return DesFireCard_SelectApplication(kAid); }, 0, 1},
        {"authenticate, 2K3DES application key",
         [] { return DesFireCard_Authenticate(0, kTwoKeyKey.data()); }, 0, 2},
        {"create data file", [] { return DesFireCard_CreateStdDataFile(1, 3, 0xFF0F, 512); }, 0, 1},
        {"create signature file", [] { return DesFireCard_CreateStdDataFile(2, 3, 0xFF0F, 16); }, 0,
         1},
        {"get data file settings",
         [&] { return DesFireCard_GetFileSettings(1, &type[0], &comm[0], &rights[0], &info[0]); },
         0, 1},
        {"get signature file settings",
         [&] { return DesFireCard_GetFileSettings(2, &type[1], &comm[1], &rights[1], &info[1]); },
         0, 1},
        {"write signature, 16 bytes enciphered",
         [&] { return DesFireCard_WriteData(2, 3, 0, 16, signature.data()); }, 0, 1},
        {"write image, 512 bytes enciphered",
         [&] { return DesFireCard_WriteData(1, 3, 0, 512, image.data()); }, 0, 10},
        {"commit, nothing pending", [] { return DesFireCard_CommitTransaction(); }, 0, 1},
        {"read signature, 16 bytes enciphered",
         [&] { return DesFireCard_ReadData(2, 3, 0, 16, readSignature.data(), &signatureCount); },
         0, 1},
        {"read image, 512 bytes enciphered",
         [&] { return DesFireCard_ReadData(1, 3, 0, 512, readImage.data(), &imageCount); }, 0, 9},
    };
    card_.applications.push_back(application(kZeroKey));  // formatted away
    connect();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const size_t before = frames().size();
        ASSERT_EQ(step.run(), step.expected);
        EXPECT_EQ(frames().size() - before, step.frames);
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(type[i], 0);
        EXPECT_EQ(comm[i], 3);
        EXPECT_EQ(rights[i], 0xFF0F);
    }
    EXPECT_EQ(info[0].size, 512u);
    EXPECT_EQ(info[1].size, 16u);
    EXPECT_EQ(readImage, image);
    EXPECT_EQ(imageCount, 512u);
    EXPECT_EQ(readSignature, signature);
    EXPECT_EQ(signatureCount, 16u);
    // Every frame within what a real card takes and gives.
    for (const auto& frame : frames()) {
        EXPECT_LE(frame.command.size(), 5u + 54 + 1);
        EXPECT_LE(frame.response.size(), 59u + 2);
    }

    disconnect();
    const vcard::CardState card = saved();
    EXPECT_EQ(card.piccKey, kOtherKey);
    ASSERT_EQ(card.applications.size(), 1u);
    EXPECT_EQ(card.applications[0].aid, kAid);
    EXPECT_EQ(card.applications[0].keys, std::vector<Key>{kTwoKeyKey});
    ASSERT_EQ(card.applications[0].files.size(), 2u);
    EXPECT_EQ(card.applications[0].files[0].data, image);
    EXPECT_EQ(card.applications[0].files[1].data, signature);
}

// The card statuses the tool tells apart, each where a real card gives it.
TEST_F(HostAgainstCard, StatusesTheToolTellsApart) {
    struct Case {
        const char* what;
        std::function<void(vcard::CardState&)> prepare;
        std::vector<std::function<int16_t()>> before;  // each must succeed
        std::function<int16_t()> run;
        int16_t expected;
    };
    auto selectRoot = [] { return DesFireCard_SelectApplication(0); };
    auto selectApp = [] { return DesFireCard_SelectApplication(kAid); };
    auto rootAuth = [] { return DesFireCard_Authenticate(0, kZeroKey.data()); };
    auto withApp = [](vcard::CardState& card) {
        card.applications.push_back(application(kZeroKey));
    };
    const Case cases[] = {
        {"out of memory for an application",
         [](vcard::CardState& card) { card.freeMemory = 32; },
         {selectRoot, rootAuth},
         [] { return DesFireCard_CreateApplication(kAid, 0xEF, 1); },
         -1014},
        {"out of memory for a file",
         [&](vcard::CardState& card) {
             withApp(card);
             card.freeMemory = 0;
         },
         {selectApp},
         [] { return DesFireCard_CreateStdDataFile(2, 3, 0xFF0F, 512); },
         -1014},
        {"create application with an application selected",
         withApp,
         {selectApp},
         [] { return DesFireCard_CreateApplication(0x010203, 0xEF, 1); },
         -1157},
        {"change a frozen card master key",
         [](vcard::CardState& card) { card.piccKeySettings = 0x0E; },
         {selectRoot, rootAuth},
         [] { return DesFireCard_ChangeKey(0, kOtherKey.data(), nullptr); },
         -1157},
        // A real card answers AE, not 9D, when creating needs an authentication that is missing.
        {"create application without the required authentication",
         [](vcard::CardState& card) { card.piccKeySettings = 0x0B; },
         {selectRoot},
         [] { return DesFireCard_CreateApplication(kAid, 0xEF, 1); },
         -1174},
        {"select a missing application", nullptr, {}, selectApp, -1160},
        {"wrong card master key",
         nullptr,
         {selectRoot},
         [] { return DesFireCard_Authenticate(0, kOtherKey.data()); },
         -1174},
        {"application already there",
         withApp,
         {selectRoot, rootAuth},
         [] { return DesFireCard_CreateApplication(kAid, 0xEF, 1); },
         -1222},
        {"missing file",
         withApp,
         {selectApp},
         [] {
             uint8_t type = 0, comm = 0;
             uint16_t rights = 0;
             DesFireFileInfo info{};
             return DesFireCard_GetFileSettings(7, &type, &comm, &rights, &info);
         },
         -1240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        card_ = vcard::factoryFreshCard();
        if (c.prepare) {
            c.prepare(card_);
        }
        connect();
        for (const auto& step : c.before) {
            ASSERT_EQ(step(), 0);
        }
        EXPECT_EQ(c.run(), c.expected);
        disconnect();
    }
}

// Both key forms and every communication setting: a 16-byte write and read back, and a 512-byte
// one that crosses every frame boundary of both directions.
TEST_F(HostAgainstCard, KeyFormsAndCommunicationSettings) {
    struct Case {
        const char* what;
        Key key;
        uint8_t comm;
    };
    const Case cases[] = {
        {"zero key, enciphered", kZeroKey, 3},     {"DES key, enciphered", kDesKey, 3},
        {"2K3DES key, enciphered", kTwoKeyKey, 3}, {"DES key, MACed", kDesKey, 1},
        {"2K3DES key, MACed", kTwoKeyKey, 1},      {"2K3DES key, plain", kTwoKeyKey, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        card_ = vcard::factoryFreshCard();
        card_.applications.push_back(application(c.key, c.comm));
        card_.applications[0].files.push_back({2, 0, c.comm, 0xFF0F, std::vector<uint8_t>(512)});
        connect();
        ASSERT_EQ(DesFireCard_SelectApplication(kAid), 0);
        ASSERT_EQ(DesFireCard_Authenticate(0, c.key.data()), 0);
        for (const auto& [fileNo, size] : {std::pair<uint8_t, size_t>{1, 16}, {2, 512}}) {
            const auto data = pattern(size, c.comm);
            ASSERT_EQ(DesFireCard_WriteData(fileNo, c.comm, 0, size, data.data()), 0) << size;
            std::vector<uint8_t> back(size);
            uint32_t count = 0;
            ASSERT_EQ(DesFireCard_ReadData(fileNo, c.comm, 0, size, back.data(), &count), 0);
            EXPECT_EQ(back, data);
            EXPECT_EQ(count, size);
        }
        disconnect();
    }
}

// A key other than the authenticated one: the cryptogram proves the sender knows its value.
TEST_F(HostAgainstCard, ChangeAnotherKeyWithItsOldValue) {
    card_.applications.push_back(application(kZeroKey));
    card_.applications[0].keySettings = 0x0F;  // the master key changes every key
    card_.applications[0].keys.push_back(kDesKey);
    connect();
    ASSERT_EQ(DesFireCard_SelectApplication(kAid), 0);
    ASSERT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), 0);
    EXPECT_EQ(DesFireCard_ChangeKey(1, kTwoKeyKey.data(), kOtherKey.data()), cardStatus(0x1E));
    ASSERT_EQ(DesFireCard_Authenticate(0, kZeroKey.data()), 0);
    ASSERT_EQ(DesFireCard_ChangeKey(1, kTwoKeyKey.data(), kDesKey.data()), 0);
    // Still authenticated with key 0: the file is written under the same session.
    const auto data = pattern(16, 1);
    EXPECT_EQ(DesFireCard_WriteData(1, 3, 0, 16, data.data()), 0);
    EXPECT_EQ(DesFireCard_Authenticate(1, kTwoKeyKey.data()), 0);
}

// A backup data file takes a write at commit, and drops one not committed.
TEST_F(HostAgainstCard, BackupFileWriteTakesEffectAtCommit) {
    card_.applications.push_back(application(kTwoKeyKey, 3, 1));
    const auto committed = pattern(16, 5);
    const auto dropped = pattern(16, 6);
    connect();
    ASSERT_EQ(DesFireCard_SelectApplication(kAid), 0);
    ASSERT_EQ(DesFireCard_Authenticate(0, kTwoKeyKey.data()), 0);
    ASSERT_EQ(DesFireCard_WriteData(1, 3, 0, 16, committed.data()), 0);
    ASSERT_EQ(DesFireCard_CommitTransaction(), 0);
    ASSERT_EQ(DesFireCard_WriteData(1, 3, 0, 16, dropped.data()), 0);
    disconnect();
    EXPECT_EQ(saved().applications[0].files[0].data, committed);
}

// The card leaves the field in the middle of the 512-byte write: no answer, nothing written.
TEST_F(HostAgainstCard, CardPulledAwayDuringAWrite) {
    card_.applications.push_back(application(kTwoKeyKey));
    card_.applications[0].files.push_back({2, 0, 3, 0xFF0F, std::vector<uint8_t>(512, 0x22)});
    card_.removeAfterFrames = 3 + 5;  // select, authentication, then 5 of the 10 write frames
    connect();
    ASSERT_EQ(DesFireCard_SelectApplication(kAid), 0);
    ASSERT_EQ(DesFireCard_Authenticate(0, kTwoKeyKey.data()), 0);
    const auto image = pattern(512, 3);
    EXPECT_EQ(DesFireCard_WriteData(2, 3, 0, 512, image.data()), kNoAnswer);
    EXPECT_EQ(frames().size(), 3u + 6);
    EXPECT_EQ(DesFireCard_WriteData(2, 3, 0, 512, image.data()), kNotAuthenticated);
    disconnect();
    EXPECT_EQ(saved().applications[0].files[1].data, std::vector<uint8_t>(512, 0x22));
}

}  // namespace
}  // namespace zendor::marlix
