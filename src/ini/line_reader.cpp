// Scanning INI text for keys: one key at a time, or every key of a caller in one pass.
#include "ini/line_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace zendor::ini {

namespace {

using LineBuffer = std::array<char, kStreamPieceLength + 1>;

// Copies the first pieceLength characters of the line at pos into line, terminated, and moves
// pos past the whole line, so that the tail of a long line is never taken for a line of its own
// (a setting in the tail of a long comment stays dead). False at the end of the text.
bool nextLine(std::string_view text, size_t& pos, LineBuffer& line, size_t pieceLength) {
    if (pos >= text.size()) {
        return false;
    }
    const std::string_view rest = text.substr(pos);
    const size_t newline = rest.find('\n');
    const size_t length = newline == std::string_view::npos ? rest.size() : newline + 1;
    const size_t kept = std::min(length, pieceLength);
    rest.copy(line.data(), kept);
    line[kept] = '\0';
    pos += length;
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

bool isName(const char* name) {
    return name != nullptr && *name != '\0';
}

void clearValue(std::span<char> value) {
    if (!value.empty()) {
        value[0] = '\0';
    }
}

// A section that lookups ask about, with the lookups still unanswered. A head closes the
// section it follows and opens only its own, so a repeated head closes the section.
struct SectionScan {
    const char* name = nullptr;
    size_t length = 0;
    bool inside = false;
    std::vector<KeyLookup*> open;
};

SectionScan& scanOf(std::vector<SectionScan>& scans, const char* section) {
    for (SectionScan& scan : scans) {
        if (std::strcmp(scan.name, section) == 0) {
            return scan;
        }
    }
    return scans.emplace_back(SectionScan{section, std::strlen(section), false, {}});
}

// Answers the open lookups that the key line p names; returns how many it answered.
size_t answerKeyLine(SectionScan& scan, const char* p, int lineNumber) {
    size_t answered = 0;
    for (auto it = scan.open.begin(); it != scan.open.end();) {
        KeyLookup& lookup = **it;
        if (*p != *lookup.key || !namesKey(p, lookup.key, std::strlen(lookup.key))) {
            ++it;
            continue;
        }
        if (!lookup.value.empty()) {
            extractValue(p + std::strlen(lookup.key), lookup.value);
        }
        lookup.line = lineNumber;
        it = scan.open.erase(it);
        ++answered;
    }
    return answered;
}

}  // namespace

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

int findKeyInText(std::string_view text, const char* section, const char* key, size_t pieceLength,
                  std::span<char> value) {
    clearValue(value);
    if (!isName(section) || !isName(key)) {
        return -1;
    }
    pieceLength = std::min(pieceLength, kStreamPieceLength);
    const size_t sectionLength = std::strlen(section);
    const size_t keyLength = std::strlen(key);
    LineBuffer line{};
    bool inside = false;
    size_t pos = 0;
    for (int lineNumber = 0; nextLine(text, pos, line, pieceLength); ++lineNumber) {
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

int findKeyInStream(std::FILE* stream, const char* section, const char* key, size_t pieceLength,
                    std::span<char> value) {
    clearValue(value);
    if (stream == nullptr || std::fseek(stream, 0, SEEK_SET) != 0) {
        return -1;
    }
    std::string text;
    std::array<char, 4096> chunk;
    size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        text.append(chunk.data(), count);
    }
    return findKeyInText(text, section, key, pieceLength, value);
}

void findKeysInText(std::string_view text, size_t pieceLength, std::span<KeyLookup> lookups) {
    std::vector<SectionScan> scans;
    size_t open = 0;
    for (KeyLookup& lookup : lookups) {
        lookup.line = -1;
        clearValue(lookup.value);
        if (isName(lookup.section) && isName(lookup.key)) {
            scanOf(scans, lookup.section).open.push_back(&lookup);
            ++open;
        }
    }
    pieceLength = std::min(pieceLength, kStreamPieceLength);
    LineBuffer line{};
    size_t pos = 0;
    for (int lineNumber = 0; open > 0 && nextLine(text, pos, line, pieceLength); ++lineNumber) {
        const char* p = skipBlanks(line.data());
        if (*p == '#' || *p == ';') {
            continue;
        }
        for (SectionScan& scan : scans) {
            if (*p == '[') {
                scan.inside = !scan.inside && opensSection(p + 1, scan.name, scan.length);
            } else if (scan.inside) {
                open -= answerKeyLine(scan, p, lineNumber);
            }
        }
    }
}

}  // namespace zendor::ini
