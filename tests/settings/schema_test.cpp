// The schema's reach (which slots a configuration can fill) and the template kind selection.
#include "settings/schema.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/table_text.h"

namespace zendor::settings {
namespace {

// Every section id with the template numbers it is used with, as the loader walks them.
std::set<unsigned> fillableSlots() {
    std::set<unsigned> slots;
    for (const SettingDef& row : kSettingsSchema) {
        if (row.section == kSectionGeneral || row.section == kSectionRcKeys) {
            slots.insert(slotOf(row, 0));
        } else if (row.section == kSectionMasterTemplate) {
            slots.insert(slotOf(row, kMasterTemplate));
        } else {
            for (int n = kFirstLookupTemplate; n <= kLastLookupTemplate; ++n) {
                slots.insert(slotOf(row, n));
            }
        }
    }
    return slots;
}

TEST(Schema, FillsExactlyTheSlotsOfTheTemplatesOptionsKeysAndRc) {
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
    EXPECT_EQ(fillableSlots(), expected);
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
                table = zendor::testing::tableOf({{static_cast<uint8_t>(16 * n), c.lkl}});
            }
            // A neighbouring template's list must not count.
            table.slots[16 * (n % 4 + 1)] = zendor::testing::tableOf({{0x10, "41"}}).slots[0x10];
            EXPECT_EQ(templateKind(table, n), c.kind) << (c.lkl ? c.lkl : "absent") << " tpl" << n;
        }
    }
    EXPECT_EQ(templateKind(zendor::testing::tableOf({{0x00, "41"}, {0x50, "41"}}), 0), kKindNone);
    EXPECT_EQ(templateKind(zendor::testing::tableOf({{0x00, "41"}, {0x50, "41"}}), 5), kKindNone);
}

}  // namespace
}  // namespace zendor::settings
