// The 512-byte settings image: exact bytes built, the parser's rules, and round trips.
#include "settings/settings_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/table_text.h"

namespace zendor::settings {
namespace {

using zendor::test::hexOf;
using zendor::test::tableOf;
using zendor::test::tableText;

// The whole image in hexadecimal; expectations give the entries and pad them with zeros.
std::string imageHex(const SettingsImage& image) {
    return hexOf(image.data(), image.size());
}

std::string padded(const std::string& entries) {
    return entries + std::string(2 * kImageSize - entries.size(), '0');
}

SettingsImage imageOf(const std::string& entries) {
    SettingsImage image{};
    const std::vector<uint8_t> bytes = test::fromHex(entries);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return image;
}

// A table of `count` entries of 24 bytes (tags from 0x20 up) and one last entry of `lastLength`
// bytes with tag 0xF0; the entries take 26 x count + 2 + lastLength bytes.
SettingsTable fullTable(size_t count, uint8_t lastLength) {
    SettingsTable table;
    for (size_t i = 0; i < count; ++i) {
        SettingSlot& slot = table.slots[0x20 + i];
        slot.present = 1;
        slot.length = 24;
        slot.value.fill(static_cast<uint8_t>(i + 1));
    }
    table.slots[0xF0].present = 1;
    table.slots[0xF0].length = lastLength;
    std::fill_n(table.slots[0xF0].value.begin(), lastLength, uint8_t{0xAB});
    return table;
}

struct BuildCase {
    const char* name;
    SettingsTable table;
    std::string image;  // the entries; the rest is zero
};

TEST(BuildSettingsImage, ExactBytes) {
    const BuildCase cases[] = {
        {"worked example", tableOf({{0x60, "01"}, {0x61, "05"}, {0xFF, "1234"}}, true),
         "FF00600101610105FF021234"},
        {"empty table", tableOf({}), ""},
        {"clear flag only", tableOf({}, true), "FF00"},
        {"length 0 entries", tableOf({{0x10, ""}, {0x65, ""}}), "10006500"},
        {"ascending, rc last", tableOf({{0xFF, "0001"}, {0x9F, "0102030405FF"}, {0x13, "04"}}),
         "1301049F060102030405FFFF020001"},
    };
    for (const BuildCase& c : cases) {
        SettingsImage image;
        image.fill(0xEE);
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(buildSettingsImage(&c.table, &image)) << c.name;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << c.name;
        EXPECT_EQ(imageHex(image), padded(c.image)) << c.name;

        SettingsTable parsed = tableOf({{0x70, "01"}}, false);
        EXPECT_TRUE(parseSettingsImage(&parsed, &image)) << c.name;
        EXPECT_EQ(tableText(parsed), tableText(c.table)) << c.name;
    }
}

// Entries stay clear of bytes 510 and 511, which the parser refuses.
TEST(BuildSettingsImage, LastEntryMayEndAtByte509) {
    const SettingsTable fits = fullTable(19, 14);  // 19 x 26 + 16 = 510 bytes: ends at 509
    SettingsImage image;
    ASSERT_TRUE(buildSettingsImage(&fits, &image));
    EXPECT_EQ(image[507], 0xAB);
    EXPECT_EQ(image[509], 0xAB);
    EXPECT_EQ(image[510], 0x00);
    SettingsTable parsed;
    ASSERT_TRUE(parseSettingsImage(&parsed, &image));
    EXPECT_EQ(tableText(parsed), tableText(fits));

    struct Refused {
        SettingsTable table;
        const char* output;
    };
    SettingsTable withClear = fits;
    withClear.clearFlag = 1;
    const Refused refused[] = {
        {fullTable(19, 15), "Storage capacity exceeded after tag F0\n"},  // would use byte 510
        {fullTable(19, 16), "Storage capacity exceeded after tag F0\n"},  // would use byte 511
        {withClear, "Storage capacity exceeded after tag F0\n"},
        {fullTable(20, 0), "Storage capacity exceeded after tag 33\n"},
        {tableOf({{0x61, std::string(50, '0')}}), "Data length exceeded for tag 61\n"},
    };
    for (const Refused& r : refused) {
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(buildSettingsImage(&r.table, &image));
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), r.output);
    }
    EXPECT_FALSE(buildSettingsImage(nullptr, &image));
    EXPECT_FALSE(buildSettingsImage(&fits, nullptr));
}

// Four full APDU templates and the master-card template take 509 bytes; rckeys a0 is first out.
TEST(BuildSettingsImage, FullConfigurationNamesTheFirstEntryThatDoesNotFit) {
    SettingsTable table;
    const std::string full(48, 'A');
    for (uint8_t base : {0x10, 0x20, 0x30, 0x40}) {
        const SettingsTable one = tableOf({{0, "12"},
                                           {1, "01"},
                                           {2, full},
                                           {3, "02"},
                                           {4, "03"},
                                           {5, full},
                                           {6, full},
                                           {7, full}});
        for (uint8_t i = 0; i < 8; ++i) {
            table.slots[base + i] = one.slots[i];
        }
    }
    const SettingsTable master = tableOf(
        {{0x53, std::string(10, '5')}, {0x55, std::string(34, '5')}, {0x56, std::string(34, '6')}});
    for (uint8_t tag : {0x53, 0x55, 0x56}) {
        table.slots[tag] = master.slots[tag];
    }
    SettingsImage image;
    ASSERT_TRUE(buildSettingsImage(&table, &image));
    for (uint8_t tag = 0x80; tag <= 0x9F; ++tag) {
        table.slots[tag] = tableOf({{0x80, "010203040506"}}).slots[0x80];
    }
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(buildSettingsImage(&table, &image));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Storage capacity exceeded after tag 80\n");
}

TEST(ParseSettingsImage, EntryListRules) {
    struct Case {
        const char* name;
        std::string image;  // hexadecimal of the first bytes; the rest is zero
        bool parsed;
        std::string table;  // tableText of the result when parsed
        std::string output;
    };
    const std::string markers254 = [] {
        std::string text;
        for (int i = 0; i < 254; ++i) {
            text += "FF00";
        }
        return text;
    }();
    const Case cases[] = {
        {"markers anywhere, repeated", "FF00610105FF00FF00", true, "clear\n61=05\n", ""},
        {"end byte stops the list", "61010500620107", true, "61=05\n", ""},
        {"unknown tags", "0101117000", true, "01=11\n70=\n", ""},
        {"duplicate tag", "610105620106610107", false, "", "Duplicate tag 61 found\n"},
        {"length 25", "6119" + std::string(50, '1'), false, "", "Bad length found\n"},
        {"entry reaching byte 510", markers254 + "6101", false, "", "Bad length found\n"},
        {"entry ending at 509", markers254.substr(4) + "6102AABB", true, "clear\n61=AABB\n", ""},
        {"tag in the last byte", "610105" + markers254 + "62", false, "", "Bad length found\n"},
        {"markers to the last byte", markers254 + "FF00FF00", true, "clear\n", ""},
    };
    for (const Case& c : cases) {
        const SettingsImage image = imageOf(c.image);
        SettingsTable table = tableOf({{0x70, "01"}}, true);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(parseSettingsImage(&table, &image), c.parsed) << c.name;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.output) << c.name;
        if (c.parsed) {
            EXPECT_EQ(tableText(table), c.table) << c.name;
        }
    }
    SettingsTable table;
    const SettingsImage image{};
    EXPECT_FALSE(parseSettingsImage(nullptr, &image));
    EXPECT_FALSE(parseSettingsImage(&table, nullptr));
}

}  // namespace
}  // namespace zendor::settings
