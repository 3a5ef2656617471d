// The command line: options, help and version.
#pragma once

namespace zendor::app {

constexpr const char* PROGRAM_NAME = "zendorcfg";
constexpr const char* PROGRAM_VERSION = "1.00";
constexpr const char* DEFAULT_CONFIG_FILE = "zendor.ini";

// What the command line asks for. Texts point into the argument vector (or at the literal
// default); nothing is copied.
struct ProgramOptions {
    bool create = false;
    bool read = false;
    const char* configFile = DEFAULT_CONFIG_FILE;
    const char* outputFile = nullptr;
    const char* deviceName = nullptr;
    bool verbose = false;    // recorded, consulted by nothing
    bool overwrite = false;  // recorded, consulted by nothing
    bool showVersion = false;
    bool showHelp = false;
};

// The process-wide options, written only by parseCommandLine.
extern ProgramOptions programOptions;

// Resets programOptions and fills it from argv[1..argc-1]; false at the first argument that is
// not understood (options after it are not examined).
bool parseCommandLine(int argc, const char* const* argv);

// "zendorcfg 1.00" and the maker's notice.
void printVersion();

// The help text; baseName fills the synopsis lines.
void printUsage(const char* baseName);

// Where the last path component of path begins ('/' and '\\' both separate). Trailing separators
// stay part of it ("dir/tool/" gives "tool/"); separators alone give the last one.
const char* programBaseName(const char* path);

}  // namespace zendor::app
