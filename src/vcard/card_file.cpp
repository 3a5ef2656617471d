#include "vcard/card_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "vcard/card_json.h"

namespace zendor::vcard {
namespace {

// Card files are a few kilobytes; anything far larger is not one of ours.
constexpr std::streamsize kMaxCardFileSize = 16 * 1024 * 1024;

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr mode_t kNewFileMode = 0644;
constexpr const char* kChangedElsewhere = "another program changed it since it was read";

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in || in.bad()) {
        return std::nullopt;
    }
    return text;
}

// A temporary file in the same folder, filled, flushed to disk and renamed over path: a reader
// sees the old card or the new one, never a part.
bool writeAtomically(const std::string& path, const std::string& text, mode_t mode,
                     std::string& error) {
    std::string temp = folderOf(path) + "/.zendor-card-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = std::string("cannot create a file beside it: ") + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        return true;
    }
    error = std::string("cannot write it: ") + std::strerror(ok ? errno : savedErrno);
    ::unlink(temp.c_str());
    return false;
}

}  // namespace

ReadResult readCardFile(const std::string& path) {
    ReadResult result;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            result.status = ReadStatus::Missing;
        } else {
            result.error = std::strerror(errno);
        }
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = ReadStatus::Invalid;
        result.error = S_ISDIR(info.st_mode) ? "is a directory" : "is not a regular file";
        return result;
    }
    if (info.st_size > kMaxCardFileSize) {
        result.status = ReadStatus::Invalid;
        result.error = "too large for a card file";
        return result;
    }
    std::optional<std::string> text = readWhole(path);
    if (!text) {
        result.error = std::strerror(errno);
        return result;
    }
    result.card = parseCardJson(*text, result.error);
    result.status = result.card ? ReadStatus::Ok : ReadStatus::Invalid;
    if (result.card) {
        result.text = std::move(*text);
    }
    return result;
}

bool writeCardFile(const std::string& path, const CardState& card, std::string& error) {
    return writeAtomically(path, formatCardJson(card), kNewFileMode, error);
}

bool saveCardFile(const std::string& path, const CardState& card, std::string& expected,
                  std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = kChangedElsewhere;
        return false;
    }
    // Taking away the write permission is how a card file is protected; the rename of a save
    // would go past it (as would root), so it is looked at here.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0) {
        error = "it is read-only";
        return false;
    }
    // A program that does not take the lock (an editor, a copy) may have changed the file; its
    // change is not overwritten.
    if (readWhole(path) != expected) {
        error = kChangedElsewhere;
        return false;
    }
    std::string text = formatCardJson(card);
    if (!writeAtomically(path, text, info.st_mode & 07777, error)) {
        return false;
    }
    expected = std::move(text);
    return true;
}

std::optional<CardLock> CardLock::acquire(const std::string& cardPath, bool& busy) {
    busy = false;
    std::string lockPath = cardPath + ".lock";
    // A holder unlinks the lock file when it lets go; whoever locked the unlinked inode must try
    // again on the new one, or two holders could each lock a different inode.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            return std::nullopt;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            busy = errno == EWOULDBLOCK;
            ::close(fd);
            return std::nullopt;
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            return CardLock(lockPath, fd);
        }
        ::close(fd);
    }
    busy = true;
    return std::nullopt;
}

CardLock::CardLock(CardLock&& other) noexcept
    : lockPath_(std::move(other.lockPath_)), fd_(other.fd_) {
    other.fd_ = -1;
}

CardLock& CardLock::operator=(CardLock&& other) noexcept {
    if (this != &other) {
        release();
        lockPath_ = std::move(other.lockPath_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

CardLock::~CardLock() {
    release();
}

void CardLock::release() {
    if (fd_ >= 0) {
        ::unlink(lockPath_.c_str());
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace zendor::vcard
