// The schema's reach (which slots the loader fills from a configuration) and the template kind
// selection.
#include "settings/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/config_loading.h"
#include "settings/table_text.h"

namespace zendor::settings {
namespace {

// A configuration that gives every key a value within its row's bounds: general, rckeys, tpl5,
// and in tpl1 to tpl4 the lkl given and the rows of the kind it selects (kinds share key names
// with other bounds). The keys are the schema's, so a new row is in it at once.
std::string everyKey(const char* lkl, uint8_t kind) {
    std::map<std::string, std::map<std::string, std::string>> sections;
    for (int n = 0; n <= kMasterTemplate; ++n) {
        for (const SettingDef& row : kSettingsSchema) {
            const bool general = row.section == kSectionGeneral || row.section == kSectionRcKeys;
            const bool master = row.section == kSectionMasterTemplate;
            const bool lookup = row.section == kSectionLookupList || row.section == kind;
            if (n == 0 ? !general : n == kMasterTemplate ? !master : !lookup) {
                continue;
            }
            // A kind's rows repeat lkl after the list's own row: the first value stays.
            sections[sectionName(row.section, n).data()].try_emplace(
                row.key, row.section == kSectionLookupList
                             ? std::string(lkl)
                             : std::string(2 * std::max<size_t>(row.minLength, 1), '5'));
        }
    }
    std::string text;
    for (const auto& [section, keys] : sections) {
        text += "[" + section + "]\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\n";
        }
    }
    return text;
}

TEST(Schema, LoaderFillsExactlyTheSlotsOfTheTemplatesOptionsKeysAndRc) {
    std::set<unsigned> filled;
    // One lkl per template kind (see TemplateKind below): together they reach every row.
    const std::pair<const char*, uint8_t> kinds[] = {{"00", 0x11}, {"41", 0x12}, {"61", 0x13},
                                                     {"71", 0x14}, {"11", 0x15}, {"72", 0x16}};
    for (const auto& [lkl, kind] : kinds) {
        SettingsTable table;
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(loadSettings(table, everyKey(lkl, kind)));
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "lkl " << lkl;
        for (unsigned slot = 0; slot < kSlotCount; ++slot) {
            if (table.slots[slot].present) {
                filled.insert(slot);
            }
        }
    }
    std::set<unsigned> expected = {0x53, 0x55, 0x56, 0x6F, 0xFF};
    for (unsigned base : {0x10u, 0x20u, 0x30u, 0x40u}) {
        for (unsigned i = 0; i < 8; ++i) {
            expected.insert(base + i);
        }
    }
    for (unsigned tag = 0x60; tag <= 0x68; ++tag) {
        expected.insert(tag);
    }
    for (unsigned tag = 0x80; tag <= 0x9F; ++tag) {
        expected.insert(tag);
    }
    EXPECT_EQ(filled, expected);
}

TEST(Schema, SectionNames) {
    EXPECT_STREQ(sectionName(kSectionGeneral, 0).data(), "general");
    EXPECT_STREQ(sectionName(kSectionRcKeys, 0).data(), "rckeys");
    EXPECT_STREQ(sectionName(kSectionLookupList, 1).data(), "tpl1");
    EXPECT_STREQ(sectionName(0x15, 4).data(), "tpl4");
    EXPECT_STREQ(sectionName(kSectionMasterTemplate, kMasterTemplate).data(), "tpl5");
}

TEST(TemplateKind, EveryLookupListClass) {
    struct Case {
        const char* lkl;  // hexadecimal value of slot n x 16; null: absent
        uint8_t kind;
    };
    const Case cases[] = {
        {nullptr, kKindNone}, {"", kKindNone},   {"4100", kKindNone}, {"00", 0x11},
        {"0F", 0x11},         {"10", kKindNone}, {"11", 0x15},        {"13", 0x15},
        {"14", kKindNone},    {"40", kKindNone}, {"41", 0x12},        {"43", 0x12},
        {"44", kKindNone},    {"60", kKindNone}, {"61", 0x13},        {"62", kKindNone},
        {"70", kKindNone},    {"71", 0x14},      {"72", 0x16},        {"73", kKindNone},
        {"7F", kKindNone},    {"FF", kKindNone},
    };
    for (const Case& c : cases) {
        for (int n = kFirstLookupTemplate; n <= kLastLookupTemplate; ++n) {
            SettingsTable table;
            if (c.lkl != nullptr) {
                table = zendor::test::tableOf({{static_cast<uint8_t>(16 * n), c.lkl}});
            }
            // A neighbouring template's list must not count.
            table.slots[16 * (n % 4 + 1)] = zendor::test::tableOf({{0x10, "41"}}).slots[0x10];
            EXPECT_EQ(templateKind(table, n), c.kind) << (c.lkl ? c.lkl : "absent") << " tpl" << n;
        }
    }
    EXPECT_EQ(templateKind(zendor::test::tableOf({{0x00, "41"}, {0x50, "41"}}), 0), kKindNone);
    EXPECT_EQ(templateKind(zendor::test::tableOf({{0x00, "41"}, {0x50, "41"}}), 5), kKindNone);
}

// The length bounds every row must keep, written out here so that a bound moved in the schema
// shows: the bytes a reader is given depend on them. lkl is bounded by its list row; the rows
// each kind repeats it in read the same value.
struct RowBounds {
    uint8_t section;
    const char* key;
    int minLength;
    int maxLength;
    bool emptyAllowed;
};

std::vector<RowBounds> expectedBounds() {
    std::vector<RowBounds> rows = {
        {kSectionGeneral, "opt", 1, 1, false},
        {kSectionGeneral, "odl", 1, 1, false},
        {kSectionGeneral, "rdl", 1, 1, false},
        {kSectionGeneral, "cld", 1, 1, false},
        {kSectionGeneral, "cbz", 1, 1, false},
        {kSectionGeneral, "wgd", 1, 1, true},
        {kSectionGeneral, "dtc", 1, 1, true},
        {kSectionGeneral, "ser", 1, 1, true},
        {kSectionGeneral, "shd", 1, 1, true},
        {kSectionGeneral, "pin", 2, 2, true},
        {kSectionGeneral, "rc", 2, 2, false},
        {kSectionLookupList, "lkl", 1, 1, true},
        {0x11, "tof", 1, 1, true},
        {0x11, "pfx", 1, 24, true},
        {0x12, "tof", 1, 1, true},
        {0x12, "pfx", 1, 24, true},
        {0x12, "loc", 1, 1, true},
        {0x13, "tof", 1, 1, true},
        {0x13, "pfx", 1, 24, true},
        {0x13, "loc", 1, 2, true},
        {0x13, "aut", 0, 23, true},
        {0x14, "tof", 1, 1, true},
        {0x14, "pfx", 1, 24, true},
        {0x14, "loc", 8, 8, true},
        {0x14, "opt", 1, 1, true},
        {0x14, "aut", 0, 17, true},
        {0x15, "tof", 1, 1, true},
        {0x15, "pfx", 1, 24, true},
        {0x15, "loc", 1, 1, true},
        {0x15, "opt", 1, 1, true},
        {0x15, "apdu1", 1, 24, true},
        {0x15, "apdu2", 1, 24, true},
        {0x15, "apdu3", 1, 24, true},
        {kSectionMasterTemplate, "loc", 5, 5, true},
        {kSectionMasterTemplate, "aut", 17, 17, true},
        {kSectionMasterTemplate, "sgn", 17, 17, true},
    };
    for (const char* bank : {"a", "b"}) {
        for (int n = 0; n < 16; ++n) {
            static std::set<std::string> names;  // the keys outlive the table
            const char* key = names.insert(bank + std::to_string(n)).first->c_str();
            rows.push_back({kSectionRcKeys, key, 6, 6, false});
        }
    }
    return rows;
}

// The lkl value that selects each kind in [tpl1], and the template number of each section.
std::string lklOf(uint8_t section) {
    const std::map<uint8_t, std::string> selectors = {
        {0x11, "00"}, {0x12, "41"}, {0x13, "61"}, {0x14, "71"}, {0x15, "12"}};
    const auto found = selectors.find(section);
    return found == selectors.end() ? "" : "lkl=" + found->second + "\n";
}

int templateNumberOf(uint8_t section) {
    return section == kSectionGeneral || section == kSectionRcKeys ? 0
           : section == kSectionMasterTemplate                     ? kMasterTemplate
                                                                   : kFirstLookupTemplate;
}

// Shortest - 1, shortest, longest, longest + 1 and an empty value, for every row: taken with
// exactly its bytes within the bounds, refused with its size line outside them.
TEST(Schema, EveryRowTakesTheLengthsOfItsBoundsAndNoOther) {
    const std::vector<RowBounds> bounds = expectedBounds();
    for (const SettingDef& row : kSettingsSchema) {
        const auto expected = std::find_if(bounds.begin(), bounds.end(), [&](const RowBounds& b) {
            return b.section == row.section && std::string(b.key) == row.key;
        });
        if (std::string(row.key) == "lkl" && row.section != kSectionLookupList) {
            continue;
        }
        ASSERT_NE(expected, bounds.end()) << "a row without its bounds here: " << row.key;
        const int templateNumber = templateNumberOf(row.section);
        const std::string head = "[" +
                                 std::string(sectionName(row.section, templateNumber).data()) +
                                 "]\n" + lklOf(row.section) + row.key + "=";
        char slot[4];
        std::snprintf(slot, sizeof slot, "%02X", slotOf(row, templateNumber));

        std::vector<int> lengths = {expected->minLength - 1, expected->minLength,
                                    expected->maxLength, expected->maxLength + 1};
        for (int length : lengths) {
            if (length < 0) {
                continue;
            }
            // "." is a value of no bytes, not an empty one (':' would be taken for the '=').
            const std::string bytes = std::string(2 * static_cast<size_t>(length), '5');
            const std::string value = length == 0 ? "." : bytes;
            SettingsTable table{};
            ::testing::internal::CaptureStdout();
            loadSettings(table, head + value + "\n");
            const std::string output = ::testing::internal::GetCapturedStdout();
            const bool within = length >= expected->minLength && length <= expected->maxLength;
            const std::string line = std::string(slot) + "=" + bytes + "\n";
            const std::string where =
                std::string(row.key) + " of " + head + ", " + std::to_string(length) + " bytes";
            EXPECT_EQ(test::tableText(table).find(line) != std::string::npos, within) << where;
            EXPECT_EQ(output.find(length < expected->minLength ? " : size < " : " : size > ") !=
                          std::string::npos,
                      !within)
                << where << ": " << output;
        }

        SettingsTable table{};
        ::testing::internal::CaptureStdout();
        loadSettings(table, head + "\n");
        const std::string output = ::testing::internal::GetCapturedStdout();
        const std::string present = std::string(slot) + "=\n";
        EXPECT_EQ(test::tableText(table).find(present) != std::string::npos, expected->emptyAllowed)
            << row.key << " of " << head << " left empty";
        EXPECT_EQ(output.find("Mandatory value left empty") != std::string::npos,
                  !expected->emptyAllowed)
            << row.key << " of " << head << " left empty: " << output;
    }
}

}  // namespace
}  // namespace zendor::settings
