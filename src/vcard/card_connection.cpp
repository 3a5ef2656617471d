#include "vcard/card_connection.h"

namespace zendor::vcard {

CardConnection::OpenResult CardConnection::open(const std::string& path, FrameLog log) {
    OpenResult result;
    // Resolved once: a link changed during the connection does not move the card elsewhere.
    std::string target;
    if (!resolveCardPath(path, target, result.error)) {
        return result;
    }
    bool busy = false;
    std::optional<CardLock> lock = CardLock::acquire(target, busy, result.error);
    if (!lock) {
        result.status = busy ? OpenStatus::Busy : OpenStatus::IoError;
        return result;
    }
    ReadResult read = readCardFile(target);
    CardState state;
    std::optional<std::string> text;
    switch (read.status) {
        case ReadStatus::Ok:
            state = std::move(*read.card);
            text = std::move(read.text);
            break;
        case ReadStatus::Missing:
            // Made by the first change, so that a card that is only read leaves no file.
            state = factoryFreshCard();
            break;
        case ReadStatus::Invalid:
            result.status = OpenStatus::Invalid;
            result.error = read.error;
            return result;
        case ReadStatus::Unreadable:
            result.status = OpenStatus::Unreadable;
            result.error = read.error;
            return result;
    }
    result.status = OpenStatus::Ok;
    // The constructor is private: only open() makes connections.
    result.connection = std::unique_ptr<CardConnection>(
        new CardConnection(target, std::move(*lock), std::move(state), std::move(text), log));
    return result;
}

CardConnection::CardConnection(std::string path, CardLock lock, CardState state,
                               std::optional<std::string> fileText, FrameLog log)
    : path_(std::move(path)),
      lock_(std::move(lock)),
      state_(std::move(state)),
      fileText_(std::move(fileText)),
      card_(std::make_unique<VirtualCard>(state_)),
      log_(log) {}

CardConnection::~CardConnection() = default;

CardConnection::TransmitStatus CardConnection::transmit(std::span<const uint8_t> command,
                                                        std::vector<uint8_t>& response) {
    response.clear();
    if (log_ == FrameLog::Keep) {
        frames_.push_back({std::vector<uint8_t>(command.begin(), command.end()), {}});
    }
    // Pulled out of the field: nothing of this frame reaches the card.
    ++sessionFrames_;
    if (state_.removeAfterFrames && sessionFrames_ > *state_.removeAfterFrames) {
        return TransmitStatus::NoAnswer;
    }
    CardState before = state_;
    VirtualCard::Answer answer = card_->process(command);
    if (answer.stateChanged && !lock_.save(path_, state_, fileText_, lastError_)) {
        // The card is what its file holds: a change the file could not take never happened,
        // and the card starts afresh from the state it had.
        state_ = std::move(before);
        card_->reset();
        return TransmitStatus::SaveFailed;
    }
    response = std::move(answer.bytes);
    if (log_ == FrameLog::Keep) {
        frames_.back().response = response;
    }
    return TransmitStatus::Ok;
}

void CardConnection::restartSession() {
    card_->reset();
    sessionFrames_ = 0;
}

}  // namespace zendor::vcard
