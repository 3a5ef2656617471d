// Settings tables written and compared as short text, "TT=hex" per present slot.
#pragma once

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/settings_table.h"
#include "support/hex.h"

namespace zendor::test {

inline std::string hexOf(const uint8_t* bytes, size_t count) {
    return test::toHex(std::span(bytes, count), test::HexCase::Upper);
}

// "clear\n" when the flag is set, then "TT=value\n" per present slot; a slot whose bytes after
// its length are not zero is marked, since the image and the export rely on that.
inline std::string tableText(const settings::SettingsTable& table) {
    std::string text = table.clearFlag != 0 ? "clear\n" : "";
    for (size_t tag = 0; tag < settings::kSlotCount; ++tag) {
        const settings::SettingSlot& slot = table.slots[tag];
        if (!slot.present) {
            continue;
        }
        char head[4];
        std::snprintf(head, sizeof head, "%02zX=", tag);
        text += head + hexOf(slot.value.data(), slot.length);
        for (size_t i = slot.length; i < slot.value.size(); ++i) {
            if (slot.value[i] != 0) {
                text += " (bytes after the length are not zero)";
                break;
            }
        }
        text += "\n";
    }
    return text;
}

// A table holding the given slots, each as tag and upper-case hexadecimal value.
inline settings::SettingsTable tableOf(
    std::initializer_list<std::pair<uint8_t, std::string_view>> slots, bool clear = false) {
    settings::SettingsTable table;
    table.clearFlag = clear ? 1 : 0;
    for (const auto& [tag, hex] : slots) {
        settings::SettingSlot& slot = table.slots[tag];
        slot.present = 1;
        slot.length = static_cast<uint8_t>(hex.size() / 2);
        const std::vector<uint8_t> bytes = zendor::test::fromHex(hex);
        std::copy_n(bytes.begin(), std::min(bytes.size(), slot.value.size()), slot.value.begin());
    }
    return table;
}

}  // namespace zendor::test
