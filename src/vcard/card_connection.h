// One connection to a virtual card kept in a file: the file locked for the connection's life,
// the card answering frames, its state saved after every frame that changes it, and (unless it is
// asked not to keep one) a log of the frames for tests. removeAfterFrames in the file pulls the
// card away after that many frames of one session.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vcard/card_file.h"
#include "vcard/virtual_card.h"

namespace zendor::vcard {

struct FrameRecord {
    std::vector<uint8_t> command;
    std::vector<uint8_t> response;  // empty when the card did not answer
};

class CardConnection {
  public:
    // IoError: the file cannot be locked; Unreadable: it is locked but cannot be read.
    enum class OpenStatus { Ok, Busy, Invalid, IoError, Unreadable };
    struct OpenResult {
        OpenStatus status = OpenStatus::IoError;
        std::unique_ptr<CardConnection> connection;
        std::string error;  // with Invalid, IoError or Unreadable
    };
    // A connection that lasts, such as a card served to a reader driver, keeps no log.
    enum class FrameLog { Keep, None };

    // Locks the file and loads the card; a missing file is a factory-fresh card, saved when it
    // first changes. A symbolic link stands for the file it points to. error names the reason
    // (the system's, where it has one).
    static OpenResult open(const std::string& path, FrameLog log = FrameLog::Keep);

    // The card leaves the field and comes back (power off or on, reset): its session ends and
    // the frames counted for removeAfterFrames start again.
    void restartSession();

    // NoAnswer: the card has left the field (removeAfterFrames), and the frame never reached it.
    // SaveFailed: the file could not take the change the frame made (lastError says why); the
    // change is undone and the card's session starts afresh.
    enum class TransmitStatus { Ok, NoAnswer, SaveFailed };
    TransmitStatus transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response);

    const CardState& card() const { return state_; }
    // False until the first change makes the file, when there was none at the start.
    bool hasFile() const { return fileText_.has_value(); }
    VirtualCard& virtualCard() { return *card_; }
    const std::vector<FrameRecord>& frames() const { return frames_; }
    const std::string& lastError() const { return lastError_; }
    // The lock file held for the connection; empty when the card file itself is locked.
    std::string lockPath() const { return lock_.path(); }

    ~CardConnection();

  private:
    CardConnection(std::string path, CardLock lock, CardState state,
                   std::optional<std::string> fileText, FrameLog log);

    std::string path_;  // the card file itself, links followed
    CardLock lock_;
    CardState state_;
    // The file as last read or saved (nothing: there was none); a save goes only over that.
    std::optional<std::string> fileText_;
    std::unique_ptr<VirtualCard> card_;
    FrameLog log_;
    std::vector<FrameRecord> frames_;
    uint64_t sessionFrames_ = 0;  // frames since the connection opened or the session restarted
    std::string lastError_;
};

}  // namespace zendor::vcard
