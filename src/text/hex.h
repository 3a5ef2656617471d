// Bytes as upper-case hexadecimal digits, two per byte and nothing between: how the exported
// settings, the card file and the logs all write them. Header only, so that every folder may use
// it without a dependency.
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

}  // namespace zendor::text
