#include "vcard/card_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace zendor::vcard
