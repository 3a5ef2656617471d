// Windows only: the system's error codes as the file seam's outcomes, with the system's own text.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace zendor::platform {

constexpr std::string_view kHeldOpenText = "another program holds it open";

// The system's own text for an error, without its line end and final period.
std::string errorText(DWORD error);

// The fault an error is (a sharing violation: Fault::HeldOpen, said in our own words).
Outcome failure(DWORD error);

inline Outcome lastFailure() {
    return failure(GetLastError());
}

// ERROR_SUCCESS, or the error of the call that returned done.
inline DWORD errorOf(BOOL done) {
    return done ? ERROR_SUCCESS : GetLastError();
}

}  // namespace zendor::platform

#endif
