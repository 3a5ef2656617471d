// Windows: C streams opened by the wide call with the whole path, waiting for a file another
// program holds open (a sync client or a scanner looking at a file an editor just saved).
#include <windows.h>

#include <cstdlib>

#include "platform/file_stream.h"
#include "platform/held_open.h"
#include "platform/wide_path.h"

namespace zendor::platform {

std::FILE* openStream(const char* path, const char* mode) {
    std::FILE* stream = nullptr;
    (void)openStream(path, mode, stream);
    return stream;
}

Outcome openStream(const char* path, const char* mode, std::FILE*& stream, BoundedWait* wait) {
    stream = nullptr;
    if (path == nullptr || mode == nullptr) {
        return failure(ERROR_INVALID_PARAMETER);
    }
    const std::wstring name = systemPath(path);
    const std::wstring wideMode = wideText(mode);
    return retryWhileHeld(name, wait, [&] {
        _doserrno = 0;
        stream = _wfopen(name.c_str(), wideMode.c_str());
        if (stream != nullptr) {
            return static_cast<DWORD>(ERROR_SUCCESS);
        }
        // The system's error behind the C library's, where it has one (not for a bad mode).
        return _doserrno != 0 ? static_cast<DWORD>(_doserrno)
                              : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    });
}

}  // namespace zendor::platform
