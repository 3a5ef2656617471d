// The program run: command line, reader connection, one workflow, exit status.
#pragma once

namespace zendor::app {

// Runs the tool and returns its exit status: 0 on success, 1 on any failure.
int runProgram(int argc, const char* const* argv);

}  // namespace zendor::app
