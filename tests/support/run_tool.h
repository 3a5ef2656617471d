// Runs a built program of this project and collects what it printed and its exit status.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace zendor::test {

struct ToolRun {
    std::string output;     // standard output, with Windows' CRLF line ends read as "\n"
    std::string rawOutput;  // standard output as the program wrote it
    std::string errors;     // standard error
    int status = -1;        // exit status, or -1 when it did not exit normally
};

// Where a program's output goes to be lost.
#ifdef _WIN32
inline const std::string kNullDevice = "NUL";
#else
inline const std::string kNullDevice = "/dev/null";
#endif

#ifdef _WIN32
// Text-mode output read back as text: each "\r\n" is one "\n"; a lone '\r' stays.
inline std::string withoutCarriageReturns(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
            text += bytes[i];
        }
    }
    return text;
}

// One argument as the C runtime's command-line parser reads it back: quoted, with backslashes
// doubled only where they come before a quote.
inline std::string commandLineQuote(const std::string& arg) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// The program started directly (no shell between), standard input empty, standard error into
// errorFile, standard output collected through a pipe.
inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorFile = kNullDevice) {
    ToolRun run;
    std::string commandLine = commandLineQuote(program);
    for (const std::string& arg : args) {
        commandLine += ' ';
        commandLine += commandLineQuote(arg);
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return run;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE errors =
        CreateFileA(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                    CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errors;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);  // the child holds its own copy: the pipe ends when the child does
    CloseHandle(input);
    CloseHandle(errors);
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            run.output.append(buffer, n);
        }
        run.rawOutput = run.output;
        run.output = withoutCarriageReturns(run.output);
        DWORD exitCode = 0;
        WaitForSingleObject(process.hProcess, INFINITE);
        if (GetExitCodeProcess(process.hProcess, &exitCode)) {
            run.status = static_cast<int>(exitCode);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}
#else
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
                       const std::string& errorFile = kNullDevice) {
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
    run.rawOutput = run.output;
    int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}
#endif

}  // namespace zendor::test
