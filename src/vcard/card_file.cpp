#include "vcard/card_file.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/path_names.h"
#include "vcard/card_json.h"

namespace zendor::vcard {
namespace {

namespace fs = platform;
using platform::folderOf;
using platform::nameOf;
using platform::pathIn;

constexpr uint32_t kNewFilePermissions = 0600;
constexpr const char* kChangedElsewhere = "another program changed it since it was read";
constexpr const char* kHeldElsewhere = "held by another connection";
// Copies of the naming used before copies were tied to their card: any card's, removed once
// surely stale (a save takes milliseconds).
constexpr std::string_view kOldTemporaryPrefix = ".zendor-card-";
constexpr auto kOldTemporaryAge = std::chrono::minutes(10);

// FNV-1a: a short, stable stand-in for a name too long to extend.
std::string digestOf(std::string_view name) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : name) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ULL;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

// NAME + suffix beside the card, or a digest of NAME when that would pass the name limit.
std::string besideCard(const std::string& cardPath, const std::string& lead,
                       const std::string& suffix, size_t reserved) {
    std::string name = nameOf(cardPath);
    std::string entry = lead + name + suffix;
    if (entry.size() + reserved > fs::kMaxNameLength) {
        entry = ".zendor-" + digestOf(name) + suffix;
    }
    return name == cardPath ? entry : platform::pathIn(platform::folderOf(cardPath), entry);
}

// A temporary file in the same folder, filled, flushed to disk and renamed over path (or put in
// place of a missing one): a reader sees the old card or the new one, never a part. The copy is
// its owner's alone until it is complete; then it takes the permissions the card had and is
// closed, since Windows replaces only a file nobody holds without sharing.
bool writeAtomically(const std::string& path, const std::string& text, const fs::FileInfo* keep,
                     fs::BoundedWait& wait, std::string& error) {
    std::string folder = folderOf(path);
    std::string prefix = nameOf(temporaryPrefixOf(path));
    fs::FileHandle file;
    std::string temporary;
    if (fs::Outcome made = fs::createTemporaryFile(folder, prefix, file, temporary); !made) {
        error = "cannot create a file beside it: " + made.text;
        return false;
    }
    fs::Outcome written = fs::writeAll(file, text);
    if (written && keep) {
        // Root saving someone else's card keeps it theirs; anyone else can only keep their own.
        (void)fs::setOwner(file, keep->owner, keep->group);
    }
    if (written) {
        written = fs::syncFile(file);
    }
    if (written) {
        (void)fs::setPermissions(file, keep ? keep->permissions : kNewFilePermissions);
        written = file.close();
    }
    (void)file.close();
    if (written) {
        written = keep ? fs::replaceFile(temporary, path, &wait)
                       : fs::placeNewFile(temporary, path, &wait);
    }
    if (!written) {
        error = "cannot write it: " + written.text;
        (void)fs::removeFile(temporary, &wait);
        return false;
    }
    // Without this the rename may not survive a power loss, leaving neither card.
    (void)fs::syncFolder(folder);
    return true;
}

bool isOldTemporary(const std::string& folder, const std::string& entry) {
    fs::FileInfo info;
    return fs::isTemporaryName(entry, kOldTemporaryPrefix) &&
           fs::inspect(pathIn(folder, entry), info) && info.kind != fs::EntryKind::Missing &&
           std::chrono::system_clock::now() - info.modified > kOldTemporaryAge;
}

// The newest of the card's spare names in entries (see putBackFromSpare); empty when none.
std::string newestSpare(const std::string& folder, const std::string& prefix,
                        const std::vector<std::string>& entries) {
    std::string newest;
    fs::FileInfo newestInfo;
    for (const std::string& entry : entries) {
        fs::FileInfo info;
        if (fs::isSpareName(entry, prefix) && fs::inspect(pathIn(folder, entry), info) &&
            info.kind == fs::EntryKind::Regular &&
            (newest.empty() || info.modified > newestInfo.modified)) {
            newest = entry;
            newestInfo = info;
        }
    }
    return newest;
}

// A save killed between the two renames of a replace (or one whose replace failed there) leaves
// no card file: the old card under a spare name, the new one under its temporary name. The old
// card goes back in place, since the killed run never said it had saved. True when the card file
// is there now.
bool putBackFromSpare(const std::string& cardPath, const std::string& prefix,
                      const std::vector<std::string>& entries) {
    fs::FileInfo info;
    if (!fs::inspect(cardPath, info)) {
        return false;  // whether it is there cannot be told: every copy stays
    }
    if (info.kind != fs::EntryKind::Missing) {
        return true;
    }
    const std::string folder = folderOf(cardPath);
    const std::string spare = newestSpare(folder, prefix, entries);
    return !spare.empty() && fs::placeNewFile(pathIn(folder, spare), cardPath);
}

// Under the lock no save of this card is under way: every copy of it is a killed save's. The
// card file is put back first, so that no copy removed is the only one of the card; while it
// cannot be, the spares stay.
void removeStaleCopies(const std::string& cardPath) {
    const std::string folder = folderOf(cardPath);
    const std::string prefix = nameOf(temporaryPrefixOf(cardPath));
    std::vector<std::string> entries;
    (void)fs::listFolder(folder, entries);
    const bool cardThere = putBackFromSpare(cardPath, prefix, entries);
    for (const std::string& entry : entries) {
        const bool copy =
            fs::isTemporaryName(entry, prefix) && (cardThere || !fs::isSpareName(entry, prefix));
        if (copy || isOldTemporary(folder, entry)) {
            (void)fs::removeFile(pathIn(folder, entry));
        }
    }
}

// The file a save goes to, and what is there now.
bool findTarget(const std::string& path, std::string& target, fs::FileInfo& info,
                std::string& error) {
    if (!resolveCardPath(path, target, error)) {
        return false;
    }
    fs::Outcome looked = fs::inspect(target, info);
    if (!looked) {
        error = "cannot write it: " + looked.text;
    }
    return static_cast<bool>(looked);
}

}  // namespace

