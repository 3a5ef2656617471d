#include "app/workflows.h"

#include <cstdio>

namespace zendor::app {

// The workflows arrive with the master-card operations; until then no card job can succeed.
bool createMasterCard(const char* /*configFile*/, const CardUid& /*cardUid*/) {
    std::printf("Master Card creation is not available in this build\n");
    return false;
}

bool readMasterCard(const char* /*configFile*/, const CardUid& /*cardUid*/,
                    const char* /*outputFile*/) {
    std::printf("Master Card reading is not available in this build\n");
    return false;
}

}  // namespace zendor::app
