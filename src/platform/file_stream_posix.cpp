// POSIX: C streams opened by std::fopen.
#include <cerrno>
#include <cstring>

#include "platform/file_stream.h"

namespace zendor::platform {

std::FILE* openStream(const char* path, const char* mode) {
    std::FILE* stream = nullptr;
    (void)openStream(path, mode, stream);
    return stream;
}

Outcome openStream(const char* path, const char* mode, std::FILE*& stream, BoundedWait*) {
    stream = path != nullptr && mode != nullptr ? std::fopen(path, mode) : nullptr;
    if (stream != nullptr) {
        return {};
    }
    const int error = path != nullptr && mode != nullptr ? errno : EINVAL;
    return {error == ENOENT || error == ENOTDIR ? Fault::Missing : Fault::Other,
            std::strerror(error)};
}

}  // namespace zendor::platform
