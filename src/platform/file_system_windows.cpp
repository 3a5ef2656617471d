// Windows implementation of the file seam's calls: wide calls on UTF-8 paths, LockFileEx for
// locks, the read-only attribute for permissions. Links are never followed where POSIX refuses
// them (FILE_FLAG_OPEN_REPARSE_POINT). Replacing a file is file_replace_windows.cpp's, identity
// file_identity_windows.cpp's; what another program holds open is waited for (held_open.h).
#include <windows.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/crypto.h"
#include "platform/entry_kind.h"
#include "platform/file_errors.h"
#include "platform/file_system.h"
#include "platform/held_open.h"
#include "platform/native_handle.h"
#include "platform/owner_only.h"
#include "platform/path_names.h"
#include "platform/whole_write.h"
#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

// Locks are taken on one byte far past any data, so that a locked card file can still be read
// through another handle (Windows locks are mandatory on the bytes they cover).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// A file time (100 ns steps since 1601) on the system clock (since 1970).
std::chrono::system_clock::time_point timeOf(FILETIME time) {
    constexpr uint64_t kStepsFrom1601To1970 = 116444736000000000ULL;
    const uint64_t steps = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const auto since = std::chrono::duration<int64_t, std::ratio<1, 10000000>>(
        static_cast<int64_t>(steps - kStepsFrom1601To1970));
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kAttributeDevice == FILE_ATTRIBUTE_DEVICE &&
              kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(IsReparseTagNameSurrogate(kTagNameSurrogate) &&
              IsReparseTagNameSurrogate(IO_REPARSE_TAG_SYMLINK) &&
              IsReparseTagNameSurrogate(IO_REPARSE_TAG_MOUNT_POINT));

// A reparse point whose tag cannot be read is taken for a link, never followed.
constexpr DWORD kUnknownTag = kTagNameSurrogate;

// What an open entry is: its attributes and, for a reparse point, its tag.
Outcome kindOfOpen(HANDLE handle, EntryKind& kind) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
        BY_HANDLE_FILE_INFORMATION plain{};
        if (!GetFileInformationByHandle(handle, &plain)) {
            return lastFailure();
        }
        info = {plain.dwFileAttributes, kUnknownTag};
    }
    kind = entryKindOf(info.FileAttributes, info.ReparseTag);
    return {};
}

// What path names, from its attributes; the tag of a reparse point is read from the entry itself
// (opened for no access, which no holder refuses).
EntryKind kindOfNamed(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return entryKindOf(attributes, 0);
    }
    FileHandle entry = adopt(openExisting(path, 0));
    EntryKind kind = EntryKind::Link;
    if (!entry.isOpen() || !kindOfOpen(handleOf(entry), kind)) {
        return entryKindOf(attributes, kUnknownTag);
    }
    return kind;
}

// What an open handle names: a link, a folder, or a file.
Outcome requireRegular(HANDLE handle) {
    EntryKind kind = EntryKind::Missing;
    if (Outcome known = kindOfOpen(handle, kind); !known) {
        return known;
    }
    switch (kind) {
        case EntryKind::Regular:
            return {};
        case EntryKind::Link:
            return {Fault::Link, "is a symbolic link"};
        case EntryKind::Directory:
            return {Fault::NotRegular, "is a directory"};
        default:
            return {Fault::NotRegular, "is not a regular file"};
    }
}

// An existing entry opened as itself (a link is not followed); folders open too, so that they
// can be told apart from files.
Outcome openEntry(const std::string& path, DWORD access, FileHandle& file, BoundedWait* wait) {
    const std::wstring name = systemPath(path);
    return retryWhileHeld(name, wait, [&] {
        file = adopt(openExisting(name, access));
        return errorOf(file.isOpen());
    });
}

// Never '~' or '_', which spareNameOf puts in a name's last place.
char randomNameCharacter(uint8_t byte) {
    static constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";
    return kCharacters[byte % kCharacters.size()];
}

}  // namespace

Outcome FileHandle::close() {
    if (native_ == -1) {
        return {};
    }
    const BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(native_));
    native_ = -1;
    return closed ? Outcome{} : lastFailure();
}

Outcome inspect(const std::string& path, FileInfo& info) {
    info = FileInfo{};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring name = systemPath(path);
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Outcome{}
                                                                              : failure(error);
    }
    info.kind = kindOfNamed(name, data.dwFileAttributes);
    info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // Windows has no permission bits: the read-only attribute takes away every write bit.
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    info.modified = timeOf(data.ftLastWriteTime);
    return {};
}

Outcome followLinks(const std::string& path, std::string& target) {
    target = path;
    FileInfo info;
    if (Outcome looked = inspect(path, info); !looked || info.kind != EntryKind::Link) {
        return looked;
    }
    std::wstring final;
    if (Outcome found = finalPathOf(systemPath(path), final); !found) {
        return found;
    }
    // "\\?\C:\..." names the same file as "C:\..."; the short form is the one users read.
    if (final.starts_with(L"\\\\?\\") && final.size() > 6 && final[5] == L':') {
        final.erase(0, 4);
    }
    target = utf8Text(final);
    return {};
}

Outcome mayWrite(const std::string& path) {
    FileInfo info;
    if (Outcome looked = inspect(path, info); !looked) {
        return looked;
    }
    switch (info.kind) {
        case EntryKind::Missing:
            return failure(ERROR_FILE_NOT_FOUND);
        case EntryKind::Directory:
            // A folder's read-only attribute means nothing to Windows; the save itself will tell.
            return {};
        default:
            break;
    }
    if ((info.permissions & 0222) == 0) {
        return failure(ERROR_ACCESS_DENIED);
    }
    // Rights are checked before sharing: a holder that shares no writing says nothing of them.
    // A refusal here is the access list's, not the read-only attribute's.
    FileHandle probe = adopt(openExisting(systemPath(path), FILE_WRITE_DATA));
    const DWORD error = probe.isOpen() ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION) {
        return {};
    }
    return {error == ERROR_ACCESS_DENIED ? Fault::Other : failure(error).fault, errorText(error)};
}

