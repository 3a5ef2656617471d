// Loading the reader settings of a configuration file into a SettingsTable, driven by the schema.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "settings/schema.h"
#include "settings/settings_table.h"

namespace zendor::settings {

// Loads every reader setting of fileName into table, which the caller has cleared (its clear
// flag may be set). A bad value is reported, left absent, and loading goes on.
// Fails: null fileName (no message); "Failed to read file '%s'" when the file cannot be opened or
// read (a directory, a read error); the table is then untouched.
bool loadConfigFile(SettingsTable& table, const char* fileName);

// Loads general, rckeys, the lookup templates 1 to 4 (lkl first, then the rows of its kind) and
// the master-card template 5 from stream. Always succeeds.
bool loadSettings(SettingsTable& table, std::FILE* stream);

// Loads every schema row of sectionId from section "tpl<templateNumber>" (1 to 5) or, for
// template number 0, "general" or "rckeys". A refused value prints "Invalid entry '%s.%s'" after
// the lines of loadEntry. Always succeeds.
bool loadSection(SettingsTable& table, std::FILE* stream, uint8_t sectionId, int templateNumber);

// Decodes valueText into table slot `slot` by the bounds of row and sets or clears its present
// bit. Fails after the decoder's line with "Failed to decode value '%s'" (no line end: the
// caller completes the line).
bool loadEntry(SettingsTable& table, const SettingDef& row, uint8_t slot,
               std::string_view valueText);

// Looks key up in section of stream, scanning from its start with the INI line rules and pieces
// of 255 characters. When found, value (if not empty) receives the value text cut to
// value.size() - 1 characters. Not found also when section or key is empty or the stream cannot
// be set back to its start.
bool findStreamKey(std::FILE* stream, const char* section, const char* key, std::span<char> value);

}  // namespace zendor::settings
