// Where a Master Card keeps its settings and which keys protect them: built-in defaults,
// overridden by the [master] section of the configuration file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zendor::card {

constexpr uint8_t kApplicationKeyOption = 0xE0;  // the only accepted aut option byte
constexpr uint8_t kSignatureOption = 0x20;       // the only accepted sgn option byte

struct MasterCardLayout {
    std::array<uint8_t, 5> loc{};    // AID (most significant byte first), data file, signature file
    std::array<uint8_t, 17> aut{};   // option byte, then the application key
    std::array<uint8_t, 17> sgn{};   // option byte, then the signature key
    std::array<uint8_t, 16> root{};  // card master key, used as it is

    bool operator==(const MasterCardLayout&) const = default;
};

// Fills layout with the built-in defaults. Fails, without a message, only for a null layout.
bool setDefaultLayout(MasterCardLayout* layout);

// Overrides the fields of layout with the non-empty loc, aut, sgn and root entries of [master],
// in that order; an absent file or section changes nothing. Fails, stopping at once:
// - without a message, for a null layout or file name;
// - with the line of decodeHex and "Invalid value for entry 'master.<key>'", for a value that is
//   not exactly 5, 17, 17 or 16 hexadecimal bytes (the field is left as it was);
// - with "Unsupported option specified in 'master.aut'" (or 'master.sgn'), for an option byte
//   other than 0xE0 (0x20); the refused entry has already been stored.
bool loadMasterLayout(MasterCardLayout* layout, const char* configFile);

// The same from the text of a configuration file read once for the whole run (empty when it
// could not be read); fails without a message only for a null layout.
bool loadMasterLayout(MasterCardLayout* layout, std::string_view configText);

// Sets *clearFlag to 1 when [master] clear starts with a non-zero decimal number, and leaves it
// as it was otherwise. Fails, without a message, only for a null argument.
bool loadClearFlag(int32_t* clearFlag, const char* configFile);
bool loadClearFlag(int32_t* clearFlag, std::string_view configText);

// The application identifier: loc bytes 0 to 2, byte 0 most significant.
uint32_t layoutAid(const MasterCardLayout& layout);

// The number of the application key: the low nibble of the aut option byte.
uint8_t applicationKeyNumber(const MasterCardLayout& layout);

// The access rights of both files: 0xFF0F with the application key number in bits 4 to 7.
uint16_t fileAccessRights(const MasterCardLayout& layout);

// The 16 key bytes that follow the option byte of aut and of sgn.
std::span<const uint8_t, 16> applicationKey(const MasterCardLayout& layout);
std::span<const uint8_t, 16> signatureKey(const MasterCardLayout& layout);

}  // namespace zendor::card
