// Value texts in every notation: the bytes they give or the one line that refuses them.
#include "settings/value_decoding.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "settings/table_text.h"

namespace zendor::settings {
namespace {

using zendor::test::hexOf;

struct Case {
    std::string text;
    uint8_t minLength;
    uint8_t maxLength;
    bool emptyAllowed;
    const char* bytes;  // expected value bytes in hexadecimal; null when refused
    std::string output;
};

const Case kCases[] = {
    // Hexadecimal, the default.
    {"0A", 1, 1, false, "0A", ""},
    {"0a", 1, 1, false, "0A", ""},
    {"0A|h", 1, 1, false, "0A", ""},
    {"0A|H", 1, 1, false, "0A", ""},
    {"01 02", 2, 2, false, "0102", ""},
    {"01:02", 2, 2, false, "0102", ""},
    {"01.02", 2, 2, false, "0102", ""},
    {"\t0\v1\f02 ", 2, 2, false, "0102", ""},
    {"1:2:3:4", 2, 2, false, "1234", ""},
    {"0123456789abcdefABCDEF", 11, 11, false, "0123456789ABCDEFABCDEF", ""},
    {"A", 1, 1, false, nullptr, "Value 'A' : not an array of byte\n"},
    {"0x01", 1, 2, false, nullptr, "Value '0x01' : not hexadecimal\n"},
    {"0G", 1, 1, false, nullptr, "Value '0G' : not hexadecimal\n"},
    {"01", 2, 2, false, nullptr, "Value '01' : size < 2\n"},
    {"010203", 1, 2, false, nullptr, "Value '010203' : size > 2\n"},
    // Decimal: fixed-length fields only, big-endian over the whole field.
    {"255|d", 1, 1, false, "FF", ""},
    {"256|d", 1, 1, false, nullptr, "Value '256' : overflow 8 bits integer\n"},
    {"65535|d", 2, 2, true, "FFFF", ""},
    {"65536|d", 2, 2, true, nullptr, "Value '65536' : overflow 16 bits integer\n"},
    {"16777215|D", 3, 3, false, "FFFFFF", ""},
    {"16777216|d", 3, 3, false, nullptr, "Value '16777216' : overflow 24 bits integer\n"},
    {"1234|d", 2, 2, true, "04D2", ""},
    {"1|d", 6, 6, false, "000000000001", ""},
    {"4294967295|d", 4, 4, false, "FFFFFFFF", ""},
    {"4294967296|d", 4, 4, false, nullptr, "Value '4294967296' : overflow 32 bits integer\n"},
    {"99999999999|d", 6, 6, false, nullptr, "Value '99999999999' : overflow 32 bits integer\n"},
    {"4294967296|d", 1, 1, false, nullptr, "Value '4294967296' : overflow 8 bits integer\n"},
    {"0000000000000000000042|d", 1, 1, false, "2A", ""},
    {"1|d", 1, 24, true, nullptr, "Value '1' : decimal not allowed in this context\n"},
    {"-1|d", 1, 1, false, nullptr, "Value '-1' : not decimal\n"},
    {"+1|d", 1, 1, false, nullptr, "Value '+1' : not decimal\n"},
    {"1 2|d", 2, 2, false, nullptr, "Value '1 2' : not decimal\n"},
    // Binary digits, eight per byte.
    {"00000001|b", 1, 1, false, "01", ""},
    {"0000000100000010|B", 2, 2, false, "0102", ""},
    {"10100101|b", 1, 1, false, "A5", ""},
    {"00000001 00000010|b", 2, 2, false, nullptr,
     "Value '00000001 00000010' : not a multiple of 8 bits\n"},
    {"0000000100000010|b", 1, 1, false, nullptr, "Value '0000000100000010' : size > 1\n"},
    {"00000001|b", 2, 2, false, nullptr, "Value '00000001' : size < 2\n"},
    {"0000000x|b", 1, 1, false, nullptr, "Value '0000000x' : not binary\n"},
    // Character strings.
    {"AB|s", 1, 24, true, "4142", ""},
    {"a b|S", 1, 24, true, "612062", ""},
    {"ABCDEFGHIJKLMNOPQRSTUVWXY|s", 1, 24, true, nullptr,
     "Value 'ABCDEFGHIJKLMNOPQRSTUVWXY' : size > 24\n"},
    {"A|s", 2, 24, true, nullptr, "Value 'A' : size < 2\n"},
    // Modifiers.
    {"12|x", 1, 1, false, nullptr, "Value '12|x' : invalid modifier\n"},
    {"12|dd", 1, 1, false, nullptr, "Value '12|dd' : invalid modifier\n"},
    {"12||d", 1, 1, false, nullptr, "Value '12||d' : invalid modifier\n"},
    {"A|B|s", 1, 24, true, nullptr, "Value 'A|B|s' : invalid modifier\n"},
    {"12|", 1, 1, false, "12", ""},
    {"|d", 1, 1, false, nullptr, "Value '|d' : not hexadecimal\n"},
    // Empty values.
    {"", 1, 1, true, "", ""},
    {"", 1, 1, false, nullptr, "Mandatory value left empty\n"},
    {":", 0, 23, true, "", ""},
    {":", 1, 1, false, nullptr, "Value ':' : size < 1\n"},
    // The text ends at a line end or a comment, and after 127 characters.
    {"0A ; comment", 1, 1, false, "0A", ""},
    {"0A#1|s", 1, 1, false, "0A", ""},
    {"0A\r\n", 1, 1, false, "0A", ""},
    {std::string("0A\0"
                 "0B",
                 5),
     1, 1, false, "0A", ""},
    {"0A" + std::string(125, ' ') + "|s", 1, 1, false, "0A", ""},
};

TEST(DecodeValue, EveryNotationAndMessage) {
    for (const Case& c : kCases) {
        std::array<uint8_t, 26> area;
        area.fill(0xEE);
        uint8_t length = 0xEE;
        ::testing::internal::CaptureStdout();
        const bool decoded = decodeValue(std::span(area.data(), 24), length, c.text, c.minLength,
                                         c.maxLength, c.emptyAllowed);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.output) << c.text;
        ASSERT_EQ(decoded, c.bytes != nullptr) << c.text;
        const std::string expected = decoded ? c.bytes : "";
        EXPECT_EQ(length, expected.size() / 2) << c.text;
        // The first maxLength bytes are zeroed before decoding; nothing past them is touched.
        const std::string zeros(2 * (c.maxLength - expected.size() / 2), '0');
        EXPECT_EQ(hexOf(area.data(), c.maxLength), expected + zeros) << c.text;
        EXPECT_EQ(hexOf(area.data() + c.maxLength, area.size() - c.maxLength),
                  std::string(2 * (area.size() - c.maxLength), 'E'))
            << c.text;
    }
}

using Decoder = bool (*)(std::span<uint8_t>, uint8_t*, std::string_view, uint8_t, uint8_t);

// The [master] loader decodes straight into its fields: a refused value must keep the old bytes.
TEST(Decoders, RefusalsLeaveTheDestinationUntouched) {
    struct Refusal {
        Decoder decoder;
        const char* text;
        uint8_t length;
    };
    const Refusal refusals[] = {
        {decodeHex, "0102:03:0G", 5},
        {decodeHex, "01020304", 5},
        {decodeDecimal, "300", 1},
        {decodeBinary, "0000000100000002", 2},
        {decodeBinary, "000000010000000", 2},
        {decodeString, "ABCDEF", 5},
    };
    for (const Refusal& r : refusals) {
        std::array<uint8_t, 5> field;
        field.fill(0x5A);
        uint8_t length = 0xEE;
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(
            r.decoder(std::span(field.data(), r.length), &length, r.text, r.length, r.length));
        EXPECT_NE(::testing::internal::GetCapturedStdout(), "") << r.text;
        EXPECT_EQ(hexOf(field.data(), field.size()), "5A5A5A5A5A") << r.text;
        EXPECT_EQ(length, 0) << r.text;
    }
}

TEST(Decoders, HexWithoutALengthAndShortDestinations) {
    std::array<uint8_t, 5> location{};
    EXPECT_TRUE(decodeHex(location, nullptr, "F5:4D:43:01.02", 5, 5));
    EXPECT_EQ(hexOf(location.data(), location.size()), "F54D430102");

    // A destination shorter than the bounds promise is refused without writing past it.
    ::testing::internal::CaptureStdout();
    uint8_t length = 0;
    EXPECT_FALSE(decodeValue(std::span(location.data(), 1), length, "0102", 1, 2, false));
    EXPECT_FALSE(decodeHex(std::span(location.data(), 1), &length, "0102", 1, 2));
    EXPECT_FALSE(decodeDecimal(std::span(location.data(), 1), &length, "1", 2, 2));
    EXPECT_FALSE(decodeString(std::span(location.data(), 1), &length, "AB", 1, 2));
    EXPECT_FALSE(decodeBinary(std::span(location.data(), 1), &length, "0000000100000001", 1, 2));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(hexOf(location.data(), location.size()), "F54D430102");
}

}  // namespace
}  // namespace zendor::settings
