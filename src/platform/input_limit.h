// How much of a file the project reads whole at the most, on either side of the card library:
// the configuration file and the virtual card's file. Real ones are a few kilobytes; the limit
// only keeps a runaway input (a device, an endless pipe) from taking the machine's memory.
#pragma once

#include <cstddef>

namespace zendor::platform {

constexpr size_t kMaxInputFileSize = size_t{16} << 20;  // 16 MiB

}  // namespace zendor::platform
