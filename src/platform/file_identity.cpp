#include "platform/file_identity.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace zendor::platform {

#ifdef _WIN32

namespace {

// Opened for no access at all, which works on files that others hold open; the backup flag lets
// a folder open too.
bool identityOf(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return known;
}

}  // namespace

bool sameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return first != nullptr && second != nullptr && identityOf(first, a) && identityOf(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

#else

bool sameFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return first != nullptr && second != nullptr && ::stat(first, &a) == 0 &&
           ::stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#endif

}  // namespace zendor::platform
