// The few file system calls the card files need, behind one small interface so that each
// operating system puts its own calls here and nowhere else. Failures carry the system's own
// error text.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bounded_wait.h"

namespace zendor::platform {

enum class Fault {
    None,
    Missing,     // no such file or folder
    Busy,        // a lock another holder has
    HeldOpen,    // another program has the file open and will not share it (Windows)
    Link,        // a symbolic link where none may be
    Denied,      // no permission, or a read-only file system
    TooLarge,    // larger than the caller allows
    NotRegular,  // a folder, device or the like where a file was wanted
    Other,
};

struct Outcome {
    Fault fault = Fault::None;
    std::string text;  // the system's error text, empty with Fault::None

    explicit operator bool() const { return fault == Fault::None; }
};

enum class EntryKind { Missing, Regular, Directory, Link, Other };

struct FileInfo {
    EntryKind kind = EntryKind::Missing;
    uint64_t size = 0;
    uint32_t permissions = 0;  // rwx bits for owner, group and others (0777)
    uint32_t owner = 0;
    uint32_t group = 0;
    std::chrono::system_clock::time_point modified{};  // when its content last changed
};

// An open file; closed when it goes.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(intptr_t native) : native_(native) {}
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    bool isOpen() const { return native_ != -1; }
    intptr_t native() const { return native_; }
    Outcome close();

  private:
    intptr_t native_ = -1;
};

// What path names, links not followed.
Outcome inspect(const std::string& path, FileInfo& info);

// The path a chain of symbolic links starting at path ends at (path itself when it is no link).
// On POSIX the end need not exist; Windows asks the system for the end, so a link to nothing
// fails there (Fault::Missing).
Outcome followLinks(const std::string& path, std::string& target);

// Whether this user may write the file or folder; the reason when not. Fault::Denied says the
// file is read-only: its permission bits, ownership or a read-only mount on POSIX, the read-only
// attribute on Windows, where a refusal by the file's access list is Fault::Other with the
// system's text.
Outcome mayWrite(const std::string& path);

// On Windows the calls that take a BoundedWait try again while another program (a virus scanner,
// a sync client, the indexer) has the file open without sharing what they need, until wait is
// used up (nullptr: kHeldFileWait of their own), then fail with Fault::HeldOpen; a refusal by
// the file's rights fails at once with the system's text, and a lock another connection holds
// is Fault::Busy at once. POSIX never waits: nothing there holds a file that way.

// The whole of a regular file, refused past maxSize; a link is not followed.
Outcome readWholeFile(const std::string& path, uint64_t maxSize, std::string& text,
                      BoundedWait* wait = nullptr);

// Up to buffer.size() bytes of the open file from where it stands; count is 0 at its end.
Outcome readSome(FileHandle& file, std::span<char> buffer, size_t& count);

// The open file from where it stands to its end, refused (Fault::TooLarge, text emptied) once it
// holds more than maxSize bytes, even when it grows while it is read. sizeHint is the file's size
// (0 when unknown): it sizes the buffer, and one past maxSize is refused without a read.
Outcome readToEnd(FileHandle& file, uint64_t maxSize, uint64_t sizeHint, std::string& text);

// The names in folder ("." and ".." left out), in no particular order.
Outcome listFolder(const std::string& folder, std::vector<std::string>& names);

// How createTemporaryFile names its files: the prefix, then this many random letters and digits.
constexpr size_t kTemporaryRandomLength = 6;

// Whether a folder entry is one of createTemporaryFile's names for prefix, or the name a replaced
// file passes through (spareNameOf), which has the same shape.
constexpr bool isTemporaryName(std::string_view entry, std::string_view prefix) {
    return entry.size() == prefix.size() + kTemporaryRandomLength && entry.starts_with(prefix);
}

// The name the file replaced by temporary passes through on Windows: temporary's, its last
// character changed to one createTemporaryFile never picks.
inline std::string spareNameOf(std::string_view temporary) {
    std::string spare(temporary);
    if (!spare.empty()) {
        spare.back() = spare.back() == '~' ? '_' : '~';
    }
    return spare;
}

// Whether one of createTemporaryFile's names for prefix is a spare name (spareNameOf): the name
// an old file passes through on its way out, which alone holds it while a replace is half done.
constexpr bool isSpareName(std::string_view entry, std::string_view prefix) {
    return isTemporaryName(entry, prefix) && (entry.back() == '~' || entry.back() == '_');
}

// A new empty file in folder, readable and writable by its owner only (on Windows: rights for its
// owner and the system alone, not inherited from the folder), named prefix followed by
// kTemporaryRandomLength random characters; name receives the whole path.
Outcome createTemporaryFile(const std::string& folder, const std::string& prefix, FileHandle& file,
                            std::string& name);

Outcome writeAll(FileHandle& file, const std::string& text);
Outcome syncFile(FileHandle& file);
Outcome setPermissions(FileHandle& file, uint32_t permissions);
Outcome setOwner(FileHandle& file, uint32_t owner, uint32_t group);

// Puts from in place of to in one step, replacing what to held; from must be closed. The file at
// to keeps its attributes and access rights on Windows, where the old file passes through
// spareNameOf(from) on its way out (so that a sweep of stale copies finds it). A process killed
// in between, or a system that fails there (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2), can leave the
// old file under that name alone: a sweep puts it back before it removes anything.
Outcome replaceFile(const std::string& from, const std::string& to, BoundedWait* wait = nullptr);
// Puts from in place of to in one step, only while nothing is at to.
Outcome placeNewFile(const std::string& from, const std::string& to, BoundedWait* wait = nullptr);
Outcome removeFile(const std::string& path, BoundedWait* wait = nullptr);
// Makes the folder's entries (a rename, a new file) reach the disk.
Outcome syncFolder(const std::string& folder);

// The lock file at path, made when missing; never through a symbolic link (Fault::Link). It need
// not be writable: a lock file another account left behind can still be held. Fault::Missing
// when there is none and none can be made (the folder is missing or closed to this user).
Outcome openLockFile(const std::string& path, FileHandle& file, BoundedWait* wait = nullptr);
// An existing file opened for reading, never through a symbolic link. A folder opens on POSIX
// (reading it then fails); Windows refuses it (Fault::NotRegular).
Outcome openForReading(const std::string& path, FileHandle& file, BoundedWait* wait = nullptr);
// An exclusive lock on the open file, without waiting (Fault::Busy when another holds it).
Outcome tryLock(FileHandle& file);
// Whether path still names the open file (not a newer one made in its place).
bool stillNamed(const FileHandle& file, const std::string& path);

// The longest name a folder entry may have.
constexpr size_t kMaxNameLength = 255;

}  // namespace zendor::platform
