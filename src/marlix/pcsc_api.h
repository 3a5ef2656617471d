// The PC/SC API and where it comes from: pcsc-lite's headers here, the system's WinSCard on
// Windows (built without UNICODE, so the SCard* names are the ANSI ones). The few names only
// pcsc-lite defines are given here for both, so nothing else depends on the difference.
#pragma once

#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#include <winscard.h>
#else
#include <PCSC/winscard.h>
#endif

namespace zendor::marlix::pcsc {

// The API's buffer sizes, what to check when its service does not answer, and who refuses a
// user (SCARD_W_SECURITY_VIOLATION) with where to read what to do, as users know them.
#ifdef _WIN32
constexpr size_t kMaxBufferSize = 264;  // a short APDU's answer: 256 data bytes, status, slack
constexpr size_t kMaxAtrSize = 33;
constexpr const char* kServiceHint = "is the Smart Card service running?";
constexpr const char* kRefuser = "The Smart Card service refuses";
constexpr const char* kRefusalHint = "SCARD_W_SECURITY_VIOLATION";
#else
constexpr size_t kMaxBufferSize = MAX_BUFFER_SIZE;
constexpr size_t kMaxAtrSize = MAX_ATR_SIZE;
constexpr const char* kServiceHint = "is pcscd running?";
constexpr const char* kRefuser = "pcscd's access rules (polkit) refuse";
constexpr const char* kRefusalHint = "see man zendorcfg, DIAGNOSTICS";
#endif

}  // namespace zendor::marlix::pcsc
