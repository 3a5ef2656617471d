// What an open file handle does the same on every system; close() is each system's own.
#include "platform/file_system.h"

namespace zendor::platform {

FileHandle::FileHandle(FileHandle&& other) noexcept : native_(other.native_) {
    other.native_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        native_ = other.native_;
        other.native_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() {
    close();
}

}  // namespace zendor::platform
