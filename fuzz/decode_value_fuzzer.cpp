// One value text under random bounds. Input: minimum, maximum and empty-allowed bytes, then the
// text. A decoded value stays within its bounds and its destination, and loads back from the
// hexadecimal form the export writes; a refused one leaves a zero destination and one line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "settings/settings_table.h"
#include "settings/value_decoding.h"
#include "text/hex.h"

namespace zendor::fuzz {
namespace {

bool allZero(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace
}  // namespace zendor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor::fuzz;
    ByteReader input(std::span(data, size));
    const auto maxLength =
        static_cast<uint8_t>(input.byte() % (zendor::settings::kMaxValueLength + 1));
    const auto minLength = static_cast<uint8_t>(input.byte() % (maxLength + 1));
    const bool emptyAllowed = (input.byte() & 1) != 0;
    const std::span<const uint8_t> rest = input.rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());

    // Exactly maxLength bytes, so that a write past them is caught.
    std::vector<uint8_t> destination(maxLength, 0xA5);
    uint8_t length = 0xEE;
    CapturedOutput output;
    const bool decoded = zendor::settings::decodeValue(destination, length, text, minLength,
                                                       maxLength, emptyAllowed);
    const std::string printed = output.text();
    if (!decoded) {
        require(length == 0, "a refusal gives length 0");
        require(allZero(destination), "a refusal leaves the destination zero");
        require(lineCount(printed) == 1 && wholeLines(printed), "a refusal prints one line");
        return 0;
    }
    require(printed.empty(), "a decoded value prints nothing");
    require(length <= maxLength, "at most maxLength bytes");
    require(length >= minLength || (length == 0 && emptyAllowed), "at least minLength bytes");
    require(allZero(std::span(destination).subspan(length)), "bytes after the value are zero");

    // The export writes every value as hexadecimal digits; they must load back the same. (A value
    // of no digits, such as "::", decodes to length 0 under minimum 0 even where an empty value
    // is refused; every schema row with minimum 0 allows an empty value, so the export never
    // meets that case.)
    if (length == 0 && !emptyAllowed) {
        return 0;
    }
    const std::string exported = zendor::text::toHex(std::span(destination).first(length));
    std::vector<uint8_t> again(maxLength);
    uint8_t againLength = 0;
    require(zendor::settings::decodeValue(again, againLength, exported, minLength, maxLength,
                                          emptyAllowed),
            "the hexadecimal form decodes");
    require(againLength == length && again == destination, "the hexadecimal form is the value");
    require(output.text() == printed, "nothing printed for the hexadecimal form");
    return 0;
}
