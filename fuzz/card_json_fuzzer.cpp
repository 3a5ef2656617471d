// The virtual card's file text. A text is refused with a reason, or it gives a card whose own
// file text parses back to the same card and is written the same way again.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "vcard/card_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor;
    using namespace zendor::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<vcard::CardState> card = vcard::parseCardJson(text, error);
    if (!card) {
        require(!error.empty(), "a refused file has a reason");
        require(error.find('\n') == std::string::npos, "the reason is one line");
        return 0;
    }
    require(error.empty(), "an accepted file has no reason");
    const std::string written = vcard::formatCardJson(*card);
    const std::optional<vcard::CardState> again = vcard::parseCardJson(written, error);
    require(again.has_value(), "the card's own file text parses");
    require(*again == *card, "the card's own file text is the same card");
    require(vcard::formatCardJson(*again) == written, "the file text is written the same again");
    return 0;
}
