// C streams on files named by UTF-8 paths, for the configuration and the export: on Windows
// through the wide call with the whole path, so that no name and no length is beyond reach.
#pragma once

#include <cstdio>

namespace zendor::platform {

// std::fopen's contract: the stream, or nullptr when the file cannot be opened.
std::FILE* openStream(const char* path, const char* mode);

}  // namespace zendor::platform
