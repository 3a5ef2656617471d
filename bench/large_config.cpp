#include "bench/large_config.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "bench/timing.h"

namespace zendor::bench {

bool writeLargeConfig(const std::string& path, const std::string& exampleConfig, size_t bytes) {
    std::ifstream in(exampleConfig, std::ios::binary);
    std::ostringstream example;
    example << in.rdbuf();
    const std::string tail = example.str();
    const std::string lines[] = {
        "; a comment line of the kind people write, about this long .......\n",
        "loc2 = 00 11 22 33 ; a key that begins like one of the template's\n",
        "apdu9 = 00A4040007D2760000850101\n",
        "lklx=01\n",
    };
    std::string text = "[tpl1]\n";
    for (size_t i = 0; text.size() + lines[i % 4].size() + tail.size() <= bytes; ++i) {
        text += lines[i % 4];
    }
    text.append(bytes - text.size() - tail.size(), '\n');
    text += tail;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return !tail.empty() && static_cast<bool>(out.flush());
}

void printLargeConfig(const std::string& tool, const std::string& card,
                      const std::string& exampleConfig, const std::string& largeConfig, int runs) {
    struct Row {
        const std::string& config;
        std::vector<double> wall;
        std::vector<double> cpu;
        long peakKb = 0;
        int failures = 0;
    };
    Row rows[] = {{exampleConfig, {}, {}, 0, 0}, {largeConfig, {}, {}, 0, 0}};
    for (int run = -1; run < runs; ++run) {
        for (Row& row : rows) {
            int status = -1;
            const Timing t = timeProcess({tool, "-d", "sim:" + card, "-c", row.config}, status);
            row.failures += status != 0;
            if (run >= 0) {
                row.wall.push_back(t.wallMs);
                row.cpu.push_back(t.cpuMs);
                row.peakKb = std::max(row.peakKb, t.peakKb);
            }
        }
    }
    std::printf("Configuration loading: zendorcfg -c on a Master Card, %d runs of each\n", runs);
    std::printf("  %-60s %10s %10s %10s\n", "configuration", "median ms", "CPU ms", "peak KiB");
    for (const Row& row : rows) {
        std::printf("  %-60s %10.1f %10.1f %10ld%s\n", row.config.c_str(),
                    summarize(row.wall).median, summarize(row.cpu).median, row.peakKb,
                    row.failures > 0 ? "  (some runs failed)" : "");
    }
}

}  // namespace zendor::bench
