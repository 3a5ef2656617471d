// Reading a file whole with the standard C library, the file opened through the platform seam.
#include "ini/file_text.h"

#include <array>
#include <cstdio>

#include "platform/file_stream.h"

namespace zendor::ini {

namespace {

// The size of a seekable file, to allocate once; 0 when it cannot be told (a pipe). Only a hint:
// the read below decides.
size_t sizeHint(std::FILE* stream) {
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        std::clearerr(stream);
        return 0;
    }
    const long end = std::ftell(stream);
    if (std::fseek(stream, 0, SEEK_SET) != 0 || end <= 0) {
        std::clearerr(stream);
        return 0;
    }
    return static_cast<size_t>(end);
}

FileStatus readToEnd(std::FILE* stream, std::string& bytes) {
    const size_t hint = sizeHint(stream);
    bytes.reserve(hint < kMaxFileSize ? hint : kMaxFileSize);
    std::array<char, 65536> chunk;
    size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        if (count > kMaxFileSize - bytes.size()) {
            return FileStatus::TooLarge;
        }
        bytes.append(chunk.data(), count);
    }
    return std::ferror(stream) != 0 ? FileStatus::Unreadable : FileStatus::Read;
}

}  // namespace

FileText readFileText(const char* fileName) {
    FileText file;
    std::FILE* stream = fileName != nullptr ? platform::openStream(fileName, "rb") : nullptr;
    if (stream == nullptr) {
        return file;
    }
    file.status = readToEnd(stream, file.bytes);
    std::fclose(stream);
    if (file.status != FileStatus::Read) {
        file.bytes = std::string();
    }
    return file;
}

bool withinSizeLimit(const FileText& file, const char* fileName) {
    if (file.status != FileStatus::TooLarge) {
        return true;
    }
    std::printf("Failed to read file '%s' : larger than 16 MiB\n", fileName);
    return false;
}

}  // namespace zendor::ini
