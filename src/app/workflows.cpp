// The two card jobs, step by step. Everything is read, checked, packed and signed before the card
// is touched; the card is only changed once the settings are known to be good.
#include "app/workflows.h"

#include <cstdio>
#include <span>

#include "card/master_card.h"
#include "card/master_layout.h"
#include "card/reader_connection.h"
#include "crypto/signature.h"
#include "ini/file_text.h"
#include "settings/config_loading.h"
#include "settings/settings_dump.h"
#include "settings/settings_export.h"
#include "settings/settings_image.h"
#include "settings/settings_table.h"

namespace zendor::app {
namespace {

using Signature = std::array<uint8_t, crypto::kSignatureSize>;

// Where the reader's UID, the settings image and the card's files meet the signature.
static_assert(card::kCardUidSize == crypto::kUidSize && card::kCardUidSize <= CardUid{}.size());
static_assert(settings::kImageSize == crypto::SIGNED_IMAGE_SIZE);

std::span<const uint8_t> uidBytes(const CardUid& cardUid) {
    return std::span(cardUid).first(crypto::kUidSize);
}

// The configuration is read once, whole, and every lookup of the run answers from that copy: a
// pipe can only be read once, and a file edited meanwhile must not give keys of two versions.
// Only a file too large or not text fails here; one that cannot be read gives the default
// [master] keys.
bool readConfig(ini::FileText& config, const char* configFile) {
    config = ini::readFileText(configFile);
    return ini::usableAsText(config, configFile);
}

bool loadLayout(card::MasterCardLayout& layout, const ini::FileText& config) {
    return card::setDefaultLayout(&layout) && card::loadMasterLayout(&layout, config.bytes);
}

bool signImage(Signature& signature, const settings::SettingsImage& image,
               const card::MasterCardLayout& layout, const CardUid& cardUid) {
    return crypto::computeSignature(signature, image, card::signatureKey(layout),
                                    uidBytes(cardUid));
}

// A card that fails the check is erased and given the application, its key and both files.
bool prepareCard(const card::MasterCardLayout& layout, const CardUid& cardUid) {
    if (card::checkMapping(&layout, uidBytes(cardUid))) {
        return true;
    }
    std::printf("Trying to format the card...\n");
    if (!card::formatCard(&layout)) {
        std::printf("Failed to erase the card !\n");
        return false;
    }
    if (!card::createMapping(&layout, uidBytes(cardUid))) {
        std::printf("Failed to create mapping !\n");
        return false;
    }
    return true;
}

bool reportOutcome(bool succeeded) {
    std::printf(succeeded ? "OK !\n" : "Failed !\n");
    return succeeded;
}

}  // namespace

bool createMasterCard(const char* configFile, const CardUid& cardUid) {
    ini::FileText config;
    card::MasterCardLayout layout;
    if (!readConfig(config, configFile) || !loadLayout(layout, config)) {
        return false;
    }
    settings::SettingsTable table{};
    if (!card::loadClearFlag(&table.clearFlag, config.bytes) ||
        !settings::loadConfigText(table, config, configFile)) {
        return false;
    }
    settings::printSettingsDump(table);

    settings::SettingsImage image{};
    Signature signature{};
    if (!settings::buildSettingsImage(&table, &image) ||
        !signImage(signature, image, layout, cardUid)) {
        return false;
    }
    if (!prepareCard(layout, cardUid)) {
        return false;
    }
    std::printf("Writing the new Master Card...\n");
    return reportOutcome(card::writeMasterFiles(&layout, uidBytes(cardUid), image, signature));
}

bool readMasterCard(const char* configFile, const CardUid& cardUid, const char* outputFile) {
    ini::FileText config;
    card::MasterCardLayout layout;
    if (!readConfig(config, configFile) || !loadLayout(layout, config)) {
        return false;
    }
    if (!card::checkMapping(&layout, uidBytes(cardUid))) {
        std::printf("This is not a Master Card\n");
        return false;
    }
    std::printf("Reading the Master Card...\n");
    settings::SettingsImage image{};
    Signature stored{};
    if (!card::readMasterFiles(&layout, uidBytes(cardUid), image, stored)) {
        std::printf("Failed !\n");
        return false;
    }
    settings::SettingsTable table{};
    if (!settings::parseSettingsImage(&table, &image)) {
        return false;
    }
    settings::printSettingsDump(table);

    Signature computed{};
    if (!signImage(computed, image, layout, cardUid)) {
        return false;
    }
    if (!crypto::signaturesEqual(computed, stored)) {
        std::printf("Invalid signature, maybe card has been forged\n");
        return false;
    }
    if (outputFile != nullptr) {
        std::printf("Exporting to '%s'\n", outputFile);
    } else {
        std::printf("Here's the settings read from the card:\n\n");
    }
    return reportOutcome(settings::exportSettings(table, outputFile));
}

}  // namespace zendor::app
