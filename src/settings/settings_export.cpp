// The settings export: every schema row of a section as a key line with its description.
#include "settings/settings_export.h"

#include <array>

#include "ini/line_reader.h"
#include "platform/file_stream.h"
#include "settings/schema.h"
#include "text/hex.h"

namespace zendor::settings {

namespace {

void writeRow(const SettingsTable& table, std::FILE* stream, const SettingDef& row,
              int templateNumber, bool listAbsent) {
    const SettingSlot& slot = table.slots[slotOf(row, templateNumber)];
    if (!slot.present) {
        if (listAbsent) {
            std::fprintf(stream, ";%s= is absent ; %s\n", row.key, row.description);
        }
        return;
    }
    if (slot.length == 0) {
        std::fprintf(stream, "%s= ; %s\n", row.key, row.description);
        return;
    }
    ini::ValueBuffer text{};
    if (formatHexValue(text, slot.value, slot.length)) {
        std::fprintf(stream, "%s=%s ; %s\n", row.key, text.data(), row.description);
    } else {
        std::fprintf(stream, ";%s=%s is invalid ; %s\n", row.key, text.data(), row.description);
    }
}

}  // namespace

bool exportSettings(const SettingsTable& table, const char* outputFile) {
    if (outputFile == nullptr) {
        writeSettingsText(table, stdout);
        // Without -o the console is where the settings go; when it cannot take them (a full disk
        // behind a redirection), they have not been shown.
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            std::printf("Failed to write the settings on standard output\n");
            return false;
        }
        return true;
    }
    std::FILE* stream = platform::openStream(outputFile, "w");
    if (stream == nullptr) {
        std::printf("Failed to create file '%s'\n", outputFile);
        return false;
    }
    writeSettingsText(table, stream);
    // A full disk must not pass for a saved export.
    const bool writeFailed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || writeFailed) {
        std::printf("Failed to write file '%s'\n", outputFile);
        return false;
    }
    return true;
}

bool writeSettingsText(const SettingsTable& table, std::FILE* stream) {
    writeSection(table, stream, kSectionGeneral, 0, true);
    if (sectionHasValues(table, kSectionRcKeys, 0)) {
        writeSection(table, stream, kSectionRcKeys, 0, true);
    }
    for (int n = kFirstLookupTemplate; n <= kLastLookupTemplate; ++n) {
        const uint8_t kind = templateKind(table, n);
        if (kind == kKindNone) {
            std::fprintf(stream, "[tpl%d]\n; Template is absent\n\n", n);
        } else {
            // Kind 0x16 has no rows: its section is the head and the closing blank line.
            writeSection(table, stream, kind, n, true);
        }
    }
    if (sectionHasValues(table, kSectionMasterTemplate, kMasterTemplate)) {
        writeSection(table, stream, kSectionMasterTemplate, kMasterTemplate, false);
    }
    return true;
}

bool writeSection(const SettingsTable& table, std::FILE* stream, uint8_t sectionId,
                  int templateNumber, bool listAbsent) {
    std::fprintf(stream, "[%s]\n", sectionName(sectionId, templateNumber).data());
    for (const SettingDef& row : kSettingsSchema) {
        if (row.section == sectionId) {
            writeRow(table, stream, row, templateNumber, listAbsent);
        }
    }
    std::fprintf(stream, "\n");
    return true;
}

bool formatHexValue(std::span<char> text, std::span<const uint8_t> value, size_t length) {
    if (!text.empty()) {
        text[0] = '\0';
    }
    if (length > kMaxValueLength || length > value.size() || text.size() < 2 * length + 1) {
        std::printf("Unpossible error\n");
        return false;
    }
    zendor::text::writeHex(value.first(length), text);
    text[2 * length] = '\0';
    return true;
}

bool sectionHasValues(const SettingsTable& table, uint8_t sectionId, int templateNumber) {
    for (const SettingDef& row : kSettingsSchema) {
        if (row.section == sectionId && table.slots[slotOf(row, templateNumber)].present) {
            return true;
        }
    }
    return false;
}

}  // namespace zendor::settings
