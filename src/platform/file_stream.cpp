// Reading a C stream to its end within a limit; opening one is each system's own.
#include "platform/file_stream.h"

#include <cerrno>
#include <cstring>

#include "platform/capped_read.h"

namespace zendor::platform {
namespace {

// The size of a seekable file, to size the buffer once; 0 when it cannot be told (a pipe). The
// read decides: a file may grow or shrink meanwhile.
uint64_t sizeHint(std::FILE* stream) {
    const long start = std::ftell(stream);
    if (start < 0 || std::fseek(stream, 0, SEEK_END) != 0) {
        std::clearerr(stream);
        return 0;
    }
    const long end = std::ftell(stream);
    if (std::fseek(stream, start, SEEK_SET) != 0 || end <= start) {
        std::clearerr(stream);
        return 0;
    }
    return static_cast<uint64_t>(end - start);
}

}  // namespace

Outcome readStreamToEnd(std::FILE* stream, uint64_t maxSize, std::string& text) {
    const auto readSome = [stream](std::span<char> into, size_t& count) {
        count = std::fread(into.data(), 1, into.size(), stream);
        return count == 0 && std::ferror(stream) != 0 ? Outcome{Fault::Other, std::strerror(errno)}
                                                      : Outcome{};
    };
    return readCapped(readSome, maxSize, sizeHint(stream), text);
}

}  // namespace zendor::platform
