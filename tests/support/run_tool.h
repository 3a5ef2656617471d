// Runs a built program of this project and collects what it printed and its exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zendor::testing {

struct ToolRun {
    std::string output;  // standard output
    std::string errors;  // standard error
    int status = -1;     // exit status, or -1 when it did not exit normally
};

inline std::string shellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorFile = "/dev/null") {
    std::string command = shellQuote(program);
    for (const std::string& arg : args) {
        command += " " + shellQuote(arg);
    }
    command += " 2>" + shellQuote(errorFile) + " </dev/null";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

}  // namespace zendor::testing
