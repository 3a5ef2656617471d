// Other spellings of one file's path, as users and scripts type them: every one reaches the same
// file, so whatever holds or guards that file must hold or guard it through each.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_names.h"

namespace zendor::test {

struct Spelling {
    std::string what;
    std::string path;
    bool ownName = false;  // a hard link: the same file under a name of its own
};

// path as the tests' own file calls take it, past 260 characters too.
inline std::string reachable(const std::string& path) {
#ifdef _WIN32
    return "\\\\?\\" + path;
#else
    return path;
#endif
}

// A folder whose path passes 260 characters, made inside parent.
inline std::string makeLongFolder(const std::string& parent) {
    std::string folder = parent;
    for (int depth = 0; folder.size() <= 300; ++depth) {
        folder = platform::pathIn(folder, std::string(60, 'd') + std::to_string(depth));
    }
    std::filesystem::create_directories(reachable(folder));
    return folder;
}

#ifdef _WIN32
// Under Wine, drive Z: is the Unix root, so every file has a second drive letter; nothing when
// the path is long (Wine gives no final path there, and only that tells two drives apart) or
// this is Windows itself.
inline std::string otherDrivePathOf(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (unixName == nullptr || path.size() >= MAX_PATH - 12) {
        return {};
    }
    char* found = unixName(std::filesystem::path(path).wstring().c_str());
    if (found == nullptr) {
        return {};
    }
    std::string other = std::string("Z:") + found;
    HeapFree(GetProcessHeap(), 0, found);
    // The drive's own folder, not its link among the drive letters.
    if (const size_t at = other.find("/dosdevices/c:/"); at != std::string::npos) {
        other.replace(at, 15, "/drive_c/");
    }
    std::replace(other.begin(), other.end(), '/', '\\');
    return other;
}

inline std::string shortPathOf(const std::string& path) {
    const std::wstring verbatim = std::filesystem::path("\\\\?\\" + path).wstring();
    std::wstring shortPath(32768, L'\0');
    const DWORD length =
        GetShortPathNameW(verbatim.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    shortPath.resize(length < shortPath.size() ? length : 0);
    std::string text = std::filesystem::path(shortPath).string();
    return text.starts_with("\\\\?\\") ? text.substr(4) : text;
}
#endif

// Spellings of path (absolute; its file may be missing when exists is false) that reach it. The
// helper adds what some need beside it: a folder "sub" (for ".."), a link to the folder and a
// hard link to the file where the system has them.
inline std::vector<Spelling> spellingsOf(const std::string& path, bool exists) {
    const std::string folder = platform::folderOf(path);
    const std::string name = platform::nameOf(path);
    std::filesystem::create_directories(reachable(platform::pathIn(folder, "sub")));
    std::vector<Spelling> all;
    // First: a save through any name replaces the file and leaves the link on the old one.
    if (exists) {
        std::filesystem::create_hard_link(reachable(path), reachable(path + "-hard"));
        all.push_back({"hard link", path + "-hard", true});
    }
#ifdef _WIN32
    std::string forward = path;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::string lowerDrive = path;
    lowerDrive[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    all.insert(all.end(), {
                              {"'/' separators", forward},
                              {"upper case", upper},
                              {"lower-case drive letter", lowerDrive},
                              {"'..'", folder + "\\sub\\..\\" + name},
                              {"trailing dot", path + "."},
                              {"trailing dots and spaces", path + ". ."},
                              {"verbatim", "\\\\?\\" + path},
                          });
    if (exists) {
        all.push_back({"8.3 name", shortPathOf(path)});
    }
    if (const std::string other = otherDrivePathOf(path); !other.empty()) {
        all.push_back({"another drive letter", other});
    }
#else
    all.insert(all.end(), {
                              {"'..'", folder + "/sub/../" + name},
                              {"'//' and '.'", folder + "//./" + name},
                          });
    std::error_code madeBefore;
    std::filesystem::create_directory_symlink(folder, folder + "-link", madeBefore);
    all.push_back({"linked folder", folder + "-link/" + name});
#endif
    std::error_code unrelated;
    const std::string relative = std::filesystem::relative(path, unrelated).string();
    if (!unrelated && !relative.empty()) {
        all.push_back({"relative", relative});
    }
    return all;
}

}  // namespace zendor::test
