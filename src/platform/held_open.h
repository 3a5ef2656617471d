// Windows only: what another program's open handle refuses is tried again for a bounded time.
// Virus scanners, sync clients and the indexer open a file just written, often sharing nothing;
// they let go within moments, a right this user lacks never does.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/bounded_wait.h"
#include "platform/file_errors.h"

namespace zendor::platform {

// Whether the file at path is shown to be open in another program: this user is refused
// opening it for deletion because of another handle's share mode (not its rights).
bool heldOpenByAnother(const std::wstring& path);

// Whether error may go away once another program closes the file at path: a sharing or lock
// violation, or a refusal while the file is shown to be held (heldOpenByAnother).
bool heldByAnother(DWORD error, const std::wstring& path);

// Runs attempt (which returns ERROR_SUCCESS or its error) until it succeeds, fails for a reason
// waiting does not mend, or wait is used up (nullptr: a budget of kHeldFileWait of its own);
// never asks anyone to press a key.
template <typename Attempt>
Outcome retryWhileHeld(const std::wstring& path, BoundedWait* wait, Attempt attempt) {
    BoundedWait own(kHeldFileWait);
    BoundedWait& budget = wait != nullptr ? *wait : own;
    while (true) {
        const DWORD error = attempt();
        if (error == ERROR_SUCCESS) {
            return {};
        }
        if (!heldByAnother(error, path)) {
            return failure(error);
        }
        if (!budget.pause()) {
            return {Fault::HeldOpen, std::string(kHeldOpenText)};
        }
    }
}

}  // namespace zendor::platform

#endif
