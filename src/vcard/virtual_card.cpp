// The virtual card's front: the ISO 7816-4 wrapping (CLA 90, native INS, Lc data Le), the
// PC/SC reader's GET DATA, 0xAF chaining in both directions, and the rule that an error status
// ends the authentication, the chained command and the backup-file transaction.
#include "vcard/virtual_card.h"

#include <array>
#include <exception>
#include <optional>
#include <utility>

#include "card_commands.h"

namespace zendor::vcard {

struct VirtualCard::Session : CardSession {};

namespace {

namespace st = desfire::st;

using Handler = Reply (*)(CardContext&, Data);

struct Command {
    uint8_t ins;
    Handler handler;
};

constexpr std::array kCommands{
    Command{desfire::ins::kGetVersion, getVersion},
    Command{desfire::ins::kGetFreeMemory, getFreeMemory},
    Command{desfire::ins::kSelectApplication, selectApplication},
    Command{desfire::ins::kFormatPicc, formatPicc},
    Command{desfire::ins::kCreateApplication, createApplication},
    Command{desfire::ins::kDeleteApplication, deleteApplication},
    Command{desfire::ins::kGetApplicationIds, getApplicationIds},
    Command{desfire::ins::kAuthenticate, authenticate},
    Command{desfire::ins::kChangeKey, changeKey},
    Command{desfire::ins::kChangeKeySettings, changeKeySettings},
    Command{desfire::ins::kGetKeySettings, getKeySettings},
    Command{desfire::ins::kGetKeyVersion, getKeyVersion},
    Command{desfire::ins::kCreateStdDataFile, createStdDataFile},
    Command{desfire::ins::kCreateBackupDataFile, createBackupDataFile},
    Command{desfire::ins::kDeleteFile, deleteFile},
    Command{desfire::ins::kGetFileIds, getFileIds},
    Command{desfire::ins::kGetFileSettings, getFileSettings},
    Command{desfire::ins::kReadData, readData},
    Command{desfire::ins::kWriteData, writeData},
    Command{desfire::ins::kCommitTransaction, commitTransaction},
    Command{desfire::ins::kAbortTransaction, abortTransaction},
};

// ISO status words of the wrapping layer; no DESFire command runs.
constexpr uint16_t kSwWrongLength = 0x6700;
constexpr uint16_t kSwWrongP1P2 = 0x6A86;
constexpr uint16_t kSwNotSupported = 0x6A81;
constexpr uint16_t kSwClaNotSupported = 0x6E00;
constexpr uint16_t kSwNoDiagnosis = 0x6F00;

struct Wrapped {
    uint8_t ins = 0;
    Data data;
};

// Case 1 (CLA INS P1 P2), case 2 (… Le), case 3 (… Lc data) and case 4 (… Lc data Le).
std::optional<uint16_t> unwrap(Data apdu, Wrapped& out) {
    if (apdu.size() < 4) {
        return kSwWrongLength;
    }
    if (apdu[0] != desfire::kClaNative) {
        return kSwClaNotSupported;
    }
    if (apdu[2] != 0 || apdu[3] != 0) {
        return kSwWrongP1P2;
    }
    out.ins = apdu[1];
    if (apdu.size() <= 5) {
        return std::nullopt;
    }
    size_t lc = apdu[4];
    if (apdu.size() != 5 + lc && apdu.size() != 6 + lc) {
        return kSwWrongLength;
    }
    out.data = apdu.subspan(5, lc);
    return std::nullopt;
}

bool isError(uint8_t status) {
    return status != st::kOk && status != st::kAdditionalFrame && status != st::kNoChanges;
}

// 0xAF from the host: the next part of the chained command in progress.
Reply continueChain(CardContext& ctx, Data data) {
    Chain chain = std::exchange(ctx.session.chain, std::monostate{});
    if (auto* waiting = std::get_if<AwaitingToken>(&chain)) {
        return continueAuthenticate(ctx, *waiting, data);
    }
    if (auto* write = std::get_if<IncomingWrite>(&chain)) {
        return continueWrite(ctx, std::move(*write), data);
    }
    if (auto* outgoing = std::get_if<OutgoingFrames>(&chain)) {
        if (!data.empty()) {
            return statusOnly(st::kLengthError);
        }
        Reply reply = statusOnly(st::kOk);
        reply.data = std::move(outgoing->frames.front());
        outgoing->frames.pop_front();
        if (!outgoing->frames.empty()) {
            reply.status = st::kAdditionalFrame;
            ctx.session.chain = std::move(*outgoing);
        }
        return reply;
    }
    return statusOnly(st::kIllegalCommand);
}

Reply runNative(CardContext& ctx, const Wrapped& command) {
    if (command.data.size() > desfire::kMaxCommandData) {
        return statusOnly(st::kLengthError);
    }
    if (command.ins == desfire::ins::kAdditionalFrame) {
        return continueChain(ctx, command.data);
    }
    // Another command in the middle of a chain ends both.
    if (!std::holds_alternative<std::monostate>(ctx.session.chain)) {
        return statusOnly(st::kCommandAborted);
    }
    for (const Command& entry : kCommands) {
        if (entry.ins == command.ins) {
            return entry.handler(ctx, command.data);
        }
    }
    return statusOnly(st::kIllegalCommand);
}

VirtualCard::Answer statusWord(uint16_t sw) {
    return VirtualCard::Answer{{static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)}, false};
}

}  // namespace

VirtualCard::VirtualCard(CardState& state) : state_(state), session_(std::make_unique<Session>()) {
    session_->random = desfire::systemRandom;
}

VirtualCard::~VirtualCard() = default;

void VirtualCard::setRandomSource(desfire::RandomSource source) {
    session_->random = source ? std::move(source) : desfire::systemRandom;
}

void VirtualCard::reset() {
    desfire::RandomSource random = std::move(session_->random);
    static_cast<CardSession&>(*session_) = CardSession{};
    session_->random = std::move(random);
}

VirtualCard::Answer VirtualCard::process(std::span<const uint8_t> apdu) {
    // GET DATA is the reader's: it never reaches the card's command processing, so a chain in
    // progress survives it. P1 00 is the UID; the ATS variant is not offered.
    if (apdu.size() >= 4 && apdu[0] == 0xFF && apdu[1] == 0xCA) {
        if (apdu[2] != 0x00 || apdu[3] != 0x00) {
            return statusWord(kSwNotSupported);
        }
        Answer answer{{state_.uid.begin(), state_.uid.end()}, false};
        answer.bytes.push_back(0x90);
        answer.bytes.push_back(0x00);
        return answer;
    }
    Wrapped command;
    if (std::optional<uint16_t> sw = unwrap(apdu, command)) {
        return statusWord(*sw);
    }
    CardContext ctx{state_, *session_};
    Reply reply;
    try {
        reply = runNative(ctx, command);
    } catch (const std::exception&) {
        // Only the cipher and the random generator fail so (the system's crypto unusable), and
        // always before the state changes.
        reset();
        return statusWord(kSwNoDiagnosis);
    }
    if (isError(reply.status)) {
        session_->forgetAuthentication();
        session_->chain = std::monostate{};
        session_->pendingBackup.clear();
    }
    Answer answer{std::move(reply.data), reply.stateChanged};
    answer.bytes.push_back(desfire::kSw1Desfire);
    answer.bytes.push_back(reply.status);
    return answer;
}

}  // namespace zendor::vcard
