// The bytes a text written in the platform's text mode leaves in a file: each "\n" becomes
// "\r\n" on Windows, the line end of its text files, which every Windows editor reads.
#pragma once

#include <string>
#include <string_view>

namespace zendor::test {

inline std::string textModeBytes(std::string_view text) {
#ifdef _WIN32
    std::string bytes;
    for (char c : text) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    return bytes;
#else
    return std::string(text);
#endif
}

}  // namespace zendor::test
