// Whether two paths lead to one file. The only place that asks the system who a file is, so
// that a port changes this file alone.
#pragma once

namespace zendor::platform {

// True when both paths exist and name the same file: the same device and inode (on Windows,
// volume serial number and file index), whether through symbolic links, hard links or two
// spellings of one path. False when either cannot be examined (missing, no permission).
bool sameFile(const char* first, const char* second);

}  // namespace zendor::platform
