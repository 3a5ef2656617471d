// Exporting a SettingsTable as commented INI text that the configuration loader reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "settings/settings_table.h"

namespace zendor::settings {

// Writes the INI text of table to outputFile (created or emptied first) or, when it is null, to
// standard output. Fails: "Failed to create file '%s'" when the file cannot be opened (nothing
// written); "Failed to write file '%s'" when writing or closing the file fails; "Failed to write
// the settings on standard output" when standard output cannot take them.
bool exportSettings(const SettingsTable& table, const char* outputFile);

// general; rckeys when one of its keys is present; tpl1 to tpl4 ("; Template is absent" for kind
// none, the lkl line alone for kind 0x16); tpl5 with its present keys only, when it has one.
// Always succeeds.
bool writeSettingsText(const SettingsTable& table, std::FILE* stream);

// "[name]", one line per schema row of sectionId (absent rows as ";key= is absent ; ..." when
// listAbsent is set), then an empty line. Template number 0 for general and rckeys, else 1 to 5.
// Always succeeds.
bool writeSection(const SettingsTable& table, std::FILE* stream, uint8_t sectionId,
                  int templateNumber, bool listAbsent);

// Writes the first length bytes of value as upper-case hexadecimal digits into text (emptied
// first). Fails with "Unpossible error" for a length above 24, or one that value or text cannot
// hold.
bool formatHexValue(std::span<char> text, std::span<const uint8_t> value, size_t length);

// True when a row of sectionId has its slot (for templateNumber) present.
bool sectionHasValues(const SettingsTable& table, uint8_t sectionId, int templateNumber);

}  // namespace zendor::settings
