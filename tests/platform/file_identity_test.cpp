// Who a file is, through every spelling of its path: the same file, one canonical path; and
// devices told from files.
#include "platform/file_identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/path_names.h"
#include "support/path_spellings.h"
#include "support/temp_dir.h"

namespace zendor::platform {
namespace {

using test::reachable;
using test::Spelling;
using test::spellingsOf;

// A missing file has no spelling on disk to take; Windows finds it whatever the letter case.
std::string asLooked(std::string path) {
#ifdef _WIN32
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
#endif
    return path;
}

// In a short folder and in one past 260 characters, where only the wide calls with the whole
// path reach.
TEST(FileIdentity, EverySpellingReachesTheSameFileAndOneCanonicalPath) {
    test::TempDir dir;
    for (const std::string& folder :
         {dir.path().string(), test::makeLongFolder(dir.file("long"))}) {
        const std::string path = pathIn(folder, "card-file.json");
        const std::string other = pathIn(folder, "other-file.json");
        const std::string missing = pathIn(folder, "new-file.json");
        test::writeFile(reachable(path), "card");
        test::writeFile(reachable(other), "other");
        const std::string canonical = canonicalPath(path);
        EXPECT_TRUE(sameFile(canonical.c_str(), path.c_str())) << canonical;
        for (const Spelling& s : spellingsOf(path, true)) {
            EXPECT_TRUE(sameFile(s.path.c_str(), path.c_str())) << s.what << ": " << s.path;
            EXPECT_TRUE(sameFile(path.c_str(), s.path.c_str())) << s.what << ": " << s.path;
            EXPECT_FALSE(sameFile(s.path.c_str(), other.c_str())) << s.what << ": " << s.path;
            if (!s.ownName) {
                EXPECT_EQ(canonicalPath(s.path), canonical) << s.what << ": " << s.path;
            }
        }
        const std::string missingCanonical = canonicalPath(missing);
        EXPECT_EQ(nameOf(missingCanonical), "new-file.json");
        EXPECT_EQ(folderOf(missingCanonical), folderOf(canonical));
        for (const Spelling& s : spellingsOf(missing, false)) {
            EXPECT_FALSE(sameFile(s.path.c_str(), missing.c_str())) << "missing: " << s.what;
            EXPECT_EQ(asLooked(canonicalPath(s.path)), asLooked(missingCanonical))
                << s.what << ": " << s.path;
        }
    }
    // Where nothing can be examined, the path stays as typed.
    const std::string nowhere = pathIn(dir.file("no-folder"), "card.json");
    EXPECT_EQ(canonicalPath(nowhere), nowhere);
    EXPECT_FALSE(sameFile(nowhere.c_str(), nowhere.c_str()));
    EXPECT_FALSE(sameFile(nullptr, nowhere.c_str()));
}

TEST(FileIdentity, DevicesAreToldFromFilesAndFolders) {
    test::TempDir dir;
    const std::string file = dir.file("null-card.json");
    test::writeFile(file, "{}");
    const std::string missing = dir.file("card.json");
#ifdef _WIN32
    std::vector<std::string> devices = {"NUL", "nul", "CON", "COM1", "LPT1", "\\\\.\\NUL"};
#else
    std::vector<std::string> devices = {"/dev/null", "/dev/zero", "/dev/tty"};
#endif
    std::vector<std::string> files = {file, missing, dir.path().string()};
#ifdef _WIN32
    // The device namespace: a volume is a device, the way it gives to a drive's files is not.
    devices.push_back("\\\\.\\C:");
    files.push_back("\\\\.\\" + std::filesystem::absolute(file).string());
#endif
    for (const std::string& device : devices) {
        EXPECT_TRUE(isDevice(device)) << device;
    }
    for (const std::string& path : files) {
        EXPECT_FALSE(isDevice(path)) << path;
    }
}

}  // namespace
}  // namespace zendor::platform