struct CardLock::Held {
    std::string lockPath;  // empty when the card file itself is locked
    fs::FileHandle file;
    fs::FileHandle cardFile;  // beside a lock file: the card file, locked too (see holdCardFile)
};

namespace {

// Another name of the card file (a hard link) leads to another lock file; the card file itself,
// locked too, stops a second connection through it. Windows cannot replace a file held open, so
// there the card file is held only while it has another name, and is let go for each save
// (CardLock::save). Busy when another connection holds it; a file that cannot be opened
// (missing: a card not made yet) is left to the lock file alone.
fs::Outcome holdCardFile(const std::string& target, fs::FileHandle& cardFile,
                         fs::BoundedWait& wait) {
    // Still the card's file (a save that failed): kept, with no moment unlocked.
    if (cardFile.isOpen() && fs::stillNamed(cardFile, target)) {
        return {};
    }
    fs::FileHandle opened;
    const bool wanted = !platform::kOpenFilesBlockReplace || platform::nameCount(target) >= 2;
    fs::Outcome locked =
        wanted && fs::openForReading(target, opened, &wait) ? fs::tryLock(opened) : fs::Outcome{};
    // The file held before, if any, is no longer the card's.
    cardFile = locked && opened.isOpen() ? std::move(opened) : fs::FileHandle{};
    return locked.fault == fs::Fault::Busy ? locked : fs::Outcome{};
}

}  // namespace

std::string lockPathOf(const std::string& cardPath) {
    return besideCard(cardPath, "", ".lock", 0);
}

std::string temporaryPrefixOf(const std::string& cardPath) {
    return besideCard(cardPath, ".", ".zendor-", fs::kTemporaryRandomLength);
}

