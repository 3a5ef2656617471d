#include "platform/file_stream.h"

#ifdef _WIN32
#include "platform/wide_path.h"
#endif

namespace zendor::platform {

std::FILE* openStream(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) {
        return nullptr;
    }
#ifdef _WIN32
    return _wfopen(systemPath(path).c_str(), wideText(mode).c_str());
#else
    return std::fopen(path, mode);
#endif
}

}  // namespace zendor::platform
