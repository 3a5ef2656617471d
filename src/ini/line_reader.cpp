// Scanning an INI stream for one key of one section.
#include "ini/line_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ini/profile_reader.h"

namespace zendor::ini {

namespace {

using LineBuffer = std::array<char, kStreamPieceLength + 1>;

// Reads one whole line and keeps its first pieceLength characters, terminated. A line longer
// than that is read to its end all the same, so that its tail is never taken for a line of its
// own (a setting in the tail of a long comment stays dead). False at the end of the stream.
bool readLine(std::FILE* stream, LineBuffer& line, size_t pieceLength) {
    size_t kept = 0;
    int c = std::fgetc(stream);
    if (c == EOF) {
        return false;
    }
    while (c != EOF) {
        if (kept < pieceLength) {
            line[kept++] = static_cast<char>(c);
        }
        if (c == '\n') {
            break;
        }
        c = std::fgetc(stream);
    }
    line[kept] = '\0';
    return true;
}

const char* skipBlanks(const char* p) {
    while (isBlank(*p)) {
        ++p;
    }
    return p;
}

bool opensSection(const char* head, const char* section, size_t sectionLength) {
    return std::strncmp(head, section, sectionLength) == 0 && head[sectionLength] == ']';
}

bool namesKey(const char* p, const char* key, size_t keyLength) {
    if (std::strncmp(p, key, keyLength) != 0) {
        return false;
    }
    const char next = p[keyLength];
    return next == ' ' || next == '\t' || next == ':' || next == '=';
}

void extractValue(const char* afterKey, std::span<char> value) {
    const char* p = afterKey;
    while (isBlank(*p) || *p == ':' || *p == '=') {
        ++p;
    }
    copyBounded(value, p);
    size_t length = std::strcspn(value.data(), "#;");
    value[length] = '\0';
    while (length > 0 && isBlank(value[length - 1])) {
        value[--length] = '\0';
    }
}

}  // namespace

int findKeyInStream(std::FILE* stream, const char* section, const char* key, size_t pieceLength,
                    std::span<char> value) {
    if (!value.empty()) {
        value[0] = '\0';
    }
    if (stream == nullptr || section == nullptr || key == nullptr || *section == '\0' ||
        *key == '\0' || std::fseek(stream, 0, SEEK_SET) != 0) {
        return -1;
    }
    pieceLength = std::min(pieceLength, kStreamPieceLength);
    const size_t sectionLength = std::strlen(section);
    const size_t keyLength = std::strlen(key);
    LineBuffer line{};
    bool inside = false;
    for (int lineNumber = 0; readLine(stream, line, pieceLength); ++lineNumber) {
        const char* p = skipBlanks(line.data());
        if (*p == '#' || *p == ';') {
            continue;
        }
        if (*p == '[') {
            inside = !inside && opensSection(p + 1, section, sectionLength);
            continue;
        }
        if (!inside || !namesKey(p, key, keyLength)) {
            continue;
        }
        if (!value.empty()) {
            extractValue(p + keyLength, value);
        }
        return lineNumber;
    }
    return -1;
}

}  // namespace zendor::ini
