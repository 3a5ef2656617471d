#include "platform/path_names.h"

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

}  // namespace

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
