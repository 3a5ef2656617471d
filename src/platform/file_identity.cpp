#include "platform/file_identity.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/wide_path.h"
#else
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#endif

#include "platform/path_names.h"

namespace zendor::platform {
namespace {

// Whether a last component names an entry of its folder (not ".", ".." or nothing), so that a
// missing file can be put in its folder's canonical path.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != "..";
}

}  // namespace

#ifdef _WIN32

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The longest path the wide calls take, in characters.
constexpr size_t kLongestPath = 32768;

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
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    final.assign(kLongestPath, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), kFlags);
    CloseHandle(handle);
    final.resize(length < final.size() ? length : 0);
    return !final.empty();
}

// Where the system cannot tell the final path (Wine past MAX_PATH): each name of an existing
// verbatim path as its folder spells it, which settles 8.3 names and letter case.
bool spelledByFolders(const std::wstring& verbatim, std::wstring& spelled) {
    if (verbatim.find_first_of(L"*?", 4) != std::wstring::npos) {
        return false;  // a pattern, which the search below would match against other names
    }
    // The root ("\\?\C:\", "\\?\UNC\server\share\") is kept as it is.
    const size_t separators = verbatim.starts_with(L"\\\\?\\UNC\\") ? 6 : 4;
    size_t at = 0;
    for (size_t seen = 0; seen < separators && at != std::wstring::npos; ++seen) {
        at = verbatim.find(L'\\', seen == 0 ? 0 : at + 1);
    }
    if (at == std::wstring::npos) {
        return false;
    }
    spelled = verbatim.substr(0, at + 1);
    if (separators == 4 && spelled.size() == 7 && spelled[5] == L':') {
        spelled[4] = static_cast<wchar_t>(towupper(spelled[4]));
    }
    for (size_t start = at + 1; start < verbatim.size();) {
        size_t end = verbatim.find(L'\\', start);
        end = end == std::wstring::npos ? verbatim.size() : end;
        WIN32_FIND_DATAW found{};
        HANDLE search =
            FindFirstFileW((spelled + verbatim.substr(start, end - start)).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return false;
        }
        FindClose(search);
        spelled += found.cFileName;
        if (end < verbatim.size()) {
            spelled += L'\\';
        }
        start = end + 1;
    }
    return true;
}

bool existingPathOf(const std::wstring& verbatim, std::wstring& canonical) {
    return finalPathOf(verbatim, canonical) || spelledByFolders(verbatim, canonical);
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
    const std::wstring verbatim = verbatimPath(path);
    std::wstring canonical;
    if (existingPathOf(verbatim, canonical)) {
        return utf8Text(readable(canonical));
    }
    // A missing file: its name in its folder's spelling.
    const std::string whole = utf8Text(verbatim);
    const std::string name = nameOf(whole);
    if (!isPlainName(name) || !existingPathOf(wideText(folderOf(whole)), canonical)) {
        return path;
    }
    return utf8Text(readable(wideText(pathIn(utf8Text(canonical), name))));
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
