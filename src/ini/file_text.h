// A configuration file read whole, once: every lookup of a run answers from this one copy, so
// a pipe gives what a regular file with the same bytes gives, and an edit during the run cannot
// mix two versions.
#pragma once

#include <cstddef>
#include <string>

#include "platform/input_limit.h"

namespace zendor::ini {

constexpr size_t kMaxFileSize = platform::kMaxInputFileSize;

enum class FileStatus {
    Read,        // bytes holds the whole file
    Unreadable,  // it cannot be opened, or reading it failed (a directory, a read error)
    TooLarge,    // it holds more than kMaxFileSize bytes; reading stopped there
};

struct FileText {
    FileStatus status = FileStatus::Unreadable;
    std::string bytes;  // empty unless status is Read
};

// Opens fileName once (binary, standard C I/O) and reads it to its end. Prints nothing; a null
// fileName is Unreadable.
FileText readFileText(const char* fileName);

// False, after printing "Failed to read file '%s' : larger than 16 MiB", when file is TooLarge;
// true otherwise.
bool withinSizeLimit(const FileText& file, const char* fileName);

}  // namespace zendor::ini
