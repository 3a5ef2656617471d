// Windows only: UTF-8 text and paths as the wide calls take them. Every Windows file call goes
// through systemPath, so that a path past MAX_PATH works whether or not the system's long-path
// setting is on.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

namespace zendor::platform {

// The longest absolute path given to the system as typed: below MAX_PATH by the room a folder's
// own limit keeps for an 8.3 name. Longer paths go verbatim.
constexpr size_t kLongestPlainPath = MAX_PATH - 12;

std::wstring wideText(std::string_view utf8);
std::string utf8Text(std::wstring_view text);

// The absolute form of path, as the system reads it (relative to the current folder, '/' as '\',
// ".." gone, trailing dots and spaces dropped); a device name becomes "\\.\NAME".
std::wstring fullPath(const std::wstring& path);

// The verbatim absolute form of path ("\\?\C:\...", "\\?\UNC\server\share\..."); a verbatim or
// device path ("\\.\NUL") as it is.
std::wstring verbatimPath(const std::string& path);

// path for a wide file call: as typed while its absolute form is short; past MAX_PATH, that
// absolute form made verbatim ("\\?\C:\...", "\\?\UNC\server\share\...").
std::wstring systemPath(const std::string& path);

}  // namespace zendor::platform

#endif
