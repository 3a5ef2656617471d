#include "card/reader_connection.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "card/marlix.h"
#include "card/marlix_desfire.h"

namespace zendor::card {
namespace {

constexpr uint8_t kNxpManufacturerCode = 0x04;

bool connectionOpen = false;

// A DESFire sends ATQA 0x0344, least significant byte first, and carries NXP's manufacturer code
// in the first byte of its 7-byte UID.
bool isDesfire(const std::array<uint8_t, 2>& atqa, const std::array<uint8_t, 12>& uid) {
    return uid[0] == kNxpManufacturerCode && atqa[1] == 0x03 && atqa[0] == 0x44;
}

bool failAndCloseReader() {
    MARLIX_ReaderClose();
    return false;
}

}  // namespace

bool openReaderConnection(uint8_t* uid, const char* deviceName) {
    if (connectionOpen) {
        return true;
    }
    if (MARLIX_ReaderOpen(deviceName) != 0) {
        if (deviceName != nullptr) {
            std::printf("Reader %s not found\n", deviceName);
        }
        return false;
    }

    std::array<uint8_t, 2> atqa{};
    std::array<uint8_t, 12> cardUid{};
    uint8_t uidLength = static_cast<uint8_t>(cardUid.size());
    uint8_t sak = 0;
    int16_t status = MARLIX_TclA_ActivateAny(atqa.data(), cardUid.data(), &uidLength, &sak);
    if (status != 0) {
        if (status == MARLIX_E_NOT_DESFIRE) {
            std::printf("Card found, not a Desfire\n");
        } else if (status == MARLIX_E_NO_CARD) {
            std::printf("No card on the reader\n");
        } else {
            std::printf("Card select error (%d)\n", status);
        }
        return failAndCloseReader();
    }
    if (!isDesfire(atqa, cardUid)) {
        std::printf("Card found, not a Desfire\n");
        return failAndCloseReader();
    }

    std::array<uint8_t, 32> ats{};
    uint8_t atsLength = static_cast<uint8_t>(ats.size());
    status = MARLIX_TclA_GetAts(kCardIdentifier, ats.data(), &atsLength);
    if (status != 0) {
        std::printf("Desfire activation failed (%d)\n", status);
        return failAndCloseReader();
    }
    DesFireCard_SelectCid(kCardIdentifier);

    if (uid != nullptr) {
        std::copy_n(cardUid.begin(), kCardUidSize, uid);
    }
    connectionOpen = true;
    return true;
}

bool closeReaderConnection() {
    if (connectionOpen) {
        MARLIX_TclA_Deselect(kCardIdentifier);
        MARLIX_ReaderClose();
        connectionOpen = false;
    }
    return true;
}

bool readerConnectionIsOpen() {
    return connectionOpen;
}

}  // namespace zendor::card
