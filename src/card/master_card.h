// What the tool does on the card itself: check, format, create, read and write the Master Card
// application and its two files.
//
// A Master Card, for a layout whose application key number is k (always 0 today):
//
//   card master key    key 0 of the card level = the layout's root key
//   application        AID = loc[0..2], key settings EF, k + 1 keys;
//                      key k = aut key diversified with the card UID
//   data file          loc[3], standard data file, 512 bytes, fully enciphered,
//                      access rights FF0F | k << 4
//   signature file     loc[4], the same with 16 bytes
//
// Every operation prints its own one-line reason before failing; a null layout, or a missing image
// or signature buffer, fails without a word. Nothing is undone after a failure.
#pragma once

#include <cstdint>
#include <span>

#include "card/master_layout.h"
#include "settings/settings_table.h"

namespace zendor::card {

constexpr uint32_t kDataFileSize = settings::kImageSize;
constexpr uint32_t kSignatureFileSize = 16;
constexpr uint8_t kMasterKeySettings = 0xEF;

// Selects the master application and authenticates with its diversified key.
bool openMasterApplication(const MasterCardLayout* layout, std::span<const uint8_t> uid);

// Opens the application, then checks that both files have the expected size, communication
// setting and access rights.
bool checkMapping(const MasterCardLayout* layout, std::span<const uint8_t> uid);

// Authenticates on the card level (the root key, else once the all-zero key), erases the card and
// leaves the root key as card master key.
bool formatCard(const MasterCardLayout* layout);

// Creates the application, installs its diversified key and creates both files.
bool createMapping(const MasterCardLayout* layout, std::span<const uint8_t> uid);

// Reads the signature (16 bytes), then the image (512 bytes).
bool readMasterFiles(const MasterCardLayout* layout, std::span<const uint8_t> uid,
                     std::span<uint8_t> image, std::span<uint8_t> signature);

// Writes the signature, then the image, then commits them.
bool writeMasterFiles(const MasterCardLayout* layout, std::span<const uint8_t> uid,
                      std::span<const uint8_t> image, std::span<const uint8_t> signature);

}  // namespace zendor::card
