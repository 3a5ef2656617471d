#include "vcard/card_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/card_files.h"
#include "support/temp_dir.h"
#include "vcard/card_json.h"

namespace zendor::vcard {
namespace {

using test::TempDir;

CardState richCard() {
    CardState card = test::knownDesfire();
    card.piccKey.fill(0x5A);
    card.removeAfterFrames = 12;
    card.freeMemory = 7200;
    Application app;
    app.aid = 0x5A4D43;
    app.keySettings = 0xEF;
    app.keys = {Key{}, Key{1, 2, 3}};
    app.files = {{1, kStandardDataFile, kCommEnciphered, 0xFF0F, std::vector<uint8_t>(512, 0x33)},
                 {2, kBackupDataFile, kCommPlain, 0x1234, {}}};
    card.applications = {app};
    return card;
}

TEST(CardJson, WritesTheDocumentedFormatAndReadsItBack) {
    CardState card = richCard();
    std::string text = formatCardJson(card);
    EXPECT_NE(text.find("\"uid\": \"04112233445566\""), std::string::npos);
    EXPECT_NE(text.find("\"aid\": \"5A4D43\""), std::string::npos);
    EXPECT_NE(text.find("\"accessRights\": \"FF0F\""), std::string::npos);
    EXPECT_LT(text.find("\"uid\""), text.find("\"atqa\"")) << "members in the documented order";
    std::string error;
    std::optional<CardState> back = parseCardJson(text, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, card);
}

TEST(CardJson, RefusesWhatBreaksTheFormat) {
    std::string good = formatCardJson(richCard());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {replaced("\"size\": 512", "\"size\": 511"),
         "applications[0].files[0].data: must be exactly 'size' bytes"},
        {replaced("\"comm\": 3", "\"comm\": 2"),
         "applications[0].files[0].comm: must be 0, 1 or 3"},
        {replaced("\"fileNo\": 2", "\"fileNo\": 1"),
         "applications[0].files[1].fileNo: repeats another file's number"},
        {replaced("\"fileNo\": 2", "\"fileNo\": 32"),
         "applications[0].files[1].fileNo: must be at most 31"},
        {replaced("\"type\": 1", "\"type\": 2"),
         "applications[0].files[1].type: must be at most 1"},
        {replaced("\"aid\": \"5A4D43\"", "\"aid\": \"000000\""),
         "applications[0].aid: 000000 is the card level, not an application"},
        {replaced("\"keySettings\": \"EF\"", "\"keySettings\": \"EF00\""),
         "applications[0].keySettings: must be 1 bytes"},
        {replaced("\"removeAfterFrames\": 12", "\"removeAfterFrames\": \"12\""),
         "removeAfterFrames: must be a non-negative integer"},
        {replaced("\"removeAfterFrames\": 12", "\"removeAfterFrames\": 1.5"),
         "removeAfterFrames: must be a non-negative integer"},
        {replaced("\"piccKey\": \"5A5A", "\"piccKey\": \"5A5"),
         "piccKey: odd number of hexadecimal digits"},
        {replaced("\"keys\": [", "\"keys\": [\"00\", "),
         "applications[0].keys[0]: must be 16 bytes"},
        {replaced("\"files\": [", "\"extra\": 1, \"files\": ["),
         "applications[0]: unknown member 'extra'"},
        {"{\"uid\": \"04112233445566\"} trailing", "not valid JSON"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCardJson(c.text, error));
        EXPECT_EQ(error, c.error);
    }
}

// A DESFire holds at most 28 applications, in a list: anything else in their place is no card.
TEST(CardJson, TheApplicationsAreAListOfAtMost28) {
    const std::string good = formatCardJson(test::knownDesfire());
    const std::string member = "\"applications\": []";
    ASSERT_NE(good.find(member), std::string::npos);
    auto withApplications = [&](const std::string& value) {
        std::string text = good;
        return text.replace(text.find(member), member.size(), "\"applications\": " + value);
    };
    auto application = [](size_t aid) {
        char entry[160];
        std::snprintf(entry, sizeof entry,
                      "{\"aid\": \"%06zX\", \"keySettings\": \"0F\", \"keys\": [\"%s\"], "
                      "\"files\": []}",
                      aid, std::string(32, '0').c_str());
        return std::string(entry);
    };
    auto applications = [&](size_t count) {
        std::string list = "[" + application(1);
        for (size_t aid = 2; aid <= count; ++aid) {
            list += ", " + application(aid);
        }
        return list + "]";
    };
    const std::string refused = "applications: must be an array of at most 28 applications";
    const struct {
        const char* name;
        std::string value;
        std::string error;  // "" when the card is read
    } cases[] = {
        {"null", "null", refused},
        {"an empty object", "{}", refused},
        {"an object of one application", "{\"a\": " + application(1) + "}", refused},
        {"a string", "\"5A4D43\"", refused},
        {"a number", "1", refused},
        {"29 applications", applications(29), refused},
        {"28 applications", applications(28), ""},
        {"none", "[]", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<CardState> card = parseCardJson(withApplications(c.value), error);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(card.has_value(), c.error.empty()) << c.name;
    }
}

TEST(CardJson, EveryTruncationIsRefusedCleanly) {
    std::string good = formatCardJson(richCard());
    for (size_t length = 0; length + 1 < good.size(); length += 7) {
        std::string error;
        EXPECT_FALSE(parseCardJson(good.substr(0, length), error)) << length;
        EXPECT_FALSE(error.empty());
    }
}

TEST(CardFile, SavesAtomicallyAndReportsWhatItCannotRead) {
    TempDir dir;
    std::string path = dir.file("card.json");
    EXPECT_EQ(readCardFile(path).status, ReadStatus::Missing);
    std::string error;
    ASSERT_TRUE(writeCardFile(path, richCard(), error)) << error;
    ReadResult read = readCardFile(path);
    ASSERT_EQ(read.status, ReadStatus::Ok);
    EXPECT_EQ(*read.card, richCard());
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "no temporary file left behind";

    EXPECT_FALSE(writeCardFile(dir.file("missing/card.json"), richCard(), error));
    EXPECT_EQ(readCardFile(dir.path().string()).status, ReadStatus::Invalid);
}

TEST(CardLock, OneHolderAtATime) {
    TempDir dir;
    std::string path = dir.file("card.json");
    bool busy = false;
    std::string error;
    std::optional<CardLock> first = CardLock::acquire(path, busy, error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(CardLock::acquire(path, busy, error));
    EXPECT_TRUE(busy);
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(path + ".lock")) << "the lock file goes with its holder";
    EXPECT_TRUE(CardLock::acquire(path, busy, error));
}

CardState cardNumbered(uint8_t number) {
    CardState card = test::knownDesfire();
    card.uid.back() = number;
    return card;
}

std::vector<std::string> entriesOf(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What a save killed at any instant leaves, as the next holder of the lock finds it. A replace
// passes the old card through a spare name (its copy's name, the last character '~' or '_'):
// killed between its two renames, the old card is there alone and must come back before the
// sweep removes any copy. The card that never said "OK !" is the one that goes.
TEST(CardLock, TheCardComesBackFromWhereAKilledSaveLeftIt) {
    constexpr uint8_t kOlder = 0x01;
    constexpr uint8_t kOld = 0x02;
    constexpr uint8_t kNew = 0x03;
    constexpr uint8_t kNone = 0;
    struct Copy {
        const char* suffix;
        uint8_t card;
        bool anHourOld;
    };
    const struct {
        const char* what;
        uint8_t cardFile;  // kNone: no card file
        std::vector<Copy> copies;
        uint8_t after;  // kNone: still no card file
    } cases[] = {
        {"killed between the renames",
         kNone,
         {{"abcde~", kOld, false}, {"abcdef", kNew, false}},
         kOld},
        {"killed before the old card went", kNone, {{"abcde_", kOld, false}}, kOld},
        {"a finished save's leftover", kNew, {{"abcde~", kOld, false}}, kNew},
        {"two killed saves", kNone, {{"abcde~", kOlder, true}, {"uvwxy_", kOld, false}}, kOld},
        {"a killed creation", kNone, {{"abcdef", kNew, false}}, kNone},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.file("card.json");
        if (c.cardFile != kNone) {
            test::writeCard(path, cardNumbered(c.cardFile));
        }
        for (const Copy& copy : c.copies) {
            const std::string name = temporaryPrefixOf(path) + copy.suffix;
            test::writeCard(name, cardNumbered(copy.card));
            if (copy.anHourOld) {
                std::filesystem::last_write_time(
                    name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
            }
        }
        bool busy = false;
        std::string error;
        EXPECT_TRUE(CardLock::acquire(path, busy, error)) << c.what << ": " << error;
        const ReadResult read = readCardFile(path);
        if (c.after == kNone) {
            EXPECT_EQ(read.status, ReadStatus::Missing) << c.what;
            EXPECT_EQ(entriesOf(dir), std::vector<std::string>{}) << c.what;
        } else {
            ASSERT_EQ(read.status, ReadStatus::Ok) << c.what << ": " << read.error;
            EXPECT_EQ(*read.card, cardNumbered(c.after)) << c.what;
            EXPECT_EQ(entriesOf(dir), std::vector<std::string>{"card.json"}) << c.what;
        }
    }
}

// Names too long to extend go by a digest of the whole name: two cards whose names differ only
// at the start (the part a shortened name would drop) have a lock and copies of their own, and
// are held at once.
TEST(CardLock, LongNamesSharingTheirEndHaveALockEach) {
    TempDir dir;
    const std::string end(240, 'x');
    const std::string first = dir.file("a" + end + ".json");
    const std::string second = dir.file("b" + end + ".json");
    EXPECT_NE(lockPathOf(first), lockPathOf(second));
    EXPECT_NE(temporaryPrefixOf(first), temporaryPrefixOf(second));
    std::string error;
    ASSERT_TRUE(writeCardFile(first, cardNumbered(1), error)) << error;
    ASSERT_TRUE(writeCardFile(second, cardNumbered(2), error)) << error;
    bool busy = false;
    std::optional<CardLock> one = CardLock::acquire(first, busy, error);
    ASSERT_TRUE(one) << error;
    std::optional<CardLock> other = CardLock::acquire(second, busy, error);
    ASSERT_TRUE(other) << error;
    EXPECT_FALSE(busy);
    for (const auto& [path, lock, number] :
         {std::tuple{first, &*one, uint8_t{3}}, std::tuple{second, &*other, uint8_t{4}}}) {
        std::optional<std::string> expected = readCardFile(path).text;
        EXPECT_TRUE(lock->save(path, cardNumbered(number), expected, error)) << error;
    }
    EXPECT_EQ(*readCardFile(first).card, cardNumbered(3));
    EXPECT_EQ(*readCardFile(second).card, cardNumbered(4));
}

#ifdef _WIN32
// "\\.\C:\...\card.json" is the card file like any other spelling; a "\\?\" path with '/' or
// ".." is taken literally by the system, and the line says that about its name.
TEST(CardFile, DeviceNamespaceAndVerbatimSpellings) {
    TempDir dir;
    const std::string path = std::filesystem::absolute(dir.file("card.json")).string();
    test::writeCard(path, test::knownDesfire());
    const ReadResult device = readCardFile("\\\\.\\" + path);
    ASSERT_EQ(device.status, ReadStatus::Ok) << device.error;
    EXPECT_EQ(*device.card, test::knownDesfire());
    for (const std::string& literal : {"\\\\?\\" + dir.path().string() + "/card.json",
                                       "\\\\?\\" + dir.path().string() + "\\sub\\..\\card.json"}) {
        const ReadResult read = readCardFile(literal);
        EXPECT_EQ(read.status, ReadStatus::Unreadable) << literal;
        EXPECT_TRUE(read.error.starts_with("a path starting \\\\?\\ takes '/', '.' and '..'"))
            << literal << ": " << read.error;
    }
}

// A lock file another program holds without sharing its removal (a backup or sync client) stays
// when the holder lets go, without a wait, and the next holder takes it as it is.
TEST(CardLock, ALockFileAnotherProgramHoldsIsLeftWithoutAWait) {
    TempDir dir;
    const std::string path = dir.file("card.json");
    test::writeCard(path, test::knownDesfire());
    test::writeFile(lockPathOf(path), "");
    HANDLE other = CreateFileW(std::filesystem::path(lockPathOf(path)).wstring().c_str(),
                               GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    for (int run = 0; run < 2; ++run) {
        bool busy = false;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(CardLock::acquire(path, busy, error)) << run << ": " << error;
        const auto took = std::chrono::steady_clock::now() - start;
        // Each wait for a holder takes two seconds; the work alone, milliseconds.
        EXPECT_LT(took, std::chrono::milliseconds(1500)) << run;
        EXPECT_TRUE(std::filesystem::exists(lockPathOf(path))) << run;
    }
    CloseHandle(other);
}
#endif

}  // namespace
}  // namespace zendor::vcard
