// The line rules shared by every INI lookup: blanks, comments, section heads, key matching and
// value extraction, applied to text held in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <span>
#include <string_view>

namespace zendor::ini {

// Characters of a line that are examined: [master] lookups use 127, the settings loader 255.
constexpr size_t kProfilePieceLength = 127;
constexpr size_t kStreamPieceLength = 255;

// A value as the lookups hand it over, and as the export writes it for them to read back: at
// most 127 characters and the terminator.
constexpr size_t kValueBufferSize = 128;
using ValueBuffer = std::array<char, kValueBufferSize>;

// Blanks are bytes 0x01 to 0x20 and 0x80 to 0xFF.
constexpr bool isBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x01 && byte <= 0x20) || byte >= 0x80;
}

// Copies at most destination.size() - 1 characters of source and terminates destination when it
// has room for one character; returns the length of source.
size_t copyBounded(std::span<char> destination, const char* source);

// Looks for key in section of text. Only the first pieceLength characters of a line (at most
// kStreamPieceLength) are examined, up to a NUL byte; the rest of a longer line is skipped, so
// line numbers count whole lines. value is made empty first and, when the key is found and value
// is not empty, receives the key's value cut to value.size() - 1 characters, at '#' or ';', and
// without trailing blanks.
// Returns the 0-based line number of the key, or -1 when it is not found or section or key is
// null or empty.
int findKeyInText(std::string_view text, const char* section, const char* key, size_t pieceLength,
                  std::span<char> value);

// The same on an open stream, read from its start to its end first. -1 also when the stream is
// null or cannot be set back to its start.
int findKeyInStream(std::FILE* stream, const char* section, const char* key, size_t pieceLength,
                    std::span<char> value);

// One key asked of findKeysInText; line and value are its answer, as findKeyInText gives them.
struct KeyLookup {
    const char* section = nullptr;
    const char* key = nullptr;
    std::span<char> value;
    int line = -1;
};

// Answers every lookup in one pass over text, exactly as findKeyInText would one by one, so that
// the cost does not grow with the number of keys asked.
void findKeysInText(std::string_view text, size_t pieceLength, std::span<KeyLookup> lookups);

}  // namespace zendor::ini
