// The settings schema table and the rules that derive section names, slots and template kinds.
#include "settings/schema.h"

#include <cstdio>

namespace zendor::settings {

namespace {

constexpr SettingDef general(const char* key, uint8_t tag, uint8_t length, bool emptyAllowed,
                             const char* description) {
    return {kSectionGeneral, key, tag, length, length, emptyAllowed ? 1 : 0, description};
}

constexpr SettingDef rcKey(const char* key, uint8_t tag, const char* description) {
    return {kSectionRcKeys, key, tag, 6, 6, 0, description};
}

// Every template row accepts an empty value.
constexpr SettingDef tpl(uint8_t section, const char* key, uint8_t tag, uint8_t minLength,
                         uint8_t maxLength, const char* description) {
    return {section, key, tag, minLength, maxLength, 1, description};
}

}  // namespace

constexpr std::array<SettingDef, kSchemaRowCount> kSettingsSchema = {{
    general("opt", 0x60, 1, false, "Main options bits"),
    general("odl", 0x61, 1, false, "Delay between 2 outputs (* 100 ms)"),
    general("rdl", 0x62, 1, false, "Delay between 2 identical outputs (* 100 ms)"),
    general("cld", 0x63, 1, false, "LEDs control bits"),
    general("cbz", 0x64, 1, false, "Buzzer control bits"),
    general("wgd", 0x65, 1, true, "Wiegand mode bits"),
    general("dtc", 0x66, 1, true, "DataClock mode bits"),
    general("ser", 0x67, 1, true, "Serial mode bits"),
    general("shd", 0x68, 1, true, "RS-485 mode bits"),
    general("pin", 0x6F, 2, true, "Pin code"),
    general("rc", 0xFF, 2, false, "4-byte value in RC's EEPROM"),

    rcKey("a0", 0x80, "MfRC E2 key A0"),
    rcKey("a1", 0x81, "MfRC E2 key A1"),
    rcKey("a2", 0x82, "MfRC E2 key A2"),
    rcKey("a3", 0x83, "MfRC E2 key A3"),
    rcKey("a4", 0x84, "MfRC E2 key A4"),
    rcKey("a5", 0x85, "MfRC E2 key A5"),
    rcKey("a6", 0x86, "MfRC E2 key A6"),
    rcKey("a7", 0x87, "MfRC E2 key A7"),
    rcKey("a8", 0x88, "MfRC E2 key A8"),
    rcKey("a9", 0x89, "MfRC E2 key A9"),
    rcKey("a10", 0x8A, "MfRC E2 key A10"),
    rcKey("a11", 0x8B, "MfRC E2 key A11"),
    rcKey("a12", 0x8C, "MfRC E2 key A12"),
    rcKey("a13", 0x8D, "MfRC E2 key A13"),
    rcKey("a14", 0x8E, "MfRC E2 key A14"),
    rcKey("a15", 0x8F, "MfRC E2 key A15"),
    rcKey("b0", 0x90, "MfRC E2 key B0"),
    rcKey("b1", 0x91, "MfRC E2 key B1"),
    rcKey("b2", 0x92, "MfRC E2 key B2"),
    rcKey("b3", 0x93, "MfRC E2 key B3"),
    rcKey("b4", 0x94, "MfRC E2 key B4"),
    rcKey("b5", 0x95, "MfRC E2 key B5"),
    rcKey("b6", 0x96, "MfRC E2 key B6"),
    rcKey("b7", 0x97, "MfRC E2 key B7"),
    rcKey("b8", 0x98, "MfRC E2 key B8"),
    rcKey("b9", 0x99, "MfRC E2 key B9"),
    rcKey("b10", 0x9A, "MfRC E2 key B10"),
    rcKey("b11", 0x9B, "MfRC E2 key B11"),
    rcKey("b12", 0x9C, "MfRC E2 key B12"),
    rcKey("b13", 0x9D, "MfRC E2 key B13"),
    rcKey("b14", 0x9E, "MfRC E2 key B14"),
    rcKey("b15", 0x9F, "MfRC E2 key B15"),

    tpl(kSectionLookupList, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x11, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x11, "tof", 0x01, 1, 1, "Output format bits"),
    tpl(0x11, "pfx", 0x02, 1, 24, "Output prefix string"),
    tpl(0x12, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x12, "tof", 0x01, 1, 1, "Output format bits"),
    tpl(0x12, "pfx", 0x02, 1, 24, "Output prefix string"),
    tpl(0x12, "loc", 0x03, 1, 1, "Location of data"),
    tpl(0x13, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x13, "tof", 0x01, 1, 1, "Output format bits"),
    tpl(0x13, "pfx", 0x02, 1, 24, "Output prefix string"),
    tpl(0x13, "loc", 0x03, 1, 2, "Location of data (block number or AID)"),
    tpl(0x13, "aut", 0x05, 0, 23, "Authentication key & options"),
    tpl(0x14, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x14, "tof", 0x01, 1, 1, "Output format bits"),
    tpl(0x14, "pfx", 0x02, 1, 24, "Output prefix string"),
    tpl(0x14, "loc", 0x03, 8, 8, "Location of data"),
    tpl(0x14, "opt", 0x04, 1, 1, "T=CL options"),
    tpl(0x14, "aut", 0x05, 0, 17, "Authentication key & options"),
    tpl(0x15, "lkl", 0x00, 1, 1, "Card lookup list"),
    tpl(0x15, "tof", 0x01, 1, 1, "Output format bits"),
    tpl(0x15, "pfx", 0x02, 1, 24, "Output prefix string"),
    tpl(0x15, "loc", 0x03, 1, 1, "Offset of data in APDU 3"),
    tpl(0x15, "opt", 0x04, 1, 1, "T=CL options"),
    tpl(0x15, "apdu1", 0x05, 1, 24, "APDU 1"),
    tpl(0x15, "apdu2", 0x06, 1, 24, "APDU 2"),
    tpl(0x15, "apdu3", 0x07, 1, 24, "APDU 3"),

    tpl(kSectionMasterTemplate, "loc", 0x03, 5, 5, "Location of data in master card"),
    tpl(kSectionMasterTemplate, "aut", 0x05, 17, 17, "Authentication key & options"),
    tpl(kSectionMasterTemplate, "sgn", 0x06, 17, 17, "Signature key & options"),
}};

namespace {

constexpr bool everyRowFitsASlot() {
    for (const SettingDef& row : kSettingsSchema) {
        if (row.key == nullptr || row.minLength > row.maxLength ||
            row.maxLength > kMaxValueLength) {
            return false;
        }
    }
    return true;
}
static_assert(everyRowFitsASlot());

}  // namespace

std::array<char, 8> sectionName(uint8_t sectionId, int templateNumber) {
    std::array<char, 8> name{};
    if (templateNumber >= kFirstLookupTemplate && templateNumber <= kMasterTemplate) {
        std::snprintf(name.data(), name.size(), "tpl%d", templateNumber);
    } else {
        std::snprintf(name.data(), name.size(), "%s",
                      sectionId == kSectionRcKeys ? "rckeys" : "general");
    }
    return name;
}

uint8_t slotOf(const SettingDef& row, int templateNumber) {
    if (templateNumber < kFirstLookupTemplate || templateNumber > kMasterTemplate) {
        return row.tag;
    }
    return static_cast<uint8_t>(row.tag + 16 * templateNumber);
}

uint8_t templateKind(const SettingsTable& table, int templateNumber) {
    if (templateNumber < kFirstLookupTemplate || templateNumber > kLastLookupTemplate) {
        return kKindNone;
    }
    const SettingSlot& lkl = table.slots[static_cast<uint8_t>(templateNumber * 16)];
    if (!lkl.present || lkl.length != 1) {
        return kKindNone;
    }
    const uint8_t v = lkl.value[0];
    if (v <= 0x0F) {
        return 0x11;
    }
    switch (v) {
        case 0x11:
        case 0x12:
        case 0x13:
            return 0x15;
        case 0x41:
        case 0x42:
        case 0x43:
            return 0x12;
        case 0x61:
            return 0x13;
        case 0x71:
            return 0x14;
        case 0x72:
            return 0x16;
        default:
            return kKindNone;
    }
}

}  // namespace zendor::settings
