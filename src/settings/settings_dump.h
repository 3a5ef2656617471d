// The settings dump both workflows print: one line per present slot, "TT=" then the value bytes.
#pragma once

#include "settings/settings_table.h"

namespace zendor::settings {

// Prints "%02X=" with the tag, "%02X" per value byte and "\n" for every present slot in ascending
// tag order on standard output. The clear flag is not shown. Cannot fail.
void printSettingsDump(const SettingsTable& table);

}  // namespace zendor::settings
