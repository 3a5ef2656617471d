// What the largest card file the format allows costs to load: the figure the suite only bounds
// in memory (tests/vcard/card_json_bounds_test.cpp), measured here on this machine.
#pragma once

#include <string>

namespace zendor::bench {

// Writes the largest card into dir, loads it `runs` times and prints its size and the median
// wall and CPU time of a load. False, after a line, when the file cannot be written or read.
bool printLargeCard(const std::string& dir, int runs);

}  // namespace zendor::bench
