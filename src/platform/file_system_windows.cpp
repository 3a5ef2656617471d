// Windows implementation of the file seam: wide calls on UTF-8 paths, MoveFileExW for atomic
// replacement, LockFileEx for locks, the read-only attribute for permissions.
//
// Files are opened with every share mode, FILE_SHARE_DELETE included, so that a save can rename
// over a card file another connection is reading and a lock file can be removed while held.
// Links are never followed where POSIX refuses them (FILE_FLAG_OPEN_REPARSE_POINT).
#include <windows.h>

#include <algorithm>
#include <array>

#include "platform/crypto.h"
#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Locks are taken on one byte far past any data, so that a locked card file can still be read
// through another handle (Windows locks are mandatory on the bytes they cover).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::wstring wide(const std::string& utf8) {
    return systemPath(utf8);
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
    return bytes;
}

// The system's own text for an error, without its line end and final period.
std::string errorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error) : utf8(text);
}

Outcome failure(DWORD error) {
    Fault fault = Fault::Other;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            fault = Fault::Missing;
            break;
        case ERROR_LOCK_VIOLATION:
        case ERROR_SHARING_VIOLATION:
            fault = Fault::Busy;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            fault = Fault::Denied;
            break;
        default:
            break;
    }
    return {fault, errorText(error)};
}

Outcome lastFailure() {
    return failure(GetLastError());
}

HANDLE handleOf(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native());
}

FileHandle adopt(HANDLE handle) {
    return FileHandle(handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(handle));
}

EntryKind kindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return EntryKind::Link;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return EntryKind::Directory;
    }
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::Other : EntryKind::Regular;
}

// What an open handle names: a link, a folder, or a file.
Outcome requireRegular(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return lastFailure();
    }
    switch (kindOf(info.dwFileAttributes)) {
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
HANDLE openEntry(const std::string& path, DWORD access) {
    return CreateFileW(wide(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

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
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Outcome{}
                                                                              : failure(error);
    }
    info.kind = kindOf(data.dwFileAttributes);
    info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // Windows has no permission bits: the read-only attribute takes away every write bit.
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    return {};
}

Outcome followLinks(const std::string& path, std::string& target) {
    target = path;
    FileInfo info;
    if (Outcome looked = inspect(path, info); !looked || info.kind != EntryKind::Link) {
        return looked;
    }
    // The system resolves the whole chain when the link is opened through.
    HANDLE handle = CreateFileW(wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastFailure();
    }
    FileHandle held = adopt(handle);
    std::wstring final(MAX_PATH, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length + 1);
        length =
            GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length == 0) {
        return lastFailure();
    }
    final.resize(length);
    // "\\?\C:\..." names the same file as "C:\..."; the short form is the one users read.
    if (final.starts_with(L"\\\\?\\") && final.size() > 6 && final[5] == L':') {
        final.erase(0, 4);
    }
    target = utf8(final);
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
    FileHandle probe = adopt(openEntry(path, FILE_WRITE_DATA));
    return probe.isOpen() ? Outcome{} : lastFailure();
}

Outcome readWholeFile(const std::string& path, uint64_t maxSize, std::string& text) {
    text.clear();
    FileHandle file = adopt(openEntry(path, GENERIC_READ));
    if (!file.isOpen()) {
        return lastFailure();
    }
    if (Outcome regular = requireRegular(handleOf(file)); !regular) {
        return regular;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(file), &size)) {
        return lastFailure();
    }
    if (static_cast<uint64_t>(size.QuadPart) > maxSize) {
        return {Fault::TooLarge, "too large"};
    }
    // The file may grow while it is read: one byte more than allowed says so.
    text.resize(static_cast<size_t>(size.QuadPart) + 1);
    size_t done = 0;
    while (true) {
        if (done == text.size()) {
            if (text.size() > maxSize) {
                text.clear();
                return {Fault::TooLarge, "too large"};
            }
            text.resize(std::min<uint64_t>(std::max<size_t>(text.size() * 2, 4096), maxSize + 1));
        }
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
        if (!ReadFile(handleOf(file), text.data() + done, wanted, &n, nullptr)) {
            text.clear();
            return lastFailure();
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    text.resize(done);
    return {};
}

Outcome createTemporaryFile(const std::string& folder, const std::string& prefix, FileHandle& file,
                            std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<uint8_t, 6> random{};
        if (!randomBytes(random)) {
            return {Fault::Other, "no random numbers"};
        }
        std::string entry = prefix;
        for (uint8_t byte : random) {
            entry += randomNameCharacter(byte);
        }
        name = pathIn(folder, entry);
        HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                    kShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
        if (!WriteFile(handleOf(file), text.data() + done, wanted, &n, nullptr)) {
            return lastFailure();
        }
        if (n == 0) {
            return failure(ERROR_WRITE_FAULT);
        }
        done += n;
    }
    return {};
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

Outcome replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? Outcome{}
               : lastFailure();
}

Outcome placeNewFile(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when to exists.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)
               ? Outcome{}
               : lastFailure();
}

Outcome removeFile(const std::string& path) {
    return DeleteFileW(wide(path).c_str()) ? Outcome{} : lastFailure();
}

Outcome syncFolder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on disk.
    return {};
}

Outcome openLockFile(const std::string& path, FileHandle& file) {
    const std::wstring name = wide(path);
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        // A folder this user may not write: an existing lock file is still good, and a missing
        // one is reported as missing, with the reason it could not be made.
        const Outcome cannotCreate = lastFailure();
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, kFlags,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            return {Fault::Missing, cannotCreate.text};
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return lastFailure();
    }
    file = adopt(handle);
    if (Outcome regular = requireRegular(handle); !regular) {
        file.close();
        return regular;
    }
    return {};
}

Outcome openForReading(const std::string& path, FileHandle& file) {
    file = adopt(openEntry(path, GENERIC_READ));
    if (!file.isOpen()) {
        return lastFailure();
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
    FileHandle current = adopt(openEntry(path, 0));
    return current.isOpen() && GetFileInformationByHandle(handleOf(file), &held) &&
           GetFileInformationByHandle(handleOf(current), &named) &&
           held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           held.nFileIndexHigh == named.nFileIndexHigh && held.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace zendor::platform
