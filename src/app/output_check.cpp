#include "app/output_check.h"

#include <cstdio>
#include <optional>

#include "marlix/device_name.h"
#include "platform/file_identity.h"

namespace zendor::app {

namespace {

bool differs(const char* outputFile, const char* input, const char* what) {
    if (!platform::sameFile(outputFile, input)) {
        return true;
    }
    std::printf("Output file '%s' is the same file as the %s '%s' : nothing written\n", outputFile,
                what, input);
    return false;
}

}  // namespace

bool outputSparesInputs(const char* outputFile, const char* configFile, const char* deviceName) {
    if (outputFile == nullptr) {
        return true;
    }
    if (!differs(outputFile, configFile, "configuration file")) {
        return false;
    }
    // The name was accepted when the reader was opened, so parsing it again prints nothing.
    const std::optional<marlix::DeviceName> device = marlix::parseDeviceName(deviceName);
    return !device || device->kind != marlix::DeviceName::Kind::VirtualCard ||
           differs(outputFile, device->target.c_str(), "card file");
}

}  // namespace zendor::app
