// The one guard of every extern "C" entry point of the library: no exception crosses into the
// caller, and a failure inside leaves no authentication behind.
#pragma once

#include <cstdint>

#include "marlix/session.h"
#include "marlix/status.h"

namespace zendor::marlix {

template <typename Body>
int16_t guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        endAuthentication();
        return kInternalError;
    }
}

}  // namespace zendor::marlix
