// The [master] parameters: built-in defaults with scrambled keys, and their override from the
// configuration file.
#include "card/master_layout.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "ini/file_text.h"
#include "ini/line_reader.h"
#include "settings/value_decoding.h"

namespace zendor::card {

namespace {

constexpr std::array<uint8_t, 5> kDefaultLoc = {0x5A, 0x4D, 0x43, 0x01, 0x02};

// The built-in entries as stored: option byte in plain, then the key scrambled so that it does
// not show in the binary as it is (see unscramble).
constexpr std::array<uint8_t, 17> kStoredAut = {0xE0, 0x9A, 0x15, 0x45, 0xDD, 0x11,
                                                0x66, 0x29, 0x4C, 0x1E, 0xB8, 0x44,
                                                0xBB, 0x4F, 0xD8, 0xD5, 0x53};
constexpr std::array<uint8_t, 17> kStoredSgn = {0x20, 0x7F, 0xDC, 0xC0, 0x41, 0xBF,
                                                0x8A, 0x02, 0x90, 0x47, 0x2A, 0x5F,
                                                0x69, 0xF3, 0x36, 0x60, 0x56};

constexpr const char* kSection = "master";
using ini::ValueBuffer;

// Byte i becomes byte i XOR (byte i-1 OR 8i), byte i-1 being already in clear.
void unscramble(std::array<uint8_t, 17>& entry) {
    for (size_t i = 1; i < entry.size(); ++i) {
        entry[i] ^= static_cast<uint8_t>(entry[i - 1] | (8 * i));
    }
}

// The value of key in [master]; empty when the text, the section or the key is absent.
std::string_view readMasterValue(ValueBuffer& buffer, std::string_view configText,
                                 const char* key) {
    buffer.fill('\0');
    ini::findKeyInText(configText, kSection, key, ini::kProfilePieceLength, buffer);
    return std::string_view(buffer.data());
}

struct Entry {
    const char* key;
    std::span<uint8_t> field;
    std::optional<uint8_t> option;  // the required option byte, for aut and sgn
};

// Decodes one non-empty entry into its field, then checks its option byte.
bool loadEntry(const Entry& entry, std::string_view text) {
    if (text.empty()) {
        return true;
    }
    const auto size = static_cast<uint8_t>(entry.field.size());
    if (!settings::decodeHex(entry.field, nullptr, text, size, size)) {
        std::printf("Invalid value for entry 'master.%s'\n", entry.key);
        return false;
    }
    if (entry.option && entry.field[0] != *entry.option) {
        std::printf("Unsupported option specified in 'master.%s'\n", entry.key);
        return false;
    }
    return true;
}

}  // namespace

bool setDefaultLayout(MasterCardLayout* layout) {
    if (layout == nullptr) {
        return false;
    }
    *layout = MasterCardLayout{};
    layout->loc = kDefaultLoc;
    layout->aut = kStoredAut;
    unscramble(layout->aut);
    layout->sgn = kStoredSgn;
    unscramble(layout->sgn);
    return true;
}

bool loadMasterLayout(MasterCardLayout* layout, const char* configFile) {
    if (layout == nullptr || configFile == nullptr) {
        return false;
    }
    return loadMasterLayout(layout, ini::readFileText(configFile).bytes);
}

bool loadMasterLayout(MasterCardLayout* layout, std::string_view configText) {
    if (layout == nullptr) {
        return false;
    }
    const Entry entries[] = {
        {"loc", layout->loc, std::nullopt},
        {"aut", layout->aut, kApplicationKeyOption},
        {"sgn", layout->sgn, kSignatureOption},
        {"root", layout->root, std::nullopt},
    };
    // All four in one pass over the text; an absent key leaves its buffer empty.
    std::array<ValueBuffer, std::size(entries)> values{};
    std::array<ini::KeyLookup, std::size(entries)> lookups;
    for (size_t i = 0; i < lookups.size(); ++i) {
        lookups[i] = {kSection, entries[i].key, values[i], -1};
    }
    ini::findKeysInText(configText, ini::kProfilePieceLength, lookups);
    for (size_t i = 0; i < lookups.size(); ++i) {
        if (!loadEntry(entries[i], values[i].data())) {
            return false;
        }
    }
    return true;
}

bool loadClearFlag(int32_t* clearFlag, const char* configFile) {
    if (clearFlag == nullptr || configFile == nullptr) {
        return false;
    }
    return loadClearFlag(clearFlag, ini::readFileText(configFile).bytes);
}

bool loadClearFlag(int32_t* clearFlag, std::string_view configText) {
    if (clearFlag == nullptr) {
        return false;
    }
    ValueBuffer buffer;
    // strtol rather than atoi: a number too large for an int is still "not zero", not undefined.
    if (std::strtol(readMasterValue(buffer, configText, "clear").data(), nullptr, 10) != 0) {
        *clearFlag = 1;
    }
    return true;
}

uint32_t layoutAid(const MasterCardLayout& layout) {
    return uint32_t{layout.loc[0]} << 16 | uint32_t{layout.loc[1]} << 8 | layout.loc[2];
}

uint8_t applicationKeyNumber(const MasterCardLayout& layout) {
    return layout.aut[0] & 0x0F;
}

uint16_t fileAccessRights(const MasterCardLayout& layout) {
    return static_cast<uint16_t>(0xFF0F | applicationKeyNumber(layout) << 4);
}

std::span<const uint8_t, 16> applicationKey(const MasterCardLayout& layout) {
    return std::span(layout.aut).subspan<1>();
}

std::span<const uint8_t, 16> signatureKey(const MasterCardLayout& layout) {
    return std::span(layout.sgn).subspan<1>();
}

}  // namespace zendor::card
