// Configuration file loading: every schema key is looked up in the open file and decoded.
#include "settings/config_loading.h"

#include <array>

#include "ini/line_reader.h"
#include "settings/value_decoding.h"

namespace zendor::settings {

namespace {

constexpr size_t kValueBufferSize = 128;

// fopen succeeds on a directory and a file may fail to read; reading it through once before
// loading tells such a file apart from a readable one, empty or not.
bool readsThrough(std::FILE* stream) {
    while (std::fgetc(stream) != EOF) {
    }
    return std::ferror(stream) == 0;
}

}  // namespace

bool loadConfigFile(SettingsTable& table, const char* fileName) {
    if (fileName == nullptr) {
        return false;
    }
    std::FILE* stream = std::fopen(fileName, "r");
    if (stream == nullptr || !readsThrough(stream)) {
        if (stream != nullptr) {
            std::fclose(stream);
        }
        std::printf("Failed to read file '%s'\n", fileName);
        return false;
    }
    const bool loaded = loadSettings(table, stream);
    std::fclose(stream);
    return loaded;
}

bool loadSettings(SettingsTable& table, std::FILE* stream) {
    loadSection(table, stream, kSectionGeneral, 0);
    loadSection(table, stream, kSectionRcKeys, 0);
    for (int n = kFirstLookupTemplate; n <= kLastLookupTemplate; ++n) {
        loadSection(table, stream, kSectionLookupList, n);
        const uint8_t kind = templateKind(table, n);
        if (kind != kKindNone) {
            loadSection(table, stream, kind, n);
        }
    }
    loadSection(table, stream, kSectionMasterTemplate, kMasterTemplate);
    return true;
}

bool loadSection(SettingsTable& table, std::FILE* stream, uint8_t sectionId, int templateNumber) {
    const std::array<char, 8> section = sectionName(sectionId, templateNumber);
    for (const SettingDef& row : kSettingsSchema) {
        if (row.section != sectionId) {
            continue;
        }
        std::array<char, kValueBufferSize> value{};
        if (!findStreamKey(stream, section.data(), row.key, value)) {
            continue;
        }
        if (!loadEntry(table, row, slotOf(row, templateNumber), value.data())) {
            std::printf("Invalid entry '%s.%s'\n", section.data(), row.key);
        }
    }
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

bool findStreamKey(std::FILE* stream, const char* section, const char* key, std::span<char> value) {
    return ini::findKeyInStream(stream, section, key, ini::kStreamPieceLength, value) >= 0;
}

}  // namespace zendor::settings
