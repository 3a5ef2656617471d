// The syntax of the -d device names.
//
//   sim:PATH      the virtual card kept in the JSON file PATH
//   pcsc:NAME     the PC/SC reader named NAME (exactly, else the one whose name contains it)
//   NAME          the same, without the scheme
//   pcsc:         the first PC/SC reader that holds a card
//   (none)        the same as pcsc:
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zendor::marlix {

struct DeviceName {
    enum class Kind { VirtualCard, PcscReader, PcscAnyReader };
    Kind kind = Kind::PcscAnyReader;
    std::string target;  // the card file for VirtualCard, the reader name for PcscReader
};

// Null means the system's default. Prints one line and returns nothing for a name whose scheme
// is unknown or whose target is missing where one is needed.
std::optional<DeviceName> parseDeviceName(const char* text);

}  // namespace zendor::marlix
