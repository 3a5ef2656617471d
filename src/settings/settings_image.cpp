// The settings image: building it from a table and parsing it back.
#include "settings/settings_image.h"

#include <algorithm>
#include <cstdio>

namespace zendor::settings {

namespace {

constexpr uint8_t kEndTag = 0x00;
constexpr uint8_t kClearMarkerTag = 0xFF;
// Entries must leave the last two bytes of the image untouched.
constexpr size_t kEntryArea = kImageSize - 2;

}  // namespace

bool buildSettingsImage(const SettingsTable* table, SettingsImage* image) {
    if (table == nullptr || image == nullptr) {
        return false;
    }
    image->fill(0);
    size_t position = 0;
    if (table->clearFlag != 0) {
        (*image)[position++] = kClearMarkerTag;
        (*image)[position++] = 0;
    }
    for (size_t tag = 0; tag < kSlotCount; ++tag) {
        const SettingSlot& slot = table->slots[tag];
        if (!slot.present) {
            continue;
        }
        if (slot.length > kMaxValueLength) {
            std::printf("Data length exceeded for tag %02X\n", static_cast<unsigned>(tag));
            return false;
        }
        if (position + 2 + slot.length > kEntryArea) {
            std::printf("Storage capacity exceeded after tag %02X\n", static_cast<unsigned>(tag));
            return false;
        }
        (*image)[position++] = static_cast<uint8_t>(tag);
        (*image)[position++] = slot.length;
        std::copy_n(slot.value.begin(), slot.length, image->begin() + position);
        position += slot.length;
    }
    return true;
}

bool parseSettingsImage(SettingsTable* table, const SettingsImage* image) {
    if (table == nullptr || image == nullptr) {
        return false;
    }
    *table = SettingsTable{};
    size_t position = 0;
    while (position < kImageSize) {
        const uint8_t tag = (*image)[position];
        if (tag == kEndTag) {
            return true;
        }
        if (position + 1 >= kImageSize) {
            std::printf("Bad length found\n");
            return false;
        }
        const uint8_t length = (*image)[position + 1];
        position += 2;
        if (tag == kClearMarkerTag && length == 0) {
            table->clearFlag = 1;
            continue;
        }
        if (length > kMaxValueLength || position + length > kEntryArea) {
            std::printf("Bad length found\n");
            return false;
        }
        SettingSlot& slot = table->slots[tag];
        if (slot.present) {
            std::printf("Duplicate tag %02X found\n", static_cast<unsigned>(tag));
            return false;
        }
        std::copy_n(image->begin() + position, length, slot.value.begin());
        slot.length = length;
        slot.present = 1;
        position += length;
    }
    return true;
}

}  // namespace zendor::settings
