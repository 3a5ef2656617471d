// Clocks for the benchmark: CPU and wall time of a call in this process, and of a whole program
// run in a child process.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zendor::bench {

// One measurement, in milliseconds.
struct Timing {
    double wallMs = 0;
    double cpuMs = 0;  // user + system
    long peakKb = 0;   // largest resident set of a child process (timeProcess only)
};

// Times one call in this process (CPU from getrusage of the whole process).
Timing timeCall(const std::function<void()>& call);

// Starts argv[0] with those arguments (fork and exec), its output thrown away, and waits for it;
// the CPU time is the child's own. exitStatus is -1 when it did not exit normally or could not
// be started.
Timing timeProcess(const std::vector<std::string>& argv, int& exitStatus);

// Smallest, median and mean of a set of measurements.
struct Summary {
    double min = 0;
    double median = 0;
    double mean = 0;
};
Summary summarize(std::vector<double> values);

}  // namespace zendor::bench
