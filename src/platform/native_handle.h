// Windows only: the seam's FileHandle as a system handle, and the two ways the backend opens an
// existing entry.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace zendor::platform {

// Files are opened with every share mode, FILE_SHARE_DELETE included, so that a save can rename
// over a card file another connection is reading and a lock file can be removed while held.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline HANDLE handleOf(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native());
}

inline FileHandle adopt(HANDLE handle) {
    return FileHandle(handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(handle));
}

// An existing entry opened as itself: a link is not followed, and a folder opens too.
inline HANDLE openExisting(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opened for no access at all, which works on files that others hold open; the backup flag lets
// a folder open too. Links are followed: the system resolves the whole chain.
inline HANDLE openFollowing(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether two handles' information names one file: the volume and the file index.
inline bool sameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The verbatim path the system keeps for an existing file or folder ("\\?\C:\..."), links
// followed (file_identity_windows.cpp).
Outcome finalPathOf(const std::wstring& path, std::wstring& final);

}  // namespace zendor::platform

#endif
