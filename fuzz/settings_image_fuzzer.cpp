// A 512-byte settings image as read from a card (shorter inputs are padded with zeros). An image
// that parses builds again, and the rebuilt image parses to the same table; it equals the
// original exactly when the original was in the form the builder writes.
#include <algorithm>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "settings/settings_image.h"

namespace zendor::fuzz {
namespace {

using settings::kImageSize;
using settings::SettingsImage;
using settings::SettingsTable;

bool sameTable(const SettingsTable& a, const SettingsTable& b) {
    if ((a.clearFlag != 0) != (b.clearFlag != 0)) {
        return false;
    }
    for (size_t tag = 0; tag < settings::kSlotCount; ++tag) {
        const settings::SettingSlot& x = a.slots[tag];
        const settings::SettingSlot& y = b.slots[tag];
        if (x.present != y.present || x.length != y.length || x.value != y.value) {
            return false;
        }
    }
    return true;
}

// The builder's form, for an image that parses: at most one clear marker and only at offset 0,
// tags strictly ascending, and zeros from the end byte to the last byte.
bool builderForm(const SettingsImage& image) {
    size_t position = 0;
    if (image[0] == 0xFF && image[1] == 0x00) {
        position = 2;
    }
    int lastTag = -1;
    while (position + 1 < kImageSize && image[position] != 0x00) {
        const uint8_t tag = image[position];
        const uint8_t length = image[position + 1];
        if ((tag == 0xFF && length == 0) || tag <= lastTag) {
            return false;
        }
        lastTag = tag;
        position += 2 + length;
    }
    return std::all_of(image.begin() + static_cast<std::ptrdiff_t>(std::min(position, kImageSize)),
                       image.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace
}  // namespace zendor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor::fuzz;
    SettingsImage image{};
    std::copy_n(data, std::min(size, kImageSize), image.begin());

    CapturedOutput output;
    SettingsTable table{};
    if (!zendor::settings::parseSettingsImage(&table, &image)) {
        require(lineCount(output.text()) == 1 && wholeLines(output.text()),
                "a refused image prints one line");
        return 0;
    }
    require(output.text().empty(), "a parsed image prints nothing");
    for (const zendor::settings::SettingSlot& slot : table.slots) {
        require(slot.length <= zendor::settings::kMaxValueLength, "slot lengths stay within 24");
    }
    require(!table.slots[0].present, "tag 00 is never carried");

    // The entries of a parsed image always fit again; the clear marker, which may stand anywhere
    // (even in the last two bytes), goes to the front and may then find no room.
    size_t needed = table.clearFlag != 0 ? 2 : 0;
    for (const zendor::settings::SettingSlot& slot : table.slots) {
        needed += slot.present ? 2 + slot.length : 0;
    }
    SettingsImage rebuilt{};
    const bool built = zendor::settings::buildSettingsImage(&table, &rebuilt);
    require(built == (needed <= kImageSize - 2), "a parsed table builds when its entries fit");
    if (!built) {
        require(table.clearFlag != 0, "only a moved clear marker can find no room");
        return 0;
    }
    SettingsTable again{};
    require(zendor::settings::parseSettingsImage(&again, &rebuilt), "a rebuilt image parses");
    require(sameTable(again, table), "a rebuilt image parses to the same table");
    require((rebuilt == image) == builderForm(image),
            "an image rebuilds to itself exactly when it is in the builder's form");
    return 0;
}
