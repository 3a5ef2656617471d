// The line rules shared by every INI lookup: blanks, comments, section heads, key matching and
// value extraction, applied to an open stream read line by line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>

namespace zendor::ini {

// Characters of a line that are examined: [master] lookups use 127, the settings loader 255.
constexpr size_t kProfilePieceLength = 127;
constexpr size_t kStreamPieceLength = 255;

// Blanks are bytes 0x01 to 0x20 and 0x80 to 0xFF.
constexpr bool isBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x01 && byte <= 0x20) || byte >= 0x80;
}

// Sets stream back to its start and looks for key in section. Only the first pieceLength
// characters of a line (at most kStreamPieceLength) are examined; the rest of a longer line is
// skipped, so line numbers count whole lines. value is made empty first and, when the key is
// found and value is not empty, receives the key's value cut to value.size() - 1 characters, at
// '#' or ';', and without trailing blanks.
// Returns the 0-based line number of the key, or -1 when it is not found, section or key is null
// or empty, or the stream cannot be set back to its start.
int findKeyInStream(std::FILE* stream, const char* section, const char* key, size_t pieceLength,
                    std::span<char> value);

}  // namespace zendor::ini
