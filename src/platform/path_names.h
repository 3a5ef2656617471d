// Paths taken apart and put together as the system reads them: '/' separates on Linux, and on
// Windows '\\' does too ("C:\cards\card.json", "sim:cards/card.json" alike), except in a verbatim
// path ("\\?\C:\cards\card.json"), which the system takes as typed: only '\\' separates there and
// '/' is a character of a name.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace zendor::platform {

enum class PathKind { Plain, Verbatim };

constexpr PathKind kindOfPath(std::string_view path) {
#ifdef _WIN32
    return path.starts_with("\\\\?\\") ? PathKind::Verbatim : PathKind::Plain;
#else
    (void)path;
    return PathKind::Plain;
#endif
}

// Whether c separates path components in a path of that kind.
constexpr bool isSeparator(char c, PathKind kind) {
#ifdef _WIN32
    return c == '\\' || (c == '/' && kind == PathKind::Plain);
#else
    (void)kind;
    return c == '/';
#endif
}

// Whether path is verbatim and holds what the system takes literally there, though it is path
// syntax everywhere else: '/', or a "." or ".." component (always false on Linux).
constexpr bool takesSyntaxLiterally(std::string_view path) {
    if (kindOfPath(path) != PathKind::Verbatim) {
        return false;
    }
    const std::string_view rest = path.substr(4);
    if (rest.find('/') != std::string_view::npos) {
        return true;
    }
    for (size_t start = 0; start <= rest.size();) {
        const size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string_view component = rest.substr(start, end - start);
        if (component == "." || component == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The folder holding what path names: "." for a bare name; a root keeps its separator
// ("/", and on Windows "C:\", "\" or "\\?\C:\").
std::string folderOf(std::string_view path);

// The last component of path (the whole of it when nothing separates).
std::string nameOf(std::string_view path);

// name inside folder, joined by the separator the folder already uses (on Windows, '\\' when it
// has none), so that a verbatim folder stays verbatim.
std::string pathIn(std::string_view folder, std::string_view name);

// Whether a last component names an entry of its folder (not ".", ".." or nothing).
constexpr bool isEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != "..";
}

// The device a last component stands for where Windows reserves names: CON, PRN, AUX, NUL,
// COM1 to COM9 and LPT1 to LPT9 (also with the superscript digits 1 to 3), CONIN$ and CONOUT$,
// in any letter case, and with any extension or stream after them and trailing dots or spaces,
// which Windows drops ("Aux.ini", "nul.tar.gz", "com1 .txt", "con:" and "lpt1. " are devices).
struct DeviceName {
    std::string device;  // in upper case; empty when the name is no device's
    bool bare = false;   // the device's name alone ("NUL", "nul.", "NUL:"): no extension
};
DeviceName deviceNameOf(std::string_view name);

// The device the system takes path for by its last component: on Windows, for a path that is
// not verbatim ("\\?\" paths are taken as typed); on Linux such names are ordinary files.
DeviceName deviceNamedBy(std::string_view path);

}  // namespace zendor::platform
