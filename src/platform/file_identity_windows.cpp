// Windows: who a file is (volume serial number and file index) and the one spelling of its path.
#include <windows.h>

#include "platform/file_errors.h"
#include "platform/file_identity.h"
#include "platform/native_handle.h"
#include "platform/path_names.h"
#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

// The longest path the wide calls take, in characters.
constexpr size_t kLongestPath = 32768;

bool identityOf(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    FileHandle held = adopt(openFollowing(systemPath(path)));
    return held.isOpen() && GetFileInformationByHandle(handleOf(held), &info) != 0;
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
    return plain.size() < kLongestPlainPath && fullPath(plain) == plain ? plain : verbatim;
}

// "\\.\" opens the system's device namespace: a folder of a drive or a share under it
// ("\\.\C:\cards\card.json", "\\.\UNC\server\share\card.json") is a plain file; anything else
// ("\\.\NUL", "\\.\COM1", the volume "\\.\C:") is a device.
bool namesDevice(std::wstring_view path) {
    if (!path.starts_with(L"\\\\.\\")) {
        return false;
    }
    const std::wstring_view rest = path.substr(4);
    const bool inDrive = rest.size() > 3 && iswalpha(rest[0]) && rest[1] == L':' &&
                         (rest[2] == L'\\' || rest[2] == L'/');
    return !inDrive && !rest.starts_with(L"UNC\\");
}

}  // namespace

Outcome finalPathOf(const std::wstring& path, std::wstring& final) {
    final.clear();
    FileHandle held = adopt(openFollowing(path));
    if (!held.isOpen()) {
        return lastFailure();
    }
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    final.assign(kLongestPath, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handleOf(held), final.data(),
                                                   static_cast<DWORD>(final.size()), kFlags);
    if (length == 0 || length >= final.size()) {
        final.clear();
        return lastFailure();
    }
    final.resize(length);
    return {};
}

bool sameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return first != nullptr && second != nullptr && identityOf(first, a) && identityOf(second, b) &&
           sameIdentity(a, b);
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
    if (!isEntryName(name) || !existingPathOf(wideText(folderOf(whole)), canonical)) {
        return path;
    }
    return utf8Text(readable(wideText(pathIn(utf8Text(canonical), name))));
}

bool isDevice(const std::string& path) {
    const std::wstring typed = wideText(path);
    return namesDevice(typed) || namesDevice(fullPath(typed));
}

uint32_t nameCount(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    return identityOf(path.c_str(), info) ? info.nNumberOfLinks : 0;
}

}  // namespace zendor::platform
