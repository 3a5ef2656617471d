// Bytes as upper-case hexadecimal digits, two per byte and nothing between: how the exported
// settings, the card file and the logs all write them, and how the configuration, the card file
// and the command lines are read back. Header only, so that every folder may use it without a
// dependency.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zendor::text {

// Writes 2 * bytes.size() digits to the start of out, which must hold them.
constexpr void writeHex(std::span<const uint8_t> bytes, std::span<char> out) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
}

inline std::string toHex(std::span<const uint8_t> bytes) {
    std::string text(2 * bytes.size(), '\0');
    writeHex(bytes, text);
    return text;
}

// The card file is written in upper case only; people may type either.
enum class HexLetters { AnyCase, UpperOnly };

// The value of one hexadecimal digit; -1 for any other character.
constexpr int hexDigitValue(char c, HexLetters letters = HexLetters::AnyCase) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (letters == HexLetters::AnyCase && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Fills out from text, which must be exactly two digits per byte and nothing else; false, with
// out untouched, otherwise.
constexpr bool parseHex(std::string_view text, std::span<uint8_t> out,
                        HexLetters letters = HexLetters::AnyCase) {
    if (text.size() != 2 * out.size()) {
        return false;
    }
    for (const char c : text) {
        if (hexDigitValue(c, letters) < 0) {
            return false;
        }
    }
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(hexDigitValue(text[2 * i], letters) << 4 |
                                      hexDigitValue(text[2 * i + 1], letters));
    }
    return true;
}

}  // namespace zendor::text
