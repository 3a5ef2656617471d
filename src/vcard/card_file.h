// The virtual card's file on disk: read and validated whole, written atomically (a temporary file
// in the same folder, then rename), and held by one connection at a time through a lock file
// beside it (PATH.lock), since the rename gives every save a new inode that a lock on the card
// file itself would not follow.
#pragma once

#include <optional>
#include <string>

#include "vcard/card_state.h"

namespace zendor::vcard {

enum class ReadStatus { Ok, Missing, Invalid, Unreadable };

struct ReadResult {
    ReadStatus status = ReadStatus::Unreadable;
    std::optional<CardState> card;  // with Ok
    std::string text;               // with Ok: the file as read, for saveCardFile
    std::string error;              // with Invalid or Unreadable: the reason, no newline
};

ReadResult readCardFile(const std::string& path);

// Writes the card to path atomically, as a new file (permissions 0644); false with the reason in
// error.
bool writeCardFile(const std::string& path, const CardState& card, std::string& error);

// Saves the card over its file, which held expected when this program last read or wrote it; on
// success expected becomes the text written. The file keeps its permissions. False, with the
// reason in error and the file untouched, when:
//   "it is read-only"                                 no write permission bit is set, or no
//                                                     write access for this user
//   "another program changed it since it was read"   it no longer holds expected (or is gone)
//   "cannot write it: ..." / "cannot create a file beside it: ..."   the write itself failed
bool saveCardFile(const std::string& path, const CardState& card, std::string& expected,
                  std::string& error);

// Exclusive hold on a card file while a connection uses it. Moves, does not copy.
class CardLock {
  public:
    // Nothing when another holder has it (busy is then true) or the lock file cannot be made.
    static std::optional<CardLock> acquire(const std::string& cardPath, bool& busy);

    CardLock(CardLock&& other) noexcept;
    CardLock& operator=(CardLock&& other) noexcept;
    CardLock(const CardLock&) = delete;
    CardLock& operator=(const CardLock&) = delete;
    ~CardLock();

  private:
    CardLock(std::string lockPath, int fd) : lockPath_(std::move(lockPath)), fd_(fd) {}
    void release();

    std::string lockPath_;
    int fd_ = -1;
};

}  // namespace zendor::vcard
