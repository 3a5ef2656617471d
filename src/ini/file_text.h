// A configuration file read whole, once: every lookup of a run answers from this one copy, so
// a pipe gives what a regular file with the same bytes gives, and an edit during the run cannot
// mix two versions.
#pragma once

#include <cstddef>
#include <string>

#include "platform/input_limit.h"

namespace zendor::ini {

// Real configurations are a few kilobytes; the limit only keeps a runaway input (a device, an
// endless pipe) from taking the memory of the machine. It bounds the file as read and the text
// it gives in UTF-8.
constexpr size_t kMaxFileSize = platform::kMaxInputFileSize;

enum class FileStatus {
    Read,        // bytes holds the whole file, as UTF-8 when it was saved as UTF-16
    Unreadable,  // it cannot be opened, or reading it failed (a directory, a read error)
    TooLarge,    // it holds more than kMaxFileSize bytes; reading stopped there
    NotText,     // a NUL byte, or UTF-16 cut in the middle of a unit
    Mixed,       // UTF-16 followed by 8-bit text (a batch file's `echo ... >>`)
};

struct FileText {
    FileStatus status = FileStatus::Unreadable;
    std::string bytes;   // empty unless status is Read
    std::string reason;  // with Unreadable: why a file that is there cannot be read; empty when
                         // there is none
};

// Opens fileName once (binary, standard C I/O), reads it to its end and decodes it with
// decodeConfigText. Prints nothing; a null fileName is Unreadable.
FileText readFileText(const char* fileName);

// Makes the bytes of a whole file the text the line rules read. Windows editors save "Unicode"
// as UTF-16 with a byte-order mark (FF FE little-endian, FE FF big-endian): that text becomes
// UTF-8 without the mark, an unpaired surrogate becoming U+FFFD as Windows' own conversion does.
// Any other bytes stay as they are (a UTF-8 mark too), unless they hold a NUL. 8-bit text after
// a UTF-16 mark (lines appended by `echo`, a cp1252 file that starts with "ÿþ") is Mixed: read as
// UTF-16 it would be lost in silence. bytes is left unchanged unless the status is Read.
FileStatus decodeConfigText(std::string& bytes);

// False, after printing "Failed to read file '%s' : " and why, when file is TooLarge, NotText or
// Mixed, or Unreadable though it is there; true otherwise (a missing file among them).
bool usableAsText(const FileText& file, const char* fileName);

}  // namespace zendor::ini
