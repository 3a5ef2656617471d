// Card-level commands of the virtual card: version, application selection, creation, deletion and
// listing, and formatting. The card (PICC) key settings decide who may do what:
//   bit 1  list applications and read key settings without the card master key
//   bit 2  create applications without the card master key
#include <algorithm>
#include <array>
#include <limits>

#include "card_commands.h"

namespace zendor::vcard {

namespace {

namespace st = desfire::st;

constexpr size_t kAidsPerFrame = 19;
constexpr size_t kAidSize = 3;

// An EV1 (hardware and software 1.0); byte 5, the storage size, is the card's own (versionPart).
// The batch number and production date are fixed.
constexpr std::array<uint8_t, 7> kHardwareVersion{0x04, 0x01, 0x01, 0x01, 0x00, 0x00, 0x05};
constexpr std::array<uint8_t, 7> kSoftwareVersion{0x04, 0x01, 0x01, 0x01, 0x00, 0x00, 0x05};
constexpr size_t kStorageSizeByte = 5;
constexpr std::array<uint8_t, 5> kBatchNumber{0xBA, 0x5E, 0x12, 0x34, 0x50};
constexpr uint8_t kProductionWeek = 0x21;  // BCD
constexpr uint8_t kProductionYear = 0x24;  // BCD

uint32_t aidOf(Data bytes) {
    return readLe24(bytes);
}

bool masterKeyAuthenticated(const CardContext& ctx) {
    return ctx.session.authenticatedWith(0);
}

uint32_t memoryTaken(const Application& app) {
    uint32_t total = kApplicationMemory;
    for (const DataFile& file : app.files) {
        total += fileMemory(file.data.size());
    }
    return total;
}

// The whole card: what is free, what applications and files took, and the card's own system data.
// It stays the same through every creation and deletion.
uint64_t cardSize(const CardState& card) {
    uint64_t total = uint64_t{card.freeMemory} + kCardSystemMemory;
    for (const Application& app : card.applications) {
        total += memoryTaken(app);
    }
    return total;
}

// GetVersion's storage size: 2^(n/2) bytes when n is even, between 2^(n/2) and twice that when n
// is odd. An 8 KB card says 0x1A.
uint8_t storageSizeByte(uint64_t size) {
    uint8_t exponent = 0;
    // A shift by the type's width or more is undefined: 2 << 62 is the last power of two.
    while (exponent + 1 < std::numeric_limits<uint64_t>::digits &&
           (uint64_t{2} << exponent) <= size) {
        ++exponent;
    }
    const bool exact = size == (uint64_t{1} << exponent);
    return static_cast<uint8_t>(exponent * 2 + (exact ? 0 : 1));
}

std::vector<uint8_t> versionPart(const std::array<uint8_t, 7>& part, const CardState& card) {
    std::vector<uint8_t> bytes(part.begin(), part.end());
    bytes[kStorageSizeByte] = storageSizeByte(cardSize(card));
    return bytes;
}

// Drops what the session kept about the selected application when it goes away.
void leaveApplication(CardSession& session) {
    session.selectedAid = 0;
    session.forgetAuthentication();
    session.pendingBackup.clear();
}

}  // namespace

Reply getVersion(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    std::vector<uint8_t> last(ctx.card.uid.begin(), ctx.card.uid.end());
    last.insert(last.end(), kBatchNumber.begin(), kBatchNumber.end());
    last.push_back(kProductionWeek);
    last.push_back(kProductionYear);
    OutgoingFrames rest;
    rest.frames.push_back(versionPart(kSoftwareVersion, ctx.card));
    rest.frames.push_back(std::move(last));
    ctx.session.chain = std::move(rest);
    return Reply{st::kAdditionalFrame, versionPart(kHardwareVersion, ctx.card), false};
}

// Free to ask at any level and without authentication, as on an EV1.
Reply getFreeMemory(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    Reply reply = statusOnly(st::kOk);
    appendLe24(reply.data, std::min<uint32_t>(ctx.card.freeMemory, 0xFFFFFF));
    return reply;
}

Reply selectApplication(CardContext& ctx, Data data) {
    if (data.size() != kAidSize) {
        return statusOnly(st::kLengthError);
    }
    // Even selecting the same application again ends the authentication and the transaction.
    ctx.session.forgetAuthentication();
    ctx.session.pendingBackup.clear();
    uint32_t aid = aidOf(data);
    if (aid != 0 && findApplication(ctx.card, aid) == nullptr) {
        return statusOnly(st::kApplicationNotFound);
    }
    ctx.session.selectedAid = aid;
    return statusOnly(st::kOk);
}

Reply formatPicc(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    if (ctx.session.selectedAid != 0 || !masterKeyAuthenticated(ctx)) {
        return statusOnly(st::kAuthenticationError);
    }
    // The card master key and its settings stay; everything below the card level goes.
    uint32_t released = 0;
    for (const Application& app : ctx.card.applications) {
        released += memoryTaken(app);
    }
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = !ctx.card.applications.empty();
    ctx.card.applications.clear();
    releaseMemory(ctx.card, released);
    leaveApplication(ctx.session);
    return reply;
}

Reply createApplication(CardContext& ctx, Data data) {
    if (data.size() != kAidSize + 2) {
        return statusOnly(st::kLengthError);
    }
    if (ctx.session.selectedAid != 0) {
        return statusOnly(st::kPermissionDenied);
    }
    if (!(ctx.card.piccKeySettings & kFreeCreateDelete) && !masterKeyAuthenticated(ctx)) {
        return statusOnly(st::kAuthenticationError);
    }
    uint32_t aid = aidOf(data);
    uint8_t keySettings = data[3];
    uint8_t keyCount = data[4] & 0x0F;
    // Only DES/2K3DES keys and no ISO file identifiers: the upper bits must be clear.
    if (aid == 0 || (data[4] & 0xF0) != 0 || keyCount == 0 || keyCount > kMaxKeysPerApplication) {
        return statusOnly(st::kParameterError);
    }
    if (findApplication(ctx.card, aid) != nullptr) {
        return statusOnly(st::kDuplicateError);
    }
    if (ctx.card.applications.size() >= kMaxApplications) {
        return statusOnly(st::kCountError);
    }
    if (ctx.card.freeMemory < kApplicationMemory) {
        return statusOnly(st::kOutOfEeprom);
    }
    Application app;
    app.aid = aid;
    app.keySettings = keySettings;
    app.keys.assign(keyCount, Key{});
    ctx.card.applications.push_back(std::move(app));
    ctx.card.freeMemory -= kApplicationMemory;
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = true;
    return reply;
}

// The card master key may delete any application, the application's own master key that one.
// The memory is given back at once, which keeps FormatPICC's accounting exact.
Reply deleteApplication(CardContext& ctx, Data data) {
    if (data.size() != kAidSize) {
        return statusOnly(st::kLengthError);
    }
    uint32_t aid = aidOf(data);
    if (aid == 0) {
        return statusOnly(st::kParameterError);
    }
    Application* app = findApplication(ctx.card, aid);
    if (app == nullptr) {
        return statusOnly(st::kApplicationNotFound);
    }
    bool fromCard = ctx.session.selectedAid == 0;
    bool fromItself = ctx.session.selectedAid == aid;
    if (!(fromCard || fromItself) || !masterKeyAuthenticated(ctx)) {
        return statusOnly(st::kAuthenticationError);
    }
    releaseMemory(ctx.card, memoryTaken(*app));
    std::erase_if(ctx.card.applications, [aid](const Application& a) { return a.aid == aid; });
    if (fromItself) {
        leaveApplication(ctx.session);
    }
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = true;
    return reply;
}

Reply getApplicationIds(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    if (ctx.session.selectedAid != 0) {
        return statusOnly(st::kPermissionDenied);
    }
    if (!(ctx.card.piccKeySettings & kFreeListing) && !masterKeyAuthenticated(ctx)) {
        return statusOnly(st::kAuthenticationError);
    }
    std::vector<uint8_t> aids;
    for (const Application& app : ctx.card.applications) {
        appendLe24(aids, app.aid);
    }
    return sendInFrames(ctx.session, std::move(aids), kAidsPerFrame * kAidSize);
}

}  // namespace zendor::vcard
