#include "platform/path_names.h"

#include <algorithm>
#include <array>

namespace zendor::platform {
namespace {

constexpr size_t kNone = std::string_view::npos;

#ifdef _WIN32
constexpr char kPreferredSeparator = '\\';
#else
constexpr char kPreferredSeparator = '/';
#endif

size_t lastSeparator(std::string_view path) {
    const PathKind kind = kindOfPath(path);
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1], kind)) {
            return i - 1;
        }
    }
    return kNone;
}

// Whether path up to and including the separator at `at` is a root, which keeps its separator.
bool endsRoot(std::string_view path, size_t at) {
#ifdef _WIN32
    if (kindOfPath(path) == PathKind::Verbatim) {
        // "\\?\C:\" is a drive's root; what comes before it is the prefix, never a folder.
        return at <= 3 || (at == 6 && path[5] == ':');
    }
    return at == 0 || (at == 2 && path[1] == ':');
#else
    (void)path;
    return at == 0;
#endif
}

constexpr std::array<std::string_view, 6> kDeviceNames{"CON", "PRN",    "AUX",
                                                       "NUL", "CONIN$", "CONOUT$"};

// COM and LPT take a digit 1 to 9, or a superscript 1, 2 or 3 (in UTF-8).
bool isPortNumber(std::string_view number) {
    if (number.size() == 1) {
        return number[0] >= '1' && number[0] <= '9';
    }
    return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool isDeviceStem(std::string_view stem) {
    if (std::ranges::find(kDeviceNames, stem) != kDeviceNames.end()) {
        return true;
    }
    return (stem.starts_with("COM") || stem.starts_with("LPT")) && isPortNumber(stem.substr(3));
}

std::string_view withoutTrailing(std::string_view text, std::string_view dropped) {
    const size_t last = text.find_last_not_of(dropped);
    return last == kNone ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

DeviceName deviceNameOf(std::string_view name) {
    const std::string_view kept = withoutTrailing(name, ". ");
    const size_t stemEnd = std::min(kept.find_first_of(".:"), kept.size());
    std::string stem(withoutTrailing(kept.substr(0, stemEnd), " "));
    std::ranges::transform(stem, stem.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    if (!isDeviceStem(stem)) {
        return {};
    }
    const std::string_view after = kept.substr(stemEnd);
    return {stem, after.empty() || after == ":"};
}

DeviceName deviceNamedBy(std::string_view path) {
#ifdef _WIN32
    if (kindOfPath(path) == PathKind::Plain) {
        return deviceNameOf(nameOf(path));
    }
#else
    (void)path;
#endif
    return {};
}

std::string folderOf(std::string_view path) {
    const size_t at = lastSeparator(path);
    if (at == kNone) {
        return ".";
    }
    return std::string(path.substr(0, endsRoot(path, at) ? at + 1 : at));
}

std::string nameOf(std::string_view path) {
    const size_t at = lastSeparator(path);
    return std::string(at == kNone ? path : path.substr(at + 1));
}

std::string pathIn(std::string_view folder, std::string_view name) {
    std::string path(folder);
    const size_t at = lastSeparator(folder);
    if (!path.empty() && at != path.size() - 1) {
        path += at == kNone ? kPreferredSeparator : folder[at];
    }
    return path += name;
}

}  // namespace zendor::platform
