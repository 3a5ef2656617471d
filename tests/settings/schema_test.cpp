// The schema's reach (which slots the loader fills from a configuration) and the template kind
// selection.
#include "settings/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>

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

}  // namespace
}  // namespace zendor::settings
