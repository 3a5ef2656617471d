// Key commands of the virtual card: legacy authentication (0x0A), ChangeKey, ChangeKeySettings,
// GetKeySettings and GetKeyVersion, at the card level (one key, the card master key) or in the
// selected application (its keys; key 0 is the application master key).
#include <algorithm>
#include <stdexcept>

#include "card_commands.h"
#include "desfire/secure_messaging.h"

namespace zendor::vcard {

namespace {

namespace st = desfire::st;

constexpr uint8_t kChangeBySameKey = 0x0E;
constexpr uint8_t kKeysFrozen = 0x0F;

// The keys and key settings of the selected level.
struct Level {
    std::span<Key> keys;
    uint8_t& keySettings;
    bool picc;
};

Level currentLevel(CardContext& ctx) {
    if (Application* app = selectedApplication(ctx)) {
        return Level{app->keys, app->keySettings, false};
    }
    return Level{std::span<Key>(&ctx.card.piccKey, 1), ctx.card.piccKeySettings, true};
}

// Who may change key keyNo: the status that refuses the authenticated key, or OK.
uint8_t changeKeyAccess(const Level& level, const CardSession& session, uint8_t keyNo) {
    if (!session.authKeyNo) {
        return st::kAuthenticationError;
    }
    if (keyNo == 0 || level.picc) {
        if (!(level.keySettings & kMasterKeyChangeable)) {
            return st::kPermissionDenied;
        }
        return session.authenticatedWith(0) ? st::kOk : st::kAuthenticationError;
    }
    uint8_t changer = level.keySettings >> 4;
    if (changer == kKeysFrozen) {
        return st::kPermissionDenied;
    }
    uint8_t needed = changer == kChangeBySameKey ? keyNo : changer;
    return session.authenticatedWith(needed) ? st::kOk : st::kAuthenticationError;
}

}  // namespace

Reply authenticate(CardContext& ctx, Data data) {
    // A new authentication ends the old one first, so a failed one leaves none.
    ctx.session.forgetAuthentication();
    if (data.size() != 1) {
        return statusOnly(st::kLengthError);
    }
    Level level = currentLevel(ctx);
    uint8_t keyNo = data[0];
    if (keyNo >= level.keys.size()) {
        return statusOnly(st::kNoSuchKey);
    }
    AwaitingToken waiting{keyNo, level.keys[keyNo], {}};
    // A challenge that is not random would let a recorded token be replayed.
    if (!ctx.session.random(waiting.rndB)) {
        throw std::runtime_error("no random number for RndB");
    }
    desfire::Block challenge = waiting.rndB;
    desfire::LegacyCipher(waiting.key).cardSend(challenge);
    ctx.session.chain = waiting;
    return Reply{st::kAdditionalFrame, {challenge.begin(), challenge.end()}, false};
}

// The host's token is D(RndA) || D(RndB' ^ D(RndA)): undoing the send mode gives RndA || RndB'.
Reply continueAuthenticate(CardContext& ctx, const AwaitingToken& waiting, Data data) {
    if (data.size() != 16) {
        return statusOnly(st::kLengthError);
    }
    std::array<uint8_t, 16> token{};
    std::copy(data.begin(), data.end(), token.begin());
    desfire::LegacyCipher cipher(waiting.key);
    cipher.cardReceive(token);
    desfire::Block rndA{};
    desfire::Block rndBRotated{};
    std::copy_n(token.begin(), 8, rndA.begin());
    std::copy_n(token.begin() + 8, 8, rndBRotated.begin());
    if (rndBRotated != desfire::rotateLeft(waiting.rndB)) {
        return statusOnly(st::kAuthenticationError);
    }
    desfire::Block proof = desfire::rotateLeft(rndA);
    cipher.cardSend(proof);
    ctx.session.authKeyNo = waiting.keyNo;
    ctx.session.sessionKey = desfire::sessionKey(waiting.key, rndA, waiting.rndB);
    return Reply{st::kOk, {proof.begin(), proof.end()}, false};
}

Reply changeKey(CardContext& ctx, Data data) {
    if (data.size() != 25) {
        return statusOnly(st::kLengthError);
    }
    Level level = currentLevel(ctx);
    uint8_t keyNo = data[0];
    if (keyNo >= level.keys.size()) {
        return statusOnly(st::kNoSuchKey);
    }
    if (uint8_t access = changeKeyAccess(level, ctx.session, keyNo); access != st::kOk) {
        return statusOnly(access);
    }
    bool sameKey = ctx.session.authenticatedWith(keyNo);
    // Changing another key than the authenticated one proves knowledge of its current value.
    std::optional<Key> key =
        desfire::checkNewKey(ctx.session.sessionKey, data.subspan(1),
                             sameKey ? std::nullopt : std::optional<Key>(level.keys[keyNo]));
    if (!key) {
        return statusOnly(st::kIntegrityError);
    }
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = level.keys[keyNo] != *key;
    level.keys[keyNo] = *key;
    // The session key came from the old key: the host authenticates again with the new one.
    if (sameKey) {
        ctx.session.forgetAuthentication();
    }
    return reply;
}

// Cryptogram of KS || CRC(KS) || 00*5, after authentication with the level's master key.
Reply changeKeySettings(CardContext& ctx, Data data) {
    if (data.size() != 8) {
        return statusOnly(st::kLengthError);
    }
    Level level = currentLevel(ctx);
    if (!ctx.session.authenticatedWith(0)) {
        return statusOnly(st::kAuthenticationError);
    }
    if (!(level.keySettings & kSettingsChangeable)) {
        return statusOnly(st::kPermissionDenied);
    }
    std::optional<std::vector<uint8_t>> plain = desfire::check(
        desfire::Direction::ToCard, desfire::kCommEnciphered, ctx.session.sessionKey, data, 1);
    if (!plain) {
        return statusOnly(st::kIntegrityError);
    }
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = level.keySettings != (*plain)[0];
    level.keySettings = (*plain)[0];
    return reply;
}

Reply getKeySettings(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    Level level = currentLevel(ctx);
    if (!(level.keySettings & kFreeListing) && !ctx.session.authenticatedWith(0)) {
        return statusOnly(st::kAuthenticationError);
    }
    return Reply{st::kOk, {level.keySettings, static_cast<uint8_t>(level.keys.size())}, false};
}

Reply getKeyVersion(CardContext& ctx, Data data) {
    if (data.size() != 1) {
        return statusOnly(st::kLengthError);
    }
    Level level = currentLevel(ctx);
    if (data[0] >= level.keys.size()) {
        return statusOnly(st::kNoSuchKey);
    }
    return Reply{st::kOk, {keyVersion(level.keys[data[0]])}, false};
}

}  // namespace zendor::vcard
