// Loading the reader settings of a configuration file into a SettingsTable, driven by the schema.
#pragma once

#include <cstdint>
#include <string_view>

#include "ini/file_text.h"
#include "settings/schema.h"
#include "settings/settings_table.h"

namespace zendor::settings {

// Reads fileName whole (ini::readFileText) and loads it with loadConfigText.
bool loadConfigFile(SettingsTable& table, const char* fileName);

// Loads every reader setting of a configuration file already read into table, which the caller
// has cleared (its clear flag may be set). A bad value is reported, left absent, and loading
// goes on. Fails, the table untouched: null fileName (no message); "Failed to read file '%s'"
// when the file could not be opened or read (a directory, a read error); the line of
// ini::usableAsText when it is too large or not text.
bool loadConfigText(SettingsTable& table, const ini::FileText& file, const char* fileName);

// Loads general, rckeys, the lookup templates 1 to 4 (lkl first, then the rows of its kind) and
// the master-card template 5 from text, every key found in one pass over it with the INI line
// rules and pieces of 255 characters. Always succeeds.
bool loadSettings(SettingsTable& table, std::string_view text);

// Decodes valueText into table slot `slot` by the bounds of row and sets or clears its present
// bit. Fails after the decoder's line with "Failed to decode value '%s'" (no line end: the
// caller completes the line).
bool loadEntry(SettingsTable& table, const SettingDef& row, uint8_t slot,
               std::string_view valueText);

}  // namespace zendor::settings
