// Hexadecimal text of byte strings, the tests' one formatter (and its parser), so that known
// answers read as they are published.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zendor::test {

enum class HexCase { Lower, Upper };

// Two digits per byte, separator between bytes: toHex({0x91, 0x00}, HexCase::Upper, " ") is
// "91 00".
inline std::string toHex(std::span<const uint8_t> bytes, HexCase letters = HexCase::Lower,
                         std::string_view separator = {}) {
    const std::string_view digits =
        letters == HexCase::Lower ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty()) {
            text += separator;
        }
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

// Two lower- or upper-case digits per byte; spaces between bytes are passed over ("90 5A 00").
inline std::vector<uint8_t> fromHex(std::string_view text) {
    auto nibble = [](char digit) { return digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10; };
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        if (text[i] == ' ') {
            --i;
            continue;
        }
        bytes.push_back(static_cast<uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1])));
    }
    return bytes;
}

}  // namespace zendor::test
