// POSIX implementation of the file seam's calls; identity is file_identity_posix.cpp's.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/whole_write.h"

namespace zendor::platform {
namespace {

Outcome failure(int error) {
    Fault fault = Fault::Other;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            fault = Fault::Missing;
            break;
        case EWOULDBLOCK:
            fault = Fault::Busy;
            break;
        case ELOOP:
            fault = Fault::Link;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            fault = Fault::Denied;
            break;
        default:
            break;
    }
    return {fault, std::strerror(error)};
}

Outcome lastFailure() {
    return failure(errno);
}

int fd(const FileHandle& file) {
    return static_cast<int>(file.native());
}

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::Regular;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::Directory;
    }
    return S_ISLNK(mode) ? EntryKind::Link : EntryKind::Other;
}

std::chrono::system_clock::time_point modifiedAt(const struct stat& status) {
    using std::chrono::duration_cast;
    const auto since = std::chrono::seconds(status.st_mtim.tv_sec) +
                       std::chrono::nanoseconds(status.st_mtim.tv_nsec);
    return std::chrono::system_clock::time_point(
        duration_cast<std::chrono::system_clock::duration>(since));
}

}  // namespace

Outcome FileHandle::close() {
    if (native_ == -1) {
        return {};
    }
    int result = ::close(static_cast<int>(native_));
    native_ = -1;
    return result == 0 ? Outcome{} : lastFailure();
}

Outcome inspect(const std::string& path, FileInfo& info) {
    info = FileInfo{};
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? Outcome{} : lastFailure();
    }
    info.kind = kindOf(status.st_mode);
    info.size = static_cast<uint64_t>(status.st_size);
    info.permissions = status.st_mode & 0777;
    info.owner = status.st_uid;
    info.group = status.st_gid;
    info.modified = modifiedAt(status);
    return {};
}

Outcome followLinks(const std::string& path, std::string& target) {
    target = path;
    // The system's own bound on a chain of links.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return {};
        }
        std::string next(static_cast<size_t>(status.st_size) + 256, '\0');
        ssize_t length = ::readlink(target.c_str(), next.data(), next.size());
        if (length < 0) {
            return lastFailure();
        }
        next.resize(static_cast<size_t>(length));
        target = next.starts_with('/') ? next : pathIn(folderOf(target), next);
    }
    return failure(ELOOP);
}

Outcome mayWrite(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0 ? Outcome{} : lastFailure();
}

Outcome readWholeFile(const std::string& path, uint64_t maxSize, std::string& text, BoundedWait*) {
    text.clear();
    FileHandle file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!file.isOpen()) {
        return lastFailure();
    }
    struct stat status {};
    if (::fstat(fd(file), &status) != 0) {
        return lastFailure();
    }
    if (!S_ISREG(status.st_mode)) {
        return {Fault::NotRegular,
                S_ISDIR(status.st_mode) ? "is a directory" : "is not a regular file"};
    }
    return readToEnd(file, maxSize, static_cast<uint64_t>(status.st_size), text);
}

Outcome readSome(FileHandle& file, std::span<char> buffer, size_t& count) {
    count = 0;
    while (true) {
        const ssize_t n = ::read(fd(file), buffer.data(), buffer.size());
        if (n >= 0) {
            count = static_cast<size_t>(n);
            return {};
        }
        if (errno != EINTR) {
            return lastFailure();
        }
    }
}

Outcome listFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    const auto closeFolder = [](DIR* opened) { ::closedir(opened); };
    std::unique_ptr<DIR, decltype(closeFolder)> entries(::opendir(folder.c_str()), closeFolder);
    if (!entries) {
        return lastFailure();
    }
    errno = 0;
    while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return errno == 0 ? Outcome{} : lastFailure();
}

Outcome createTemporaryFile(const std::string& folder, const std::string& prefix, FileHandle& file,
                            std::string& name) {
    static_assert(kTemporaryRandomLength == 6, "mkostemp fills in exactly six characters");
    name = pathIn(folder, prefix + std::string(kTemporaryRandomLength, 'X'));
    // mkstemp makes the file 0600 whatever the umask.
    int made = ::mkostemp(name.data(), O_CLOEXEC);
    if (made < 0) {
        return lastFailure();
    }
    file = FileHandle(made);
    return {};
}

Outcome writeAll(FileHandle& file, const std::string& text) {
    const auto writeSome = [&](std::span<const char> piece, size_t& written) {
        while (true) {
            const ssize_t n = ::write(fd(file), piece.data(), piece.size());
            if (n >= 0) {
                written = static_cast<size_t>(n);
                return n == 0 ? failure(EIO) : Outcome{};
            }
            if (errno != EINTR) {
                return lastFailure();
            }
        }
    };
    return writeWhole(writeSome, text);
}

Outcome syncFile(FileHandle& file) {
    return ::fsync(fd(file)) == 0 ? Outcome{} : lastFailure();
}

Outcome setPermissions(FileHandle& file, uint32_t permissions) {
    return ::fchmod(fd(file), static_cast<mode_t>(permissions & 07777)) == 0 ? Outcome{}
                                                                             : lastFailure();
}

Outcome setOwner(FileHandle& file, uint32_t owner, uint32_t group) {
    return ::fchown(fd(file), owner, group) == 0 ? Outcome{} : lastFailure();
}

Outcome replaceFile(const std::string& from, const std::string& to, BoundedWait*) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? Outcome{} : lastFailure();
}

Outcome placeNewFile(const std::string& from, const std::string& to, BoundedWait*) {
    // A hard link fails when to exists; the temporary name then goes.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return lastFailure();
    }
    ::unlink(from.c_str());
    return {};
}

Outcome removeFile(const std::string& path, BoundedWait*) {
    return ::unlink(path.c_str()) == 0 ? Outcome{} : lastFailure();
}

Outcome syncFolder(const std::string& folder) {
    FileHandle handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!handle.isOpen()) {
        return lastFailure();
    }
    // Some file systems cannot sync a folder; what they keep is theirs to keep.
    if (::fsync(fd(handle)) != 0 && errno != EINVAL && errno != ENOTSUP) {
        return lastFailure();
    }
    return {};
}

Outcome openLockFile(const std::string& path, FileHandle& file, BoundedWait*) {
    // Read-only is enough for flock; O_NOFOLLOW refuses a planted link, O_CREAT alone never
    // creates at a link's target when O_NOFOLLOW is given.
    int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int made = ::open(path.c_str(), flags | O_CREAT, 0644);
    if (made < 0 && (errno == EACCES || errno == EROFS)) {
        // A folder this user may not write: an existing lock file is still good, and a missing
        // one is reported as missing, with the reason it could not be made.
        Outcome cannotCreate = lastFailure();
        made = ::open(path.c_str(), flags);
        if (made < 0 && errno == ENOENT) {
            return {Fault::Missing, cannotCreate.text};
        }
    }
    if (made < 0) {
        return lastFailure();
    }
    file = FileHandle(made);
    struct stat status {};
    if (::fstat(made, &status) == 0 && !S_ISREG(status.st_mode)) {
        file.close();
        return {Fault::NotRegular, "is not a regular file"};
    }
    return {};
}

Outcome openForReading(const std::string& path, FileHandle& file, BoundedWait*) {
    file = FileHandle(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    return file.isOpen() ? Outcome{} : lastFailure();
}

Outcome tryLock(FileHandle& file) {
    while (::flock(fd(file), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return lastFailure();
        }
    }
    return {};
}

bool stillNamed(const FileHandle& file, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd(file), &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace zendor::platform
