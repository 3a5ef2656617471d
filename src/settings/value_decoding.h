// The syntax of a value in the configuration file: hexadecimal (the default), decimal, binary
// digits or a character string, chosen by a one-letter modifier after '|'. Every refusal prints
// one line on standard output and returns false.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zendor::settings {

// The dispatcher the loader calls: zeroes the first maxLength bytes of destination and the
// length, then decodes text (at most its first 127 characters) with the notation its modifier
// names. destination must hold at least maxLength bytes.
bool decodeValue(std::span<uint8_t> destination, uint8_t& length, std::string_view text,
                 uint8_t minLength, uint8_t maxLength, bool emptyAllowed);

// Hexadecimal bytes; blanks, ':' and '.' between digits are ignored. length may be null. A
// refused value leaves destination untouched.
bool decodeHex(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
               uint8_t minLength, uint8_t maxLength);

bool decodeDecimal(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                   uint8_t minLength, uint8_t maxLength);
bool decodeBinary(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength);
bool decodeString(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength);

}  // namespace zendor::settings
