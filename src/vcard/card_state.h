// What a virtual DESFire card keeps between connections: the content of its JSON file.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "desfire/protocol.h"
#include "desfire/secure_messaging.h"

namespace zendor::vcard {

using Key = std::array<uint8_t, 16>;
constexpr size_t kUidSize = 7;
using Uid = std::array<uint8_t, kUidSize>;

// An 8 KB card: what the card's own system data takes is never free for applications.
constexpr uint32_t kCardSystemMemory = 256;
constexpr uint32_t kFactoryFreeMemory = 8192 - kCardSystemMemory;
// A card never has more room than when it is new, nor a file larger than that room.
constexpr uint32_t kMaxFreeMemory = kFactoryFreeMemory;
constexpr uint8_t kFactoryPiccKeySettings = 0x0F;
// Bits of a key settings byte, at the card level and in an application alike; the high nibble
// names the key that may change the other keys.
constexpr uint8_t kMasterKeyChangeable = 0x01;
constexpr uint8_t kFreeListing = 0x02;       // listing without the master key
constexpr uint8_t kFreeCreateDelete = 0x04;  // creating and deleting without the master key
constexpr uint8_t kSettingsChangeable = 0x08;
constexpr size_t kMaxApplications = 28;
constexpr size_t kMaxKeysPerApplication = 14;
constexpr uint8_t kMaxFileNo = 31;
constexpr uint32_t kMaxFileSize = kMaxFreeMemory;

enum FileType : uint8_t { kStandardDataFile = 0, kBackupDataFile = 1 };
using desfire::CommSetting;
using desfire::kCommEnciphered;
using desfire::kCommMaced;
using desfire::kCommPlain;

struct DataFile {
    uint8_t fileNo = 0;
    uint8_t type = kStandardDataFile;
    uint8_t comm = kCommPlain;
    uint16_t accessRights = 0;
    std::vector<uint8_t> data;  // the committed content; its size is the file size

    bool operator==(const DataFile&) const = default;
};

struct Application {
    uint32_t aid = 0;
    uint8_t keySettings = 0;
    std::vector<Key> keys;
    std::vector<DataFile> files;

    bool operator==(const Application&) const = default;
};

struct CardState {
    Uid uid{};
    std::array<uint8_t, 2> atqa{0x44, 0x03};
    uint8_t sak = 0x20;
    Key piccKey{};
    uint8_t piccKeySettings = kFactoryPiccKeySettings;
    uint32_t freeMemory = kFactoryFreeMemory;
    std::optional<uint32_t> removeAfterFrames;
    std::vector<Application> applications;

    bool operator==(const CardState&) const = default;
};

// Gives memory back to the card (a file or application deleted), never beyond what a new card
// has: a card file made by hand may list more than its free memory leaves room for.
inline void releaseMemory(CardState& card, uint64_t bytes) {
    card.freeMemory =
        static_cast<uint32_t>(std::min<uint64_t>(card.freeMemory + bytes, kMaxFreeMemory));
}

// A card as it leaves the factory: a random 7-byte UID that begins with 0x04 (NXP), the all-zero
// card master key, key settings 0F, full memory, no application.
CardState factoryFreshCard();

}  // namespace zendor::vcard
