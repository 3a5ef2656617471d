// C streams on files named by UTF-8 paths, for the configuration and the export: on Windows
// through the wide call with the whole path, so that no name and no length is beyond reach.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace zendor::platform {

// std::fopen's contract: the stream, or nullptr when the file cannot be opened. On Windows a file
// another program holds open is waited for as the file seam's calls wait (kHeldFileWait).
std::FILE* openStream(const char* path, const char* mode);
// The same, saying why not: Fault::Missing when there is no such file (or folder on its way),
// otherwise the system's text.
Outcome openStream(const char* path, const char* mode, std::FILE*& stream,
                   BoundedWait* wait = nullptr);

// The stream from where it stands to its end, with readToEnd's limit: a pipe, a FIFO or a
// terminal as well as a file. Fault::Other with the system's text when a read fails.
Outcome readStreamToEnd(std::FILE* stream, uint64_t maxSize, std::string& text);

}  // namespace zendor::platform
