#include "app/output_check.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "card/marlix.h"
#include "platform/file_identity.h"
#include "platform/path_names.h"

namespace zendor::app {

namespace {

// Room for the longest path Windows takes (32767 characters) when they are ASCII.
constexpr uint16_t kMaxKeptPathBytes = 32768;

bool differs(const char* outputFile, const char* input, const char* what) {
    if (!platform::sameFile(outputFile, input)) {
        return true;
    }
    std::printf("Output file '%s' is the same file as the %s '%s' : nothing written\n", outputFile,
                what, input);
    return false;
}

const char* roleName(uint8_t role) {
    return role == MARLIX_FILE_LOCK ? "card's lock file" : "card file";
}

// The reader tells which files it keeps; the tool need not know what device they stand for.
bool sparesReaderFiles(const char* outputFile) {
    std::array<char, kMaxKeptPathBytes> path{};
    for (uint8_t index = 0;; ++index) {
        uint8_t role = 0;
        uint16_t length = kMaxKeptPathBytes;
        int16_t status = MARLIX_ReaderGetFile(index, &role, path.data(), &length);
        if (status != MARLIX_OK) {
            // Unknown files cannot be spared: nothing is written rather than risk one.
            std::printf(
                "Output file '%s' : the reader's files cannot be checked (%d), nothing "
                "written\n",
                outputFile, status);
            return false;
        }
        if (length == 0) {
            return true;
        }
        if (!differs(outputFile, path.data(), roleName(role))) {
            return false;
        }
    }
}

// Windows opens "aux.ini" or "nul.txt" as the device, so the export would vanish while the run
// says "OK !". NUL alone is the way to discard it, as asked.
bool isFileName(const char* outputFile) {
    const platform::DeviceName name = platform::deviceNamedBy(outputFile);
    if (name.device.empty() || (name.bare && name.device == "NUL")) {
        return true;
    }
    std::printf("Output file '%s' : Windows takes that name for the device %s, nothing written\n",
                outputFile, name.device.c_str());
    return false;
}

}  // namespace

bool outputSparesInputs(const char* outputFile, const char* configFile) {
    if (outputFile == nullptr) {
        return true;
    }
    return isFileName(outputFile) && differs(outputFile, configFile, "configuration file") &&
           sparesReaderFiles(outputFile);
}

}  // namespace zendor::app
