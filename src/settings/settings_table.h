// The in-memory settings of a reader, one slot per tag, and their 512-byte tag-length-value image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zendor::settings {

constexpr size_t kMaxValueLength = 24;
constexpr size_t kSlotCount = 256;
constexpr size_t kImageSize = 512;

struct SettingSlot {
    uint32_t present : 1 = 0;                      // the other 31 bits of the word stay zero
    uint8_t length = 0;                            // 0 to 24; the top bit is always zero
    std::array<uint8_t, kMaxValueLength> value{};  // bytes after length are zero
};

struct SettingsTable {
    int32_t clearFlag = 0;  // non-zero: the image carries the clear marker FF 00
    std::array<SettingSlot, kSlotCount> slots{};
};

using SettingsImage = std::array<uint8_t, kImageSize>;

}  // namespace zendor::settings
