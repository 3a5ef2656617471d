// The syntax of a value in the configuration file: hexadecimal (the default), decimal, binary
// digits or a character string, chosen by a one-letter modifier after '|'. Every refusal prints
// one line on standard output and returns false.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zendor::settings {

// The dispatcher the loader calls: zeroes the first maxLength bytes of destination and the
// length, then decodes text (at most its first 127 characters, cut at CR, LF, ';' or '#') with
// the notation its modifier names. destination must hold at least maxLength bytes.
// Fails: "Mandatory value left empty" (empty value, emptyAllowed false); "Value '%s' : invalid
// modifier" (quoting the whole text); any failure of the chosen decoder; destination shorter than
// maxLength (no message).
bool decodeValue(std::span<uint8_t> destination, uint8_t& length, std::string_view text,
                 uint8_t minLength, uint8_t maxLength, bool emptyAllowed);

// The four decoders below quote text in their messages, set *length (when given) to 0 on failure
// and to the byte count on success, and check everything before they write: a refused value
// leaves destination untouched. A destination too short for the result fails without a message.

// Hexadecimal bytes; white space, ':' and '.' anywhere are ignored. length may be null.
// Fails: "not hexadecimal", "not an array of byte" (odd digit count), "size < %d", "size > %d".
bool decodeHex(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
               uint8_t minLength, uint8_t maxLength);

// An unsigned decimal number written big-endian over exactly maxLength bytes.
// Fails: "decimal not allowed in this context" (minLength != maxLength), "not decimal",
// "overflow %d bits integer" (8 x maxLength for 1 to 3 bytes, 32 for wider fields).
bool decodeDecimal(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                   uint8_t minLength, uint8_t maxLength);

// Groups of eight '0'/'1' characters, most significant bit first.
// Fails: "not a multiple of 8 bits", "size < %d", "size > %d", "not binary" (in this order).
bool decodeBinary(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength);

// The characters themselves, without a terminator. Fails: "size < %d", "size > %d".
bool decodeString(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength);

}  // namespace zendor::settings