Outcome readWholeFile(const std::string& path, uint64_t maxSize, std::string& text,
                      BoundedWait* wait) {
    text.clear();
    FileHandle file;
    if (Outcome opened = openEntry(path, GENERIC_READ, file, wait); !opened) {
        return opened;
    }
    if (Outcome regular = requireRegular(handleOf(file)); !regular) {
        return regular;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(file), &size)) {
        return lastFailure();
    }
    return readToEnd(file, maxSize, static_cast<uint64_t>(size.QuadPart), text);
}

Outcome readSome(FileHandle& file, std::span<char> buffer, size_t& count) {
    DWORD n = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), 1u << 30));
    const BOOL done = ReadFile(handleOf(file), buffer.data(), wanted, &n, nullptr);
    count = done ? n : 0;
    return done ? Outcome{} : lastFailure();
}

Outcome listFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(systemPath(pathIn(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return lastFailure();
    }
    do {
        const std::string name = utf8Text(found.cFileName);
        if (isEntryName(name)) {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? Outcome{} : failure(error);
}

Outcome createTemporaryFile(const std::string& folder, const std::string& prefix, FileHandle& file,
                            std::string& name) {
    OwnerOnlyRights rights;
    if (Outcome made = makeOwnerOnly(rights); !made) {
        return made;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<uint8_t, kTemporaryRandomLength> random{};
        if (!randomBytes(random)) {
            return {Fault::Other, "no random numbers"};
        }
        std::string entry = prefix;
        for (uint8_t byte : random) {
            entry += randomNameCharacter(byte);
        }
        name = pathIn(folder, entry);
        HANDLE handle =
            CreateFileW(systemPath(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll,
                        &rights.attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file = adopt(handle);
            return {};
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return lastFailure();
        }
    }
    return failure(ERROR_FILE_EXISTS);
}

Outcome writeAll(FileHandle& file, const std::string& text) {
    const auto writeSome = [&](std::span<const char> piece, size_t& written) {
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(piece.size(), 1u << 30));
        if (!WriteFile(handleOf(file), piece.data(), wanted, &n, nullptr)) {
            return lastFailure();
        }
        written = n;
        return n == 0 ? failure(ERROR_WRITE_FAULT) : Outcome{};
    };
    return writeWhole(writeSome, text);
}

Outcome syncFile(FileHandle& file) {
    return FlushFileBuffers(handleOf(file)) ? Outcome{} : lastFailure();
}

Outcome setPermissions(FileHandle& file, uint32_t permissions) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &info, sizeof info)) {
        return lastFailure();
    }
    const DWORD others =
        info.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
    info.FileAttributes = (permissions & 0222) != 0 ? (others != 0 ? others : FILE_ATTRIBUTE_NORMAL)
                                                    : others | FILE_ATTRIBUTE_READONLY;
    return SetFileInformationByHandle(handleOf(file), FileBasicInfo, &info, sizeof info)
               ? Outcome{}
               : lastFailure();
}

Outcome setOwner(FileHandle&, uint32_t, uint32_t) {
    // A new file is its creator's; Windows has no numeric owner to carry over.
    return {};
}

Outcome removeFile(const std::string& path, BoundedWait* wait) {
    const std::wstring name = systemPath(path);
    return retryWhileHeld(name, wait, [&] { return errorOf(DeleteFileW(name.c_str())); });
}

Outcome syncFolder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on disk.
    return {};
}

Outcome openLockFile(const std::string& path, FileHandle& file, BoundedWait* wait) {
    const std::wstring name = systemPath(path);
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    // Only the open waits for another program; the lock byte is tried once, by tryLock.
    const Outcome opened = retryWhileHeld(name, wait, [&] {
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS, kFlags,
                             nullptr);
        error = errorOf(handle != INVALID_HANDLE_VALUE);
        return error;
    });
    if (error == ERROR_ACCESS_DENIED && opened.fault != Fault::HeldOpen) {
        // A folder this user may not write: an existing lock file is still good, and a missing
        // one is reported as missing, with the reason it could not be made.
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, kFlags,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            return {Fault::Missing, opened.text};
        }
        if (handle == INVALID_HANDLE_VALUE) {
            return lastFailure();
        }
    } else if (!opened) {
        return opened;
    }
    file = adopt(handle);
    if (Outcome regular = requireRegular(handle); !regular) {
        file.close();
        return regular;
    }
    return {};
}

Outcome openForReading(const std::string& path, FileHandle& file, BoundedWait* wait) {
    if (Outcome opened = openEntry(path, GENERIC_READ, file, wait); !opened) {
        return opened;
    }
    if (Outcome regular = requireRegular(handleOf(file)); !regular) {
        file.close();
        return regular;
    }
    return {};
}

Outcome tryLock(FileHandle& file) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &at)
               ? Outcome{}
               : lastFailure();
}

bool stillNamed(const FileHandle& file, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION held{};
    BY_HANDLE_FILE_INFORMATION named{};
    FileHandle current = adopt(openExisting(systemPath(path), 0));
    return current.isOpen() && GetFileInformationByHandle(handleOf(file), &held) &&
           GetFileInformationByHandle(handleOf(current), &named) && sameIdentity(held, named);
}

}  // namespace zendor::platform
