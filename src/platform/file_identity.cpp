#include "platform/file_identity.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/wide_path.h"
#else
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>
#endif

#include "platform/path_names.h"

namespace zendor::platform {
namespace {

// A name that a path cannot end in for canonicalPath to put it in its folder's place.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != "..";
}

}  // namespace

#ifdef _WIN32

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened for no access at all, which works on files that others hold open; the backup flag lets
// a folder open too. Links are followed.
HANDLE openForIdentity(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool identityOf(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = openForIdentity(systemPath(path));
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return known;
}

// The verbatim path the system keeps for an existing file or folder ("\\?\C:\...").
bool finalPathOf(const std::wstring& path, std::wstring& final) {
    HANDLE handle = openForIdentity(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    final.assign(MAX_PATH, L'\0');
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), kFlags);
    if (length >= final.size()) {
        final.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                           kFlags);
    }
    CloseHandle(handle);
    final.resize(length < final.size() ? length : 0);
    return !final.empty();
}

// The verbatim path in the form users read ("C:\...", "\\server\share\..."), where that form
// reads back as the same path: not past MAX_PATH, and no name that the system would change (a
// trailing dot or space, a device name).
std::wstring readable(const std::wstring& verbatim) {
    std::wstring plain;
    if (verbatim.starts_with(L"\\\\?\\UNC\\")) {
        plain = L"\\\\" + verbatim.substr(8);
    } else if (verbatim.starts_with(L"\\\\?\\")) {
        plain = verbatim.substr(4);
    } else {
        return verbatim;
    }
    return plain.size() < MAX_PATH - 12 && fullPath(plain) == plain ? plain : verbatim;
}

}  // namespace

bool sameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return first != nullptr && second != nullptr && identityOf(first, a) && identityOf(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

std::string canonicalPath(const std::string& path) {
    const std::wstring whole = systemPath(path);
    std::wstring final;
    if (finalPathOf(whole, final)) {
        return utf8Text(readable(final));
    }
    // A verbatim path is taken as typed; any other is first read as the system reads it.
    const std::string full =
        kindOfPath(path) == PathKind::Verbatim ? path : utf8Text(fullPath(wideText(path)));
    const std::string name = nameOf(full);
    std::wstring folder;
    if (!isPlainName(name) || !finalPathOf(systemPath(folderOf(full)), folder)) {
        return path;
    }
    return utf8Text(readable(wideText(pathIn(utf8Text(folder), name))));
}

bool isDevice(const std::string& path) {
    const std::wstring typed = wideText(path);
    return typed.starts_with(L"\\\\.\\") || fullPath(typed).starts_with(L"\\\\.\\");
}

uint32_t nameCount(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    return identityOf(path.c_str(), info) ? info.nNumberOfLinks : 0;
}

#else

namespace {

// realpath(3), or nothing when the path cannot be resolved.
bool resolved(const std::string& path, std::string& real) {
    std::unique_ptr<char, decltype(&std::free)> found(::realpath(path.c_str(), nullptr),
                                                      &std::free);
    if (!found) {
        return false;
    }
    real = found.get();
    return true;
}

}  // namespace

bool sameFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return first != nullptr && second != nullptr && ::stat(first, &a) == 0 &&
           ::stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string canonicalPath(const std::string& path) {
    std::string real;
    if (resolved(path, real)) {
        return real;
    }
    const std::string name = nameOf(path);
    if (!isPlainName(name) || !resolved(folderOf(path), real)) {
        return path;
    }
    return pathIn(real, name);
}

bool isDevice(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 &&
           (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode));
}

uint32_t nameCount(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<uint32_t>(status.st_nlink) : 0;
}

#endif

}  // namespace zendor::platform
