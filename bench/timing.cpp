#include "bench/timing.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <numeric>

namespace zendor::bench {
namespace {

double cpuMs(const rusage& usage) {
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// In the child: output to /dev/null, then the program; 127 when it cannot be started.
[[noreturn]] void execQuietly(const std::vector<std::string>& argv) {
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

}  // namespace

Timing timeCall(const std::function<void()>& call) {
    rusage before{};
    rusage after{};
    ::getrusage(RUSAGE_SELF, &before);
    auto start = std::chrono::steady_clock::now();
    call();
    Timing timing;
    timing.wallMs = msSince(start);
    ::getrusage(RUSAGE_SELF, &after);
    timing.cpuMs = cpuMs(after) - cpuMs(before);
    return timing;
}

Timing timeProcess(const std::vector<std::string>& argv, int& exitStatus) {
    exitStatus = -1;
    auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    if (child < 0) {
        return {};
    }
    if (child == 0) {
        execQuietly(argv);
    }
    int status = 0;
    rusage usage{};
    pid_t reaped = -1;
    do {
        reaped = ::wait4(child, &status, 0, &usage);
    } while (reaped < 0 && errno == EINTR);
    Timing timing;
    timing.wallMs = msSince(start);
    timing.cpuMs = cpuMs(usage);
    timing.peakKb = usage.ru_maxrss;
    if (reaped == child && WIFEXITED(status)) {
        exitStatus = WEXITSTATUS(status);
    }
    return timing;
}

Summary summarize(std::vector<double> values) {
    Summary summary;
    if (values.empty()) {
        return summary;
    }
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    summary.min = values.front();
    summary.median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    summary.mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    return summary;
}

}  // namespace zendor::bench