bool resolveCardPath(const std::string& path, std::string& target, std::string& error) {
    if (platform::takesSyntaxLiterally(path)) {
        error =
            "a path starting \\\\?\\ takes '/', '.' and '..' as parts of names: "
            "write it with '\\' alone, without '.' or '..'";
        return false;
    }
    std::string followed;
    if (fs::Outcome result = fs::followLinks(path, followed); !result) {
        error = "cannot follow its symbolic link: " + result.text;
        return false;
    }
    // One spelling for one file: its lock, its copies and its saves go by that alone.
    target = platform::canonicalPath(followed);
    return true;
}

ReadResult readCardFile(const std::string& path) {
    ReadResult result;
    std::string target;
    if (!resolveCardPath(path, target, result.error)) {
        return result;
    }
    std::string text;
    fs::Outcome read = fs::readWholeFile(target, kMaxCardFileSize, text);
    switch (read.fault) {
        case fs::Fault::None:
            break;
        case fs::Fault::Missing:
            result.status = ReadStatus::Missing;
            return result;
        case fs::Fault::NotRegular:
            result.status = ReadStatus::Invalid;
            result.error = read.text;
            return result;
        case fs::Fault::TooLarge:
            result.status = ReadStatus::Invalid;
            result.error = "too large for a card file";
            return result;
        default:
            result.error = read.text;
            return result;
    }
    result.card = parseCardJson(text, result.error);
    result.status = result.card ? ReadStatus::Ok : ReadStatus::Invalid;
    if (result.card) {
        result.text = std::move(text);
    }
    return result;
}

bool writeCardFile(const std::string& path, const CardState& card, std::string& error) {
    std::string target;
    fs::FileInfo info;
    if (!findTarget(path, target, info, error)) {
        return false;
    }
    fs::BoundedWait wait(fs::kHeldFileWait);
    if (info.kind == fs::EntryKind::Missing) {
        return writeAtomically(target, formatCardJson(card), nullptr, wait, error);
    }
    // A replaced card is a new card: for its owner only, whatever the old file allowed.
    info.permissions = kNewFilePermissions;
    return writeAtomically(target, formatCardJson(card), &info, wait, error);
}

namespace {

// saveCardFile, every wait for another program drawing on wait.
bool saveWithin(const std::string& path, const CardState& card,
                std::optional<std::string>& expected, fs::BoundedWait& wait, std::string& error) {
    std::string target;
    fs::FileInfo info;
    if (!findTarget(path, target, info, error)) {
        return false;
    }
    bool missing = info.kind == fs::EntryKind::Missing;
    if (missing != !expected.has_value() || (!missing && info.kind != fs::EntryKind::Regular)) {
        error = kChangedElsewhere;
        return false;
    }
    if (!missing) {
        // Taking away the write permission is how a card file is protected; the rename of a
        // save would go past it (as would root), so it is looked at here.
        fs::Outcome writable = (info.permissions & 0222) == 0 ? fs::Outcome{fs::Fault::Denied, ""}
                                                              : fs::mayWrite(target);
        if (!writable) {
            error = writable.fault == fs::Fault::Denied ? "it is read-only"
                                                        : "cannot write it: " + writable.text;
            return false;
        }
        // A program that does not take the lock (an editor, a copy) may have changed the file;
        // its change is not overwritten.
        std::string now;
        fs::Outcome read = fs::readWholeFile(target, kMaxCardFileSize, now, &wait);
        if (read.fault == fs::Fault::HeldOpen) {
            error = "cannot write it: " + read.text;
            return false;
        }
        if (!read || now != *expected) {
            error = kChangedElsewhere;
            return false;
        }
    }
    std::string text = formatCardJson(card);
    if (!writeAtomically(target, text, missing ? nullptr : &info, wait, error)) {
        // A file that appeared meanwhile is another program's: it is kept.
        if (missing && fs::inspect(target, info) && info.kind != fs::EntryKind::Missing) {
            error = kChangedElsewhere;
        }
        return false;
    }
    expected = std::move(text);
    return true;
}

}  // namespace

