#include "platform/held_open.h"
#include "platform/native_handle.h"

namespace zendor::platform {

bool heldOpenByAnother(const std::wstring& path) {
    FileHandle probe = adopt(openExisting(path, DELETE));
    return !probe.isOpen() && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool heldByAnother(DWORD error, const std::wstring& path) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return true;
        case ERROR_ACCESS_DENIED:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
            // A right this user lacks is not waited for; only a holder shown to be there is.
            return heldOpenByAnother(path);
        default:
            return false;
    }
}

}  // namespace zendor::platform
