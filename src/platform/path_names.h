// Paths taken apart and put together as the system reads them: '/' separates on Linux, and on
// Windows '\\' does too ("C:\cards\card.json", "sim:cards/card.json" alike).
#pragma once

#include <string>
#include <string_view>

namespace zendor::platform {

// Whether c separates path components here.
constexpr bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// The folder holding what path names: "." for a bare name; a root keeps its separator
// ("/", and on Windows "C:\" or "\").
std::string folderOf(std::string_view path);

// The last component of path (the whole of it when nothing separates).
std::string nameOf(std::string_view path);

// name inside folder, with one separator between them.
std::string pathIn(std::string_view folder, std::string_view name);

}  // namespace zendor::platform
