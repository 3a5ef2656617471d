// zendor-vcard: the thin entry point; signals only set the stop flag the serve loop watches.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

#include "vpcd/vcard_tool.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void requestStop(int /*signal*/) {
    stopRequested = true;
}

}  // namespace

int main(int argc, char** argv) {
    // Line by line, so that a log file or a test reading the pipe sees each message at once.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    return zendor::vpcd::runVcardTool(args, stopRequested);
}
