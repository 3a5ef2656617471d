// Decoding of value texts in the four notations; every refusal prints its one-line reason.
#include "settings/value_decoding.h"

#include <algorithm>
#include <cstdio>

#include "ini/line_reader.h"
#include "text/hex.h"

namespace zendor::settings {

namespace {

constexpr size_t kMaxValueText = ini::kValueBufferSize - 1;

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isHexSkipped(char c) {
    return isWhiteSpace(c) || c == ':' || c == '.';
}

void refuse(std::string_view text, const char* reason) {
    std::printf("Value '%.*s' : %s\n", static_cast<int>(text.size()), text.data(), reason);
}

void refuseSize(std::string_view text, char relation, int bound) {
    std::printf("Value '%.*s' : size %c %d\n", static_cast<int>(text.size()), text.data(), relation,
                bound);
}

// The byte count check shared by the hexadecimal, binary and string notations.
bool sizeWithinBounds(std::string_view text, size_t count, uint8_t minLength, uint8_t maxLength) {
    if (count < minLength) {
        refuseSize(text, '<', minLength);
        return false;
    }
    if (count > maxLength) {
        refuseSize(text, '>', maxLength);
        return false;
    }
    return true;
}

void storeLength(uint8_t* length, size_t count) {
    if (length != nullptr) {
        *length = static_cast<uint8_t>(count);
    }
}

// The value part ends before the first '|' that follows a character other than '|'.
size_t modifierBar(std::string_view text) {
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '|' && text[i - 1] != '|') {
            return i;
        }
    }
    return std::string_view::npos;
}

using Decoder = bool (*)(std::span<uint8_t>, uint8_t*, std::string_view, uint8_t, uint8_t);

Decoder decoderFor(std::string_view modifier) {
    if (modifier.size() != 1) {
        return nullptr;
    }
    switch (modifier[0]) {
        case 'h':
        case 'H':
            return decodeHex;
        case 'd':
        case 'D':
            return decodeDecimal;
        case 'b':
        case 'B':
            return decodeBinary;
        case 's':
        case 'S':
            return decodeString;
        default:
            return nullptr;
    }
}

}  // namespace

bool decodeValue(std::span<uint8_t> destination, uint8_t& length, std::string_view text,
                 uint8_t minLength, uint8_t maxLength, bool emptyAllowed) {
    length = 0;
    if (destination.size() < maxLength) {
        return false;
    }
    std::fill_n(destination.begin(), maxLength, uint8_t{0});

    std::string_view work = text.substr(0, std::min(text.size(), kMaxValueText));
    work =
        work.substr(0, std::min(work.size(), work.find_first_of(std::string_view("\r\n;#\0", 5))));

    const size_t bar = modifierBar(work);
    const std::string_view value = work.substr(0, bar);
    std::string_view modifier = "h";
    if (bar != std::string_view::npos && bar + 1 < work.size()) {
        modifier = work.substr(bar + 1);
    }

    if (value.empty()) {
        if (emptyAllowed) {
            return true;
        }
        std::printf("Mandatory value left empty\n");
        return false;
    }
    const Decoder decoder = decoderFor(modifier);
    if (decoder == nullptr) {
        refuse(work, "invalid modifier");
        return false;
    }
    return decoder(destination, &length, value, minLength, maxLength);
}

bool decodeHex(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
               uint8_t minLength, uint8_t maxLength) {
    storeLength(length, 0);
    size_t digits = 0;
    for (const char c : text) {
        if (text::hexDigitValue(c) >= 0) {
            ++digits;
        } else if (!isHexSkipped(c)) {
            refuse(text, "not hexadecimal");
            return false;
        }
    }
    if (digits % 2 != 0) {
        refuse(text, "not an array of byte");
        return false;
    }
    const size_t count = digits / 2;
    if (!sizeWithinBounds(text, count, minLength, maxLength) || destination.size() < count) {
        return false;
    }
    size_t nibble = 0;
    for (const char c : text) {
        const int digit = text::hexDigitValue(c);
        if (digit < 0) {
            continue;
        }
        uint8_t& byte = destination[nibble / 2];
        byte =
            nibble % 2 == 0 ? static_cast<uint8_t>(digit << 4) : static_cast<uint8_t>(byte | digit);
        ++nibble;
    }
    storeLength(length, count);
    return true;
}

// Decimal fills the whole field, so it needs a field of one fixed length. The number must fit the
// field, and never more than 32 bits: a longer digit string is refused, not wrapped.
bool decodeDecimal(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                   uint8_t minLength, uint8_t maxLength) {
    storeLength(length, 0);
    if (minLength != maxLength) {
        refuse(text, "decimal not allowed in this context");
        return false;
    }
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        refuse(text, "not decimal");
        return false;
    }
    const int bits = maxLength >= 4 ? 32 : 8 * maxLength;
    const uint64_t limit = (uint64_t{1} << bits) - 1;
    uint64_t number = 0;
    for (const char c : text) {
        number = number * 10 + static_cast<uint64_t>(c - '0');
        if (number > limit) {
            std::printf("Value '%.*s' : overflow %d bits integer\n", static_cast<int>(text.size()),
                        text.data(), bits);
            return false;
        }
    }
    if (destination.size() < maxLength) {
        return false;
    }
    for (size_t i = maxLength; i > 0; --i) {
        destination[i - 1] = static_cast<uint8_t>(number & 0xFF);
        number >>= 8;
    }
    storeLength(length, maxLength);
    return true;
}

// Every character is checked before any byte is written, so a refusal leaves the destination as
// it was, like the other notations.
bool decodeBinary(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength) {
    storeLength(length, 0);
    if (text.size() % 8 != 0) {
        refuse(text, "not a multiple of 8 bits");
        return false;
    }
    const size_t count = text.size() / 8;
    if (!sizeWithinBounds(text, count, minLength, maxLength)) {
        return false;
    }
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; })) {
        refuse(text, "not binary");
        return false;
    }
    if (destination.size() < count) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = 0;
        for (size_t bit = 0; bit < 8; ++bit) {
            byte = static_cast<uint8_t>(byte << 1 | (text[i * 8 + bit] == '1' ? 1 : 0));
        }
        destination[i] = byte;
    }
    storeLength(length, count);
    return true;
}

bool decodeString(std::span<uint8_t> destination, uint8_t* length, std::string_view text,
                  uint8_t minLength, uint8_t maxLength) {
    storeLength(length, 0);
    if (!sizeWithinBounds(text, text.size(), minLength, maxLength) ||
        destination.size() < text.size()) {
        return false;
    }
    std::copy(text.begin(), text.end(), destination.begin());
    storeLength(length, text.size());
    return true;
}

}  // namespace zendor::settings
