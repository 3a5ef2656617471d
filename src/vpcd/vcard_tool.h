// The zendor-vcard program: writes virtual card files and serves them to pcscd through vpcd.
#pragma once

#include <atomic>
#include <span>
#include <string_view>

namespace zendor::vpcd {

// Runs one command line (the program name not included); returns the exit status: 0 when the
// command did its work (serving ended by a signal, by pcscd leaving or by the card's removal),
// 1 on any failure, after a one-line reason on standard output. stop ends serving; the
// program's signal handlers set it.
int runVcardTool(std::span<const std::string_view> args, const std::atomic<bool>& stop);

}  // namespace zendor::vpcd
