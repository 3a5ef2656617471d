// A whole configuration file, as the creation reads it: [master] layout, clear flag, every reader
// setting, the dump and the image. Whatever the file holds, every line printed is whole, a table
// that builds parses back to itself, and its export loads back to the same settings.
#include <cstdint>
#include <string>

#include "card/master_layout.h"
#include "fuzz/fuzz_support.h"
#include "settings/config_loading.h"
#include "settings/settings_dump.h"
#include "settings/settings_export.h"
#include "settings/settings_image.h"

namespace zendor::fuzz {
namespace {

using settings::SettingsTable;

// The export writes a lookup template of no kind as "; Template is absent" and one of kind 0x16
// as its head alone, as documented: the lkl value of such a template does not load back.
bool lookupListNotExported(const SettingsTable& table, size_t tag) {
    const int n = static_cast<int>(tag / 16);
    if (tag % 16 != 0 || n < settings::kFirstLookupTemplate || n > settings::kLastLookupTemplate) {
        return false;
    }
    const uint8_t kind = settings::templateKind(table, n);
    return kind == settings::kKindNone || kind == settings::kKindWithoutRows;
}

// throughExport: b went through the export, which keeps every slot but those above.
bool sameSlots(const SettingsTable& a, const SettingsTable& b, bool throughExport) {
    for (size_t tag = 0; tag < settings::kSlotCount; ++tag) {
        if (throughExport && lookupListNotExported(a, tag)) {
            require(!b.slots[tag].present, "an unexported lkl stays absent");
            continue;
        }
        const settings::SettingSlot& x = a.slots[tag];
        const settings::SettingSlot& y = b.slots[tag];
        if (x.present != y.present || x.length != y.length || x.value != y.value) {
            return false;
        }
    }
    return true;
}

// The export of table, loaded again as a configuration file.
SettingsTable exportedAndLoaded(const SettingsTable& table, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    require(file != nullptr, "export scratch file");
    settings::writeSettingsText(table, file);
    require(std::fclose(file) == 0, "export scratch close");
    SettingsTable loaded{};
    require(settings::loadConfigFile(loaded, path.c_str()), "an export loads");
    return loaded;
}

void checkImage(const SettingsTable& table) {
    settings::SettingsImage image{};
    if (!settings::buildSettingsImage(&table, &image)) {
        return;
    }
    SettingsTable parsed{};
    require(settings::parseSettingsImage(&parsed, &image), "a built image parses");
    require(sameSlots(table, parsed, false), "a built image parses to its table");
    require((parsed.clearFlag != 0) == (table.clearFlag != 0), "the clear flag survives");
}

}  // namespace
}  // namespace zendor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor;
    using namespace zendor::fuzz;
    static const ScratchFile configFile("config.ini");
    static const ScratchFile exportFile("exported.ini");
    const std::string& config = configFile.path();
    const std::string& exported = exportFile.path();
    writeWholeFile(config, std::span(data, size));

    CapturedOutput output;
    card::MasterCardLayout layout;
    require(card::setDefaultLayout(&layout), "defaults");
    if (!card::loadMasterLayout(&layout, config.c_str())) {
        require(wholeLines(output.text()) && !output.text().empty(), "a refused [master] says why");
        return 0;
    }
    settings::SettingsTable table{};
    require(card::loadClearFlag(&table.clearFlag, config.c_str()), "clear flag");
    if (!settings::loadConfigFile(table, config.c_str())) {
        const std::string& text = output.text();
        require((text.ends_with(" : not a text file\n") ||
                 text.ends_with(" : mixes two encodings (UTF-16, then 8-bit text); save it as "
                                "UTF-8 before appending to it\n")) &&
                    wholeLines(text),
                "only a file that is not text, or not in one encoding, is refused, in one line");
        return 0;
    }
    settings::printSettingsDump(table);
    checkImage(table);
    require(wholeLines(output.text()), "every line printed is whole");

    const settings::SettingsTable loaded = exportedAndLoaded(table, exported);
    require(sameSlots(table, loaded, true), "the export loads back to the same settings");
    return 0;
}
