// The virtual card's file on disk: read and validated whole, written atomically (a temporary file
// in the same folder, then rename), and held by one connection at a time through a lock file
// beside it (PATH.lock), since the rename gives every save a new inode that a lock on the card
// file itself would not follow; the card file is locked as well, against its other names (hard
// links), and each new file after its save. The file holds the card's keys: new files are for
// their owner only, and a temporary copy is never readable by others nor left behind.
//
// A card file goes by one spelling of its path, whatever was typed (see resolveCardPath): two
// spellings of one file are one card, with one lock. A path that is a symbolic link stands for
// the file it points to: that file is read, locked and saved, and the link stays as it is.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/input_limit.h"
#include "vcard/card_state.h"

namespace zendor::vcard {

// Above any card the format can describe (28 applications of 32 files, each at most the card's
// memory, come to about 15 MB), so that whatever the card does, its file loads again.
constexpr uint64_t kMaxCardFileSize = platform::kMaxInputFileSize;
static_assert(kMaxApplications * (kMaxFileNo + 1) * 2 * uint64_t{kMaxFileSize} < kMaxCardFileSize);

enum class ReadStatus { Ok, Missing, Invalid, Unreadable };

struct ReadResult {
    ReadStatus status = ReadStatus::Unreadable;
    std::optional<CardState> card;  // with Ok
    std::string text;               // with Ok: the file as read, for saveCardFile
    std::string error;              // with Invalid or Unreadable: the reason, no newline
};

ReadResult readCardFile(const std::string& path);

// The file path stands for, in its one spelling: the end of its chain of symbolic links, made
// absolute and canonical (platform::canonicalPath). False with the reason in error when a link
// cannot be followed.
bool resolveCardPath(const std::string& path, std::string& target, std::string& error);

// Writes the card to path atomically, as a new file for its owner only (0600); false with the
// reason in error.
bool writeCardFile(const std::string& path, const CardState& card, std::string& error);

// Saves the card over its file, which held expected when this program last read or wrote it
// (nothing: the file did not exist, and is then made 0600); on success expected becomes the text
// written. The file keeps its permissions and owner. False, with the reason in error and the
// file untouched, when:
//   "it is read-only"                                 no write permission bit is set, or no
//                                                     write access for this user (on Windows:
//                                                     the read-only attribute; a refusal by the
//                                                     access list is "cannot write it: ...")
//   "another program changed it since it was read"   it no longer holds expected (or is gone,
//                                                     or appeared)
//   "cannot write it: ..." / "cannot create a file beside it: ..."   the write itself failed
bool saveCardFile(const std::string& path, const CardState& card,
                  std::optional<std::string>& expected, std::string& error);

// Exclusive hold on a card file while a connection uses it. Moves, does not copy.
class CardLock {
  public:
    // Nothing when another holder has it (busy is then true) or the lock cannot be taken (error
    // says why, naming the lock file). Once the lock is held, a card file that a save killed
    // half-way left only under its spare name is put back, and then the temporary copies that
    // killed saves left are removed (never the only copy of the card). In a folder this user may
    // not write, and with no lock file there, the card file itself is locked: nobody can save there
    // anyway. Beside the lock file the card file is locked too, so that a hard link to it, which
    // has a lock file of its own, does not get past the holder.
    static std::optional<CardLock> acquire(const std::string& cardPath, bool& busy,
                                           std::string& error);

    // saveCardFile for the card this lock holds (cardPath resolved, as acquire's): where the
    // system cannot replace a file held open, the card file is let go for the save; the file in
    // the card's place afterwards is the one held, and when another connection has taken it
    // meanwhile the save fails ("held by another connection"). All its waits for another
    // program share one budget of about two seconds.
    bool save(const std::string& cardPath, const CardState& card,
              std::optional<std::string>& expected, std::string& error);

    CardLock(CardLock&& other) noexcept;
    CardLock& operator=(CardLock&& other) noexcept;
    CardLock(const CardLock&) = delete;
    CardLock& operator=(const CardLock&) = delete;
    ~CardLock();

    // The lock file held; empty when the card file itself is.
    std::string path() const;

  private:
    struct Held;
    explicit CardLock(std::unique_ptr<Held> held);
    void release();

    std::unique_ptr<Held> held_;
};

// The lock file's path for a card file (PATH.lock, or a shorter name beside it when that would
// be too long for the folder).
std::string lockPathOf(const std::string& cardPath);

// The name prefix of a card file's temporary copies; each adds six random characters.
std::string temporaryPrefixOf(const std::string& cardPath);

}  // namespace zendor::vcard
