#include "app/command_line.h"

#include <cstdio>
#include <cstring>

namespace zendor::app {

ProgramOptions programOptions;

namespace {

bool isOption(const char* arg, const char* option) {
    return std::strcmp(arg, option) == 0;
}

// The argument after position i when there is one and it does not begin with '-'. An empty
// argument counts as a value.
const char* valueAfter(int argc, const char* const* argv, int i) {
    if (i + 1 < argc && argv[i + 1][0] != '-') {
        return argv[i + 1];
    }
    return nullptr;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv) {
    programOptions = ProgramOptions{};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (isOption(arg, "-c") || isOption(arg, "-w") || isOption(arg, "-r")) {
            (arg[1] == 'r' ? programOptions.read : programOptions.create) = true;
            if (const char* value = valueAfter(argc, argv, i)) {
                programOptions.configFile = value;
                ++i;
            }
        } else if (isOption(arg, "-o") || isOption(arg, "-d")) {
            bool isOutput = arg[1] == 'o';
            const char* value = valueAfter(argc, argv, i);
            if ((isOutput && !programOptions.read) || value == nullptr) {
                return false;
            }
            (isOutput ? programOptions.outputFile : programOptions.deviceName) = value;
            ++i;
        } else if (isOption(arg, "-v")) {
            programOptions.verbose = true;
        } else if (isOption(arg, "-y")) {
            programOptions.overwrite = true;
        } else if (isOption(arg, "-V")) {
            programOptions.showVersion = true;
        } else if (isOption(arg, "-h")) {
            programOptions.showHelp = true;
        } else {
            return false;
        }
    }
    return true;
}

void printVersion() {
    std::printf("%s %s\n", PROGRAM_NAME, PROGRAM_VERSION);
    std::printf("Master Card tool for Quarnel ZENDOR readers\n");
}

void printUsage(const char* baseName) {
    printVersion();
    std::printf("\n");
    std::printf("This program automates the process of creating Master Cards\n");
    std::printf("for Quarnel ZENDOR readers.\n");
    std::printf("\n");
    std::printf("Create a Master Card with settings read from <config_file> :\n");
    std::printf("%s -c [<config_file>] [OPTIONS]\n\n", baseName);
    std::printf("Retrieve settings from Master Card, and display it :\n");
    std::printf("%s -r [<config_file>] [OPTIONS]\n\n", baseName);
    std::printf("Retrieve settings from Master Card, and save it into <output_file> :\n");
    std::printf("%s -r [<config_file>] -o <output_file> [OPTIONS]\n\n", baseName);
    std::printf("Default <config_file> is '%s'\n", DEFAULT_CONFIG_FILE);
    std::printf("Options are :\n");
    std::printf("  -d <device_name>    : use this communication device to access the\n");
    std::printf("                        Tessel or Marlix reader\n");
    std::printf("                        (default : use system globals)\n");
    std::printf("  -o <option_file>    : retrieve options from this INI file\n");
    std::printf("  -v                  : be verbose\n");
    std::printf("  -y                  : overwrite existing file(s)\n");
    std::printf("  -V                  : print version info, and exits\n");
    std::printf("  -h                  : print this help, and exits\n");
    std::printf("\n");
}

const char* programBaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0';) {
        if (!isSeparator(*p)) {
            ++p;
            continue;
        }
        const char* run = p;
        while (isSeparator(*p)) {
            ++p;
        }
        if (*p == '\0') {
            // Trailing separators: a text of separators only yields its last one.
            return base == path && run == path ? p - 1 : base;
        }
        base = p;
    }
    return base;
}

}  // namespace zendor::app
