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

size_t copyBounded(std::span<char> destination, const char* source) {
    const size_t sourceLength = source == nullptr ? 0 : std::strlen(source);
    if (!destination.empty()) {
        const size_t copied = std::min(sourceLength, destination.size() - 1);
        if (copied > 0) {
            std::memcpy(destination.data(), source, copied);
        }
        destination[copied] = '\0';
    }
    return sourceLength;
}

}  // namespace zendor::ini
