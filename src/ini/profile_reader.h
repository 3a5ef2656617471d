// The value of one key in one section of an INI file, with the line rules of the configuration
// file: blanks are bytes 0x01-0x20 and 0x80-0xFF, ';' and '#' start comments, '=', ':' or blanks
// separate key and value, names are case-sensitive, the first match in the section wins.
#pragma once

#include <cstddef>
#include <span>

namespace zendor::ini {

// Fills value (always terminated when it has room for one character) with the key's value, or
// with defaultText (may be null) when the key is not found. Returns the 0-based line number of
// the key; when not found, the length of defaultText, or -1 without one.
int readProfileString(const char* fileName, const char* section, const char* key,
                      std::span<char> value, const char* defaultText);

// The lookup behind it: the 0-based line number of the key, or -1 when the key is not found, the
// file cannot be read whole (see readFileText), or the section or key name is empty. An empty value
// span finds the line without copying.
int findProfileKey(const char* fileName, const char* section, const char* key,
                   std::span<char> value);

}  // namespace zendor::ini
