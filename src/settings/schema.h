// The schema of every reader setting: INI section and key, tag, length bounds and description.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "settings/settings_table.h"

namespace zendor::settings {

struct SettingDef {
    uint8_t section;       // section id, see below
    const char* key;       // INI key, matched case-sensitively
    uint8_t tag;           // base tag; template settings add 16 x template number
    uint8_t minLength;     // bytes
    uint8_t maxLength;     // bytes, 24 at most
    int32_t emptyAllowed;  // non-zero: an empty value gives a present setting of length 0
    const char* description;
};

// Section ids.
constexpr uint8_t kSectionGeneral = 0x00;         // [general], template number 0
constexpr uint8_t kSectionRcKeys = 0x01;          // [rckeys], template number 0
constexpr uint8_t kSectionMasterTemplate = 0x02;  // [tpl5] only
constexpr uint8_t kSectionLookupList = 0x10;      // `lkl` of [tpl1] to [tpl4], read first
// Template kinds are the section ids 0x11 to 0x16 whose rows a lookup template holds.
constexpr uint8_t kKindNone = 0x00;
constexpr uint8_t kKindWithoutRows = 0x16;  // a real kind: the template holds its lkl alone

constexpr int kFirstLookupTemplate = 1;
constexpr int kLastLookupTemplate = 4;
constexpr int kMasterTemplate = 5;

constexpr size_t kSchemaRowCount = 73;

// The 73 rows in their fixed order: loading and export walk them first to last.
extern const std::array<SettingDef, kSchemaRowCount> kSettingsSchema;

// "tpl1" to "tpl5" for template numbers 1 to 5, else "general" or "rckeys" by section id.
std::array<char, 8> sectionName(uint8_t sectionId, int templateNumber);

// The row's base tag plus 16 x template number (1 to 5), reduced to 8 bits.
uint8_t slotOf(const SettingDef& row, int templateNumber);

// The section id (0x11 to 0x16) whose rows lookup template 1 to 4 holds, chosen by its `lkl`
// value; kKindNone when `lkl` is absent, not one byte long, or selects no kind.
uint8_t templateKind(const SettingsTable& table, int templateNumber);

}  // namespace zendor::settings
