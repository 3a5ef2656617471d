// What the virtual card keeps for one connection only (selection, authentication, a chained
// command in progress, backup-file writes not yet committed), and the small helpers its command
// handlers share. Private to vcard.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "desfire/legacy_cipher.h"
#include "desfire/protocol.h"
#include "desfire/random_source.h"
#include "vcard/card_state.h"

namespace zendor::vcard {

using desfire::appendLe24;
using desfire::readLe24;

// One native answer: the data sent before SW1 = 91 and the status byte.
struct Reply {
    uint8_t status = desfire::st::kOk;
    std::vector<uint8_t> data;
    bool stateChanged = false;
};

// Authenticate between its two frames: the card waits for the host's token.
struct AwaitingToken {
    uint8_t keyNo = 0;
    Key key{};
    desfire::Block rndB{};
};

// WriteData between frames: the header was accepted, the bytes gather until the expected total,
// and nothing reaches the file before the last frame.
struct IncomingWrite {
    uint8_t fileNo = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
    uint8_t mode = kCommPlain;  // what the access granted, not necessarily the file's setting
    size_t expected = 0;        // bytes after the 7-byte header
    std::vector<uint8_t> received;
};

// An answer longer than one frame: what is left to send, one entry per frame.
struct OutgoingFrames {
    std::deque<std::vector<uint8_t>> frames;
};

using Chain = std::variant<std::monostate, AwaitingToken, IncomingWrite, OutgoingFrames>;

struct CardSession {
    desfire::RandomSource random;
    uint32_t selectedAid = 0;  // 0 is the card (PICC) level
    std::optional<uint8_t> authKeyNo;
    Key sessionKey{};
    Chain chain;
    // New content of the selected application's backup data files, by file number.
    std::map<uint8_t, std::vector<uint8_t>> pendingBackup;

    void forgetAuthentication();
    bool authenticatedWith(uint8_t keyNo) const { return authKeyNo == keyNo; }
};

struct CardContext {
    CardState& card;
    CardSession& session;
};

constexpr uint32_t kApplicationMemory = 64;
constexpr uint32_t kFileMemoryUnit = 32;

// Memory a data file of this size takes: whole 32-byte units.
constexpr uint32_t fileMemory(size_t size) {
    return static_cast<uint32_t>((size + kFileMemoryUnit - 1) / kFileMemoryUnit * kFileMemoryUnit);
}

Reply statusOnly(uint8_t status);

// The selected application, or null at the card level.
Application* selectedApplication(CardContext& ctx);
Application* findApplication(CardState& card, uint32_t aid);
DataFile* findFile(Application& app, uint8_t fileNo);

// Key version: bit 7-i is the parity bit (bit 0) of key byte i.
uint8_t keyVersion(const Key& key);

// Sends bytes in frames of at most frameSize: the first now, the rest on 0xAF.
Reply sendInFrames(CardSession& session, std::vector<uint8_t> bytes, size_t frameSize);

}  // namespace zendor::vcard
