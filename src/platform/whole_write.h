// The one loop that writes a whole text through a system call that may write less than asked,
// for both backends. Inside the seam only.
#pragma once

#include <span>
#include <string_view>

#include "platform/file_system.h"

namespace zendor::platform {

// writeSome(std::span<const char> piece, size_t& written) -> Outcome writes the start of piece
// and says how much. Each byte lands once, in order; a call that writes nothing fails the
// whole (a system that keeps answering 0 would otherwise be asked for ever).
template <typename WriteSome>
Outcome writeWhole(WriteSome writeSome, std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        size_t written = 0;
        if (Outcome wrote = writeSome(std::span<const char>(text).subspan(done), written); !wrote) {
            return wrote;
        }
        if (written == 0 || written > text.size() - done) {
            return {Fault::Other, "the system wrote nothing"};
        }
        done += written;
    }
    return {};
}

}  // namespace zendor::platform
