// Folders and names of the paths users give, on each system with its own separators.
#include "platform/path_names.h"

#include <gtest/gtest.h>

#include <vector>

namespace zendor::platform {
namespace {

struct Case {
    std::string path;
    std::string folder;
    std::string name;
};

std::vector<Case> cases() {
    std::vector<Case> all = {
        {"card.json", ".", "card.json"},  {"cards/card.json", "cards", "card.json"},
        {"/card.json", "/", "card.json"}, {"/srv/cards/card.json", "/srv/cards", "card.json"},
        {"cards/", "cards", ""},
    };
#ifdef _WIN32
    const std::vector<Case> windows = {
        {"C:\\cards\\card.json", "C:\\cards", "card.json"},
        {"C:\\card.json", "C:\\", "card.json"},
        {"C:/card.json", "C:/", "card.json"},
        {"\\card.json", "\\", "card.json"},
        {"cards\\sub/card.json", "cards\\sub", "card.json"},
        {"\\\\server\\share\\card.json", "\\\\server\\share", "card.json"},
    };
#else
    // A backslash is an ordinary character of a Linux file name.
    const std::vector<Case> windows = {{"cards\\card.json", ".", "cards\\card.json"}};
#endif
    all.insert(all.end(), windows.begin(), windows.end());
    return all;
}

TEST(PathNames, FolderAndNameOfEachForm) {
    for (const Case& c : cases()) {
        EXPECT_EQ(folderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(nameOf(c.path), c.name) << c.path;
    }
}

TEST(PathNames, PathInPutsOneSeparator) {
    EXPECT_EQ(pathIn("cards", "card.json"), "cards/card.json");
    EXPECT_EQ(pathIn("/", "card.json"), "/card.json");
    EXPECT_EQ(pathIn(".", "card.json"), "./card.json");
#ifdef _WIN32
    EXPECT_EQ(pathIn("C:\\", "card.json"), "C:\\card.json");
    EXPECT_EQ(pathIn("C:\\cards", "card.json"), "C:\\cards/card.json");
#endif
}

}  // namespace
}  // namespace zendor::platform
