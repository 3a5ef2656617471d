#include "app/program.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "app/command_line.h"
#include "app/output_check.h"
#include "app/workflows.h"
#include "card/reader_connection.h"

namespace zendor::app {
namespace {

int tryHelp(const char* baseName) {
    std::printf("Try '%s -h' for help.\n", baseName);
    return 1;
}

}  // namespace

int runProgram(int argc, const char* const* argv) {
    const char* baseName = programBaseName(argc > 0 && argv[0] != nullptr ? argv[0] : PROGRAM_NAME);
    if (!parseCommandLine(argc, argv)) {
        std::printf("%s : error in command line\n", baseName);
        return tryHelp(baseName);
    }
    const ProgramOptions& options = programOptions;
    if (options.showHelp) {
        printUsage(baseName);
        return 0;
    }
    if (options.showVersion) {
        printVersion();
        return 0;
    }
    if (options.create && options.read) {
        std::printf("%s : incoherent parameters (both read & write specified)\n", baseName);
        return tryHelp(baseName);
    }
    if (!options.create && !options.read) {
        std::printf("%s : missing parameter (choose either read or write)\n", baseName);
        return tryHelp(baseName);
    }

    CardUid cardUid{};
    if (!card::openReaderConnection(cardUid.data(), options.deviceName)) {
        std::printf("Exiting\n");
        return 1;
    }
    if (!outputSparesInputs(options.outputFile, options.configFile)) {
        card::closeReaderConnection();
        return 1;
    }
    bool succeeded = options.create
                         ? createMasterCard(options.configFile, cardUid)
                         : readMasterCard(options.configFile, cardUid, options.outputFile);
    card::closeReaderConnection();
    return succeeded ? 0 : 1;
}

}  // namespace zendor::app
