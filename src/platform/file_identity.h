// Who a file is, whatever path names it: the identity half of the file seam
// (file_identity_posix.cpp, file_identity_windows.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace zendor::platform {

// True when both paths exist and name the same file: the same device and inode (on Windows,
// volume serial number and file index), whether through symbolic links, hard links or two
// spellings of one path. False when either cannot be examined (missing, no permission).
bool sameFile(const char* first, const char* second);

// The one spelling of the file path names, however it was typed: absolute, symbolic links
// followed, "." and ".." resolved; on Windows also the long form of 8.3 names, the letter case
// on disk, trailing dots and spaces dropped, and a drive of another letter or "\\?\" brought
// to one form. A missing file is its name in the canonical spelling of its folder; when the
// folder cannot be examined either, path is returned as it is.
std::string canonicalPath(const std::string& path);

// Whether path names a device (a character or block device on Linux; NUL, CON, COM1 and the
// other names Windows reserves, or a "\\.\" path), which is no file to keep data in.
bool isDevice(const std::string& path);

// How many names (hard links) the file has; 0 when it cannot be examined.
uint32_t nameCount(const std::string& path);

// Windows refuses to replace a file by a rename while any program holds it open; Linux does not
// mind.
#ifdef _WIN32
constexpr bool kOpenFilesBlockReplace = true;
#else
constexpr bool kOpenFilesBlockReplace = false;
#endif

}  // namespace zendor::platform
