// What an open file handle does the same on every system; close() and readSome() are each
// system's own.
#include "platform/capped_read.h"
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

Outcome readToEnd(FileHandle& file, uint64_t maxSize, uint64_t sizeHint, std::string& text) {
    if (sizeHint > maxSize) {
        text.clear();
        return tooLarge();  // the size of an open file, so refused without a read
    }
    return readCapped(
        [&](std::span<char> into, size_t& count) { return readSome(file, into, count); }, maxSize,
        sizeHint, text);
}

}  // namespace zendor::platform
