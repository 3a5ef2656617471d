#include "marlix/device_name.h"

#include <cstdio>

namespace zendor::marlix {
namespace {

// A scheme is a lower-case word followed by ':'; reader names never start like that in practice
// (they begin with the maker's name, capitalised), so anything else is taken as a reader name.
std::optional<std::string_view> schemeOf(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    for (char c : text.substr(0, colon)) {
        if (c < 'a' || c > 'z') {
            return std::nullopt;
        }
    }
    return text.substr(0, colon);
}

}  // namespace

std::optional<DeviceName> parseDeviceName(const char* text) {
    if (text == nullptr) {
        return DeviceName{DeviceName::Kind::PcscAnyReader, {}};
    }
    std::string_view name(text);
    std::optional<std::string_view> scheme = schemeOf(name);
    if (!scheme) {
        return DeviceName{DeviceName::Kind::PcscReader, std::string(name)};
    }
    std::string_view rest = name.substr(scheme->size() + 1);
    if (*scheme == "sim") {
        if (rest.empty()) {
            std::printf("Device 'sim:' needs the path of a card file\n");
            return std::nullopt;
        }
        return DeviceName{DeviceName::Kind::VirtualCard, std::string(rest)};
    }
    if (*scheme == "pcsc") {
        if (rest.empty()) {
            return DeviceName{DeviceName::Kind::PcscAnyReader, {}};
        }
        return DeviceName{DeviceName::Kind::PcscReader, std::string(rest)};
    }
    std::printf("Unknown device type '%.*s:' (use sim:FILE or pcsc:READER)\n",
                static_cast<int>(scheme->size()), scheme->data());
    return std::nullopt;
}

}  // namespace zendor::marlix
