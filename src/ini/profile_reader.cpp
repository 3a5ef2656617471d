// The INI profile reader: one key of one section of a file named by the caller.
#include "ini/profile_reader.h"

#include <algorithm>
#include <cstring>

#include "ini/file_text.h"
#include "ini/line_reader.h"

namespace zendor::ini {

int readProfileString(const char* fileName, const char* section, const char* key,
                      std::span<char> value, const char* defaultText) {
    const int line = findProfileKey(fileName, section, key, value);
    if (line == -1 && defaultText != nullptr) {
        return static_cast<int>(copyBounded(value, defaultText));
    }
    return line;
}

int findProfileKey(const char* fileName, const char* section, const char* key,
                   std::span<char> value) {
    if (!value.empty()) {
        value[0] = '\0';
    }
    if (fileName == nullptr || section == nullptr || key == nullptr || *section == '\0' ||
        *key == '\0') {
        return -1;
    }
    const FileText file = readFileText(fileName);
    return findKeyInText(file.bytes, section, key, kProfilePieceLength, value);
}

}  // namespace zendor::ini