// One budget for the whole save: its steps wait for another program about two seconds together.
bool saveCardFile(const std::string& path, const CardState& card,
                  std::optional<std::string>& expected, std::string& error) {
    fs::BoundedWait wait(fs::kHeldFileWait);
    return saveWithin(path, card, expected, wait, error);
}

std::optional<CardLock> CardLock::acquire(const std::string& cardPath, bool& busy,
                                          std::string& error) {
    busy = false;
    error.clear();
    std::string target;
    if (!resolveCardPath(cardPath, target, error)) {
        return std::nullopt;
    }
    std::string lockPath = lockPathOf(target);
    fs::BoundedWait wait(fs::kHeldFileWait);
    // A holder removes the lock file when it lets go; whoever locked the removed file must try
    // again on the new one, or two holders could each lock a different file.
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto held = std::make_unique<Held>(Held{lockPath, {}, {}});
        fs::Outcome opened = fs::openLockFile(lockPath, held->file, &wait);
        if (opened.fault == fs::Fault::Missing) {
            // A folder closed to this user: no save can happen there, so the card file itself
            // is what is held.
            held->lockPath.clear();
            if (!fs::openForReading(target, held->file, &wait)) {
                error = "cannot create its lock file '" + lockPath + "': " + opened.text;
                return std::nullopt;
            }
        } else if (opened.fault == fs::Fault::Link) {
            error = "its lock file '" + lockPath + "' is a symbolic link";
            return std::nullopt;
        } else if (!opened) {
            error = "cannot open its lock file '" + lockPath + "': " + opened.text;
            return std::nullopt;
        }
        if (fs::Outcome locked = fs::tryLock(held->file); !locked) {
            busy = locked.fault == fs::Fault::Busy;
            error = busy ? kHeldElsewhere : "cannot lock '" + lockPath + "': " + locked.text;
            return std::nullopt;
        }
        if (held->lockPath.empty() || fs::stillNamed(held->file, lockPath)) {
            if (!held->lockPath.empty() && !holdCardFile(target, held->cardFile, wait)) {
                // Let go as a holder does, so that the lock file made for this name goes.
                CardLock refused(std::move(held));
                busy = true;
                error = kHeldElsewhere;
                return std::nullopt;
            }
            removeStaleCopies(target);
            return CardLock(std::move(held));
        }
    }
    busy = true;
    error = kHeldElsewhere;
    return std::nullopt;
}

CardLock::CardLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}

bool CardLock::save(const std::string& cardPath, const CardState& card,
                    std::optional<std::string>& expected, std::string& error) {
    const bool holdsCardFile = held_ && !held_->lockPath.empty();
    if (holdsCardFile && platform::kOpenFilesBlockReplace) {
        (void)held_->cardFile.close();
    }
    fs::BoundedWait wait(fs::kHeldFileWait);
    const bool saved = saveWithin(cardPath, card, expected, wait, error);
    // Another connection that took the card file while it was let go has the card now: this
    // save, done or not, is not the card's.
    if (holdsCardFile && holdCardFile(cardPath, held_->cardFile, wait).fault == fs::Fault::Busy) {
        error = kHeldElsewhere;
        return false;
    }
    return saved;
}

CardLock::CardLock(CardLock&& other) noexcept = default;

CardLock& CardLock::operator=(CardLock&& other) noexcept {
    if (this != &other) {
        release();
        held_ = std::move(other.held_);
    }
    return *this;
}

CardLock::~CardLock() {
    release();
}

std::string CardLock::path() const {
    return held_ ? held_->lockPath : std::string();
}

void CardLock::release() {
    if (held_) {
        // Another account's lock file in a shared folder may stay; it still locks. So does one
        // another program holds open without sharing its removal: it is not waited for, since
        // every run would wait again, and the next holder takes it as it is.
        if (!held_->lockPath.empty()) {
            fs::BoundedWait once(fs::kNoWait);
            (void)fs::removeFile(held_->lockPath, &once);
        }
        held_.reset();
    }
}

}  // namespace zendor::vcard
