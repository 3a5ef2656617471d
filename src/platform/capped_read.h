// The one loop that reads a source to its end within a limit, for open files and C streams alike.
// Inside the seam only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "platform/file_system.h"

namespace zendor::platform {

inline Outcome tooLarge() {
    return {Fault::TooLarge, "too large"};
}

// readSome(std::span<char> into, size_t& count) -> Outcome, count 0 at the end. sizeHint, what
// the source is expected to hold, only sizes the buffer (a folder opened as a stream tells a
// size it does not have). The buffer keeps one byte more than the limit: a read that fills it
// says the source holds too much, whether it was larger from the start or grew meanwhile.
template <typename ReadSome>
Outcome readCapped(ReadSome readSome, uint64_t maxSize, uint64_t sizeHint, std::string& text) {
    text.clear();
    text.resize(static_cast<size_t>(std::min(sizeHint, maxSize)) + 1);
    size_t done = 0;
    while (true) {
        if (done == text.size()) {
            if (text.size() > maxSize) {
                text.clear();
                return tooLarge();
            }
            text.resize(std::min<uint64_t>(std::max<size_t>(text.size() * 2, 4096), maxSize + 1));
        }
        size_t count = 0;
        if (Outcome read = readSome(std::span<char>(text).subspan(done), count); !read) {
            text.clear();
            return read;
        }
        if (count == 0) {
            break;
        }
        done += count;
    }
    text.resize(done);
    return {};
}

}  // namespace zendor::platform
