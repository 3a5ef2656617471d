// The virtual card's JSON form: every member required, every length checked, unknown members
// refused. Byte strings are upper-case hexadecimal without separators.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vcard/card_state.h"

namespace zendor::vcard {

// The card, or nothing with the reason in error (one short phrase, no trailing newline).
std::optional<CardState> parseCardJson(std::string_view text, std::string& error);

// The file text, ending with a newline.
std::string formatCardJson(const CardState& card);

}  // namespace zendor::vcard
