#include "card/master_card.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "card/marlix_desfire.h"
#include "crypto/signature.h"

namespace zendor::card {
namespace {

constexpr uint32_t kRootApplication = 0;
constexpr std::array<uint8_t, 16> kAllZeroKey{};

using Key = std::array<uint8_t, 16>;

// The AID as the messages' "%03lX" takes it: an unsigned long, whatever width layoutAid has.
unsigned long aidArgument(const MasterCardLayout& layout) {
    return layoutAid(layout);
}

bool deriveApplicationKey(const MasterCardLayout& layout, std::span<const uint8_t> uid, Key& key) {
    return crypto::diversifyKey(key, applicationKey(layout), uid);
}

bool isAllZero(std::span<const uint8_t, 16> key) {
    return std::equal(key.begin(), key.end(), kAllZeroKey.begin());
}

bool selectAndAuthenticate(const MasterCardLayout& layout, const Key& applicationKeyValue) {
    unsigned long aid = aidArgument(layout);
    int16_t status = DesFireCard_SelectApplication(layoutAid(layout));
    if (status == DESFIRE_E_APPLICATION_NOT_FOUND) {
        std::printf("Application %03lX not found in the card\n", aid);
        return false;
    }
    if (status != 0) {
        std::printf("Application %03lX select error (%d)\n", aid, status);
        return false;
    }
    status = DesFireCard_Authenticate(applicationKeyNumber(layout), applicationKeyValue.data());
    if (status != 0) {
        std::printf("Application %03lX authentication error (%d)\n", aid, status);
        return false;
    }
    return true;
}

enum class RootKeyUsed { Root, AllZero };

// Authenticates with key 0 of the card level: the root key first, then once the all-zero key
// when the card refuses the root key. Tells which key the card took.
bool authenticateOnRoot(const MasterCardLayout& layout, RootKeyUsed& used) {
    int16_t status = DesFireCard_SelectApplication(kRootApplication);
    if (status != 0) {
        std::printf("Root application select error (%d)\n", status);
        return false;
    }
    used = RootKeyUsed::Root;
    status = DesFireCard_Authenticate(0, layout.root.data());
    if (status == DESFIRE_E_AUTHENTICATION && !isAllZero(layout.root)) {
        used = RootKeyUsed::AllZero;
        status = DesFireCard_Authenticate(0, kAllZeroKey.data());
    }
    if (status == DESFIRE_E_AUTHENTICATION) {
        std::printf("Card master key is unknown\n");
        return false;
    }
    if (status != 0) {
        std::printf("Can't authenticate on root application (%d)\n", status);
        return false;
    }
    return true;
}

struct ExpectedFile {
    uint8_t fileNo;
    uint32_t size;
};

bool checkFile(const MasterCardLayout& layout, const ExpectedFile& expected) {
    unsigned long aid = aidArgument(layout);
    uint8_t type = 0;
    uint8_t comm = 0;
    uint16_t rights = 0;
    DesFireFileInfo info{};
    int16_t status = DesFireCard_GetFileSettings(expected.fileNo, &type, &comm, &rights, &info);
    if (status == DESFIRE_E_FILE_NOT_FOUND) {
        std::printf("File %03lX.%02X not found in the card\n", aid, expected.fileNo);
        return false;
    }
    if (status != 0) {
        std::printf("File %03lX.%02X select error (%d)\n", aid, expected.fileNo, status);
        return false;
    }
    if (info.size != expected.size) {
        std::printf("Wrong size for file %03lX.%02X\n", aid, expected.fileNo);
        return false;
    }
    if (comm != DESFIRE_COMM_ENCIPHERED) {
        std::printf("Wrong comm. mode for file %03lX.%02X\n", aid, expected.fileNo);
        return false;
    }
    if (rights != fileAccessRights(layout)) {
        std::printf("Wrong security settings for file %03lX.%02X\n", aid, expected.fileNo);
        return false;
    }
    return true;
}

bool createFile(const MasterCardLayout& layout, const ExpectedFile& file) {
    int16_t status = DesFireCard_CreateStdDataFile(file.fileNo, DESFIRE_COMM_ENCIPHERED,
                                                   fileAccessRights(layout), file.size);
    if (status == DESFIRE_E_OUT_OF_EEPROM) {
        std::printf("Card is out of memory\n");
        return false;
    }
    if (status != 0) {
        std::printf("File %03lX.%02X create error (%d)\n", aidArgument(layout), file.fileNo,
                    status);
        return false;
    }
    return true;
}

bool createApplication(const MasterCardLayout& layout) {
    unsigned long aid = aidArgument(layout);
    uint8_t keyCount = static_cast<uint8_t>(applicationKeyNumber(layout) + 1);
    int16_t status = DesFireCard_CreateApplication(layoutAid(layout), kMasterKeySettings, keyCount);
    switch (status) {
        case 0:
            return true;
        case DESFIRE_E_OUT_OF_EEPROM:
            std::printf("Card is out of memory\n");
            return false;
        case DESFIRE_E_DUPLICATE:
            std::printf("Application %03lX already exists in the card\n", aid);
            return false;
        case DESFIRE_E_PERMISSION_DENIED:
            std::printf("You must authenticate first\n");
            return false;
        default:
            std::printf("Application %03lX create error (%d)\n", aid, status);
            return false;
    }
}

// Installs the diversified key in place of the all-zero key of a new application.
bool installApplicationKey(const MasterCardLayout& layout, const Key& key) {
    unsigned long aid = aidArgument(layout);
    int16_t status = DesFireCard_SelectApplication(layoutAid(layout));
    if (status != 0) {
        std::printf("Application %03lX select error (%d)\n", aid, status);
        return false;
    }
    uint8_t keyNo = applicationKeyNumber(layout);
    status = DesFireCard_Authenticate(keyNo, kAllZeroKey.data());
    if (status != 0) {
        std::printf("Application %03lX authentication error (%d)\n", aid, status);
        return false;
    }
    status = DesFireCard_ChangeKey(keyNo, key.data(), nullptr);
    if (status != 0) {
        std::printf("Application %03lX change key error (%d)\n", aid, status);
        return false;
    }
    return true;
}

ExpectedFile dataFile(const MasterCardLayout& layout) {
    return {layout.loc[3], kDataFileSize};
}
ExpectedFile signatureFile(const MasterCardLayout& layout) {
    return {layout.loc[4], kSignatureFileSize};
}

}  // namespace

bool openMasterApplication(const MasterCardLayout* layout, std::span<const uint8_t> uid) {
    Key key{};
    if (layout == nullptr || !deriveApplicationKey(*layout, uid, key)) {
        return false;
    }
    return selectAndAuthenticate(*layout, key);
}

bool checkMapping(const MasterCardLayout* layout, std::span<const uint8_t> uid) {
    if (!openMasterApplication(layout, uid)) {
        return false;
    }
    return checkFile(*layout, dataFile(*layout)) && checkFile(*layout, signatureFile(*layout));
}

bool formatCard(const MasterCardLayout* layout) {
    if (layout == nullptr) {
        return false;
    }
    RootKeyUsed used = RootKeyUsed::Root;
    if (!authenticateOnRoot(*layout, used)) {
        return false;
    }
    int16_t status = DesFireCard_FormatPICC();
    if (status != 0) {
        std::printf("Card format error (%d)\n", status);
        return false;
    }
    // A card that took the root key already has it as card master key; authenticating it with
    // the all-zero key now would fail and leave an erased card behind.
    if (isAllZero(layout->root) || used == RootKeyUsed::Root) {
        return true;
    }
    status = DesFireCard_Authenticate(0, kAllZeroKey.data());
    if (status != 0) {
        std::printf("Root application authentication error (%d)\n", status);
        return false;
    }
    status = DesFireCard_ChangeKey(0, layout->root.data(), nullptr);
    if (status != 0) {
        std::printf("Root application change key error (%d)\n", status);
        return false;
    }
    return true;
}

bool createMapping(const MasterCardLayout* layout, std::span<const uint8_t> uid) {
    Key key{};
    if (layout == nullptr || !deriveApplicationKey(*layout, uid, key)) {
        return false;
    }
    RootKeyUsed used = RootKeyUsed::Root;
    return authenticateOnRoot(*layout, used) && createApplication(*layout) &&
           installApplicationKey(*layout, key) && selectAndAuthenticate(*layout, key) &&
           createFile(*layout, dataFile(*layout)) && createFile(*layout, signatureFile(*layout));
}

bool readMasterFiles(const MasterCardLayout* layout, std::span<const uint8_t> uid,
                     std::span<uint8_t> image, std::span<uint8_t> signature) {
    if (layout == nullptr || image.size() < kDataFileSize ||
        signature.size() < kSignatureFileSize) {
        return false;
    }
    if (!openMasterApplication(layout, uid)) {
        return false;
    }
    uint32_t count = 0;
    int16_t status = DesFireCard_ReadData(layout->loc[4], DESFIRE_COMM_ENCIPHERED, 0,
                                          kSignatureFileSize, signature.data(), &count);
    if (status != 0) {
        std::printf("Error reading signature file (%d)\n", status);
        return false;
    }
    if (count != kSignatureFileSize) {
        std::printf("Wrong size for signature file\n");
        return false;
    }
    status = DesFireCard_ReadData(layout->loc[3], DESFIRE_COMM_ENCIPHERED, 0, kDataFileSize,
                                  image.data(), &count);
    if (status != 0) {
        std::printf("Error reading data file (%d)\n", status);
        return false;
    }
    if (count != kDataFileSize) {
        std::printf("Wrong size for data file\n");
        return false;
    }
    return true;
}

bool writeMasterFiles(const MasterCardLayout* layout, std::span<const uint8_t> uid,
                      std::span<const uint8_t> image, std::span<const uint8_t> signature) {
    if (layout == nullptr || image.size() < kDataFileSize ||
        signature.size() < kSignatureFileSize) {
        return false;
    }
    if (!openMasterApplication(layout, uid)) {
        return false;
    }
    int16_t status = DesFireCard_WriteData(layout->loc[4], DESFIRE_COMM_ENCIPHERED, 0,
                                           kSignatureFileSize, signature.data());
    if (status != 0) {
        std::printf("Error writing signature file (%d)\n", status);
        return false;
    }
    status = DesFireCard_WriteData(layout->loc[3], DESFIRE_COMM_ENCIPHERED, 0, kDataFileSize,
                                   image.data());
    if (status != 0) {
        std::printf("Error writing data file (%d)\n", status);
        return false;
    }
    // Files of the backup type keep what was written pending until it is committed; on standard
    // files the commit finds nothing to do.
    status = DesFireCard_CommitTransaction();
    if (status != 0) {
        std::printf("Error committing files (%d)\n", status);
        return false;
    }
    return true;
}

}  // namespace zendor::card
