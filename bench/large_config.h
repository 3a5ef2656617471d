// What a configuration of megabytes costs a whole zendorcfg run: time and peak memory.
#pragma once

#include <cstddef>
#include <string>

namespace zendor::bench {

// Writes `bytes` bytes to path: a [tpl1] section of comments and of keys that only look like
// the template's, then the example configuration, so that every setting is found at the end.
bool writeLargeConfig(const std::string& path, const std::string& exampleConfig, size_t bytes);

// Times `tool -d sim:card -c` with the example and with the large configuration, `runs` times
// each in turn after one warm-up, and prints median wall and CPU time and the peak memory.
void printLargeConfig(const std::string& tool, const std::string& card,
                      const std::string& exampleConfig, const std::string& largeConfig, int runs);

}  // namespace zendor::bench
