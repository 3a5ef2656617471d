// POSIX: who a file is (device and inode) and the one spelling of its path.
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "platform/file_identity.h"
#include "platform/path_names.h"

namespace zendor::platform {
namespace {

bool sameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// realpath(3), or nothing when the path cannot be resolved.
bool resolved(const std::string& path, std::string& real) {
    std::unique_ptr<char, decltype(&std::free)> found(::realpath(path.c_str(), nullptr),
                                                      &std::free);
    if (!found) {
        return false;
    }
    real = found.get();
    return true;
}

}  // namespace

bool sameFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return first != nullptr && second != nullptr && ::stat(first, &a) == 0 &&
           ::stat(second, &b) == 0 && sameInode(a, b);
}

std::string canonicalPath(const std::string& path) {
    std::string real;
    if (resolved(path, real)) {
        return real;
    }
    const std::string name = nameOf(path);
    if (!isEntryName(name) || !resolved(folderOf(path), real)) {
        return path;
    }
    return pathIn(real, name);
}

bool isDevice(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 &&
           (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode));
}

uint32_t nameCount(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<uint32_t>(status.st_nlink) : 0;
}

}  // namespace zendor::platform
