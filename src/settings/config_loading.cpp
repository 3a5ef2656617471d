// Configuration file loading: every key that a schema row may ask for is found in one pass over
// the text, then the rows are decoded in their fixed order.
#include "settings/config_loading.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ini/line_reader.h"
#include "settings/value_decoding.h"

namespace zendor::settings {

namespace {

using SectionName = std::array<char, 8>;
using ini::ValueBuffer;

// The rows that template number n (0 for general and rckeys) may load: which of a lookup
// template's kinds applies is only known once its lkl is decoded, so all of them are asked for.
bool mayLoadRow(const SettingDef& row, int templateNumber) {
    if (templateNumber == 0) {
        return row.section == kSectionGeneral || row.section == kSectionRcKeys;
    }
    if (templateNumber == kMasterTemplate) {
        return row.section == kSectionMasterTemplate;
    }
    return row.section >= kSectionLookupList && row.section <= kKindWithoutRows;
}

// Every key loading may ask for, with its answer. The vectors are sized before the lookups
// point into them.
struct FoundKeys {
    std::vector<SectionName> sections;
    std::vector<ValueBuffer> values;
    std::vector<ini::KeyLookup> lookups;
};

const ini::KeyLookup* lookupOf(const FoundKeys& found, const char* section, const char* key) {
    for (const ini::KeyLookup& lookup : found.lookups) {
        if (std::strcmp(lookup.section, section) == 0 && std::strcmp(lookup.key, key) == 0) {
            return &lookup;
        }
    }
    return nullptr;
}

void findLoaderKeys(FoundKeys& found, std::string_view text) {
    const size_t most = kSettingsSchema.size() * (kMasterTemplate + 1);
    found.sections.resize(most);
    found.values.resize(most);
    found.lookups.reserve(most);
    for (int n = 0; n <= kMasterTemplate; ++n) {
        for (const SettingDef& row : kSettingsSchema) {
            const SectionName section = sectionName(row.section, n);
            if (!mayLoadRow(row, n) || lookupOf(found, section.data(), row.key) != nullptr) {
                continue;
            }
            const size_t i = found.lookups.size();
            found.sections[i] = section;
            found.lookups.push_back({found.sections[i].data(), row.key, found.values[i], -1});
        }
    }
    ini::findKeysInText(text, ini::kStreamPieceLength, found.lookups);
}

// The value text of key in section, or null when the text does not hold it.
const char* foundValue(const FoundKeys& found, const char* section, const char* key) {
    const ini::KeyLookup* lookup = lookupOf(found, section, key);
    return lookup != nullptr && lookup->line >= 0 ? lookup->value.data() : nullptr;
}

// Loads every schema row of sectionId from section "tpl<templateNumber>" (1 to 5) or, for
// template number 0, "general" or "rckeys". A refused value prints "Invalid entry '%s.%s'" after
// the lines of loadEntry.
void loadSection(SettingsTable& table, const FoundKeys& found, uint8_t sectionId,
                 int templateNumber) {
    const SectionName section = sectionName(sectionId, templateNumber);
    for (const SettingDef& row : kSettingsSchema) {
        if (row.section != sectionId) {
            continue;
        }
        const char* value = foundValue(found, section.data(), row.key);
        if (value == nullptr) {
            continue;
        }
        if (!loadEntry(table, row, slotOf(row, templateNumber), value)) {
            std::printf("Invalid entry '%s.%s'\n", section.data(), row.key);
        }
    }
}

}  // namespace

bool loadConfigFile(SettingsTable& table, const char* fileName) {
    if (fileName == nullptr) {
        return false;
    }
    return loadConfigText(table, ini::readFileText(fileName), fileName);
}

bool loadConfigText(SettingsTable& table, const ini::FileText& file, const char* fileName) {
    if (fileName == nullptr || !ini::usableAsText(file, fileName)) {
        return false;
    }
    if (file.status != ini::FileStatus::Read) {
        std::printf("Failed to read file '%s'\n", fileName);
        return false;
    }
    return loadSettings(table, file.bytes);
}

bool loadSettings(SettingsTable& table, std::string_view text) {
    FoundKeys found;
    findLoaderKeys(found, text);
    loadSection(table, found, kSectionGeneral, 0);
    loadSection(table, found, kSectionRcKeys, 0);
    for (int n = kFirstLookupTemplate; n <= kLastLookupTemplate; ++n) {
        loadSection(table, found, kSectionLookupList, n);
        const uint8_t kind = templateKind(table, n);
        if (kind != kKindNone) {
            loadSection(table, found, kind, n);
        }
    }
    loadSection(table, found, kSectionMasterTemplate, kMasterTemplate);
    return true;
}

bool loadEntry(SettingsTable& table, const SettingDef& row, uint8_t slot,
               std::string_view valueText) {
    SettingSlot& target = table.slots[slot];
    target.value.fill(0);
    uint8_t length = 0;
    const bool decoded = decodeValue(target.value, length, valueText, row.minLength, row.maxLength,
                                     row.emptyAllowed != 0);
    target.present = decoded ? 1 : 0;
    target.length = decoded ? length : 0;
    if (!decoded) {
        std::printf("Failed to decode value '%.*s'", static_cast<int>(valueText.size()),
                    valueText.data());
    }
    return decoded;
}

}  // namespace zendor::settings
