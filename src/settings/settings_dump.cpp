// The settings dump.
#include "settings/settings_dump.h"

#include <algorithm>
#include <cstdio>

namespace zendor::settings {

void printSettingsDump(const SettingsTable& table) {
    for (size_t tag = 0; tag < kSlotCount; ++tag) {
        const SettingSlot& slot = table.slots[tag];
        if (!slot.present) {
            continue;
        }
        std::printf("%02X=", static_cast<unsigned>(tag));
        // A corrupt length must not read past the value bytes.
        const size_t length = std::min<size_t>(slot.length, kMaxValueLength);
        for (size_t i = 0; i < length; ++i) {
            std::printf("%02X", slot.value[i]);
        }
        std::printf("\n");
    }
}

}  // namespace zendor::settings
