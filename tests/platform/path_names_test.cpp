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
        // Verbatim: '\' alone separates; '/' belongs to the name.
        {"\\\\?\\C:\\cards\\card.json", "\\\\?\\C:\\cards", "card.json"},
        {"\\\\?\\C:\\card.json", "\\\\?\\C:\\", "card.json"},
        {"\\\\?\\C:\\x/y\\card.json", "\\\\?\\C:\\x/y", "card.json"},
        {"\\\\?\\C:\\cards\\a/b.json", "\\\\?\\C:\\cards", "a/b.json"},
        {"\\\\?\\UNC\\server\\share\\card.json", "\\\\?\\UNC\\server\\share", "card.json"},
    };
#else
    // A backslash is an ordinary character of a Linux file name.
    const std::vector<Case> windows = {{"cards\\card.json", ".", "cards\\card.json"},
                                       {"\\\\?\\C:\\card.json", ".", "\\\\?\\C:\\card.json"}};
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

// A name beside a card joins its folder with the folder's own separator: a lock file of a
// verbatim path must stay verbatim, where '/' would be part of the name.
TEST(PathNames, PathInJoinsWithTheFoldersOwnSeparator) {
    struct Join {
        std::string folder;
        std::string path;
    };
    std::vector<Join> joins = {
        {"cards/x", "cards/x/card.json"}, {"/", "/card.json"}, {"/srv/", "/srv/card.json"}};
#ifdef _WIN32
    const std::vector<Join> windows = {
        {".", ".\\card.json"},
        {"cards", "cards\\card.json"},
        {"C:\\", "C:\\card.json"},
        {"C:\\cards", "C:\\cards\\card.json"},
        {"C:/cards", "C:/cards/card.json"},
        {"\\\\?\\C:\\cards", "\\\\?\\C:\\cards\\card.json"},
        {"\\\\?\\C:\\x/y", "\\\\?\\C:\\x/y\\card.json"},
    };
#else
    const std::vector<Join> windows = {{".", "./card.json"}, {"cards", "cards/card.json"}};
#endif
    joins.insert(joins.end(), windows.begin(), windows.end());
    for (const Join& j : joins) {
        EXPECT_EQ(pathIn(j.folder, "card.json"), j.path) << j.folder;
        EXPECT_EQ(pathIn(folderOf(j.path), nameOf(j.path)), j.path) << "taken apart and joined";
    }
}

// What a verbatim path takes as part of a name, not as the syntax it is elsewhere; no other path
// has such parts (and on Linux "\\?\" is only the start of a name).
TEST(PathNames, SyntaxAVerbatimPathTakesLiterally) {
    const struct {
        const char* path;
        bool literal;
    } cases[] = {
        {"\\\\?\\C:\\cards\\card.json", false},
        {"\\\\?\\C:\\cards/card.json", true},
        {"\\\\?\\C:\\cards\\..\\card.json", true},
        {"\\\\?\\C:\\.\\card.json", true},
        {"\\\\?\\C:\\cards\\..", true},
        {"\\\\?\\C:\\cards\\...json", false},
        {"\\\\?\\UNC\\server\\share\\card.json", false},
        {"C:/cards/../card.json", false},
        {"cards/../card.json", false},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        EXPECT_EQ(takesSyntaxLiterally(c.path), c.literal) << c.path;
#else
        EXPECT_FALSE(takesSyntaxLiterally(c.path)) << c.path;
#endif
    }
}

// The names Windows opens as a device whatever folder they are in; their look-alikes are files.
TEST(PathNames, DeviceNamesAsWindowsReadsThem) {
    struct Name {
        std::string_view name;
        std::string_view device;  // "" for a file's name
        bool bare;
    };
    const Name names[] = {
        {"NUL", "NUL", true},
        {"nul.", "NUL", true},
        {"Nul :", "NUL", true},
        {"nul.txt", "NUL", false},
        {"aux.ini", "AUX", false},
        {"AUX.tar.gz", "AUX", false},
        {"con.csv", "CON", false},
        {"Com1.ini", "COM1", false},
        {"com9", "COM9", true},
        {"com1 .txt", "COM1", false},
        {"lpt1. .", "LPT1", true},
        {"LPT\xC2\xB9.ini", "LPT\xC2\xB9", false},
        {"prn:stream", "PRN", false},
        {"conin$", "CONIN$", true},
        {"CONOUT$.log", "CONOUT$", false},
        {"com0.ini", "", false},
        {"com10.ini", "", false},
        {"lpt", "", false},
        {"auxiliary.ini", "", false},
        {"my.aux.ini", "", false},
        {"nul_settings.ini", "", false},
        {".nul", "", false},
        {"", "", false},
    };
    for (const Name& n : names) {
        const DeviceName device = deviceNameOf(n.name);
        EXPECT_EQ(device.device, n.device) << n.name;
        EXPECT_EQ(device.bare, n.bare) << n.name;
    }

#ifdef _WIN32
    EXPECT_EQ(deviceNamedBy("C:\\exports\\aux.ini").device, "AUX");
    EXPECT_EQ(deviceNamedBy("exports/com1.ini").device, "COM1");
    // A verbatim path is taken as typed: there aux.ini is a file.
    EXPECT_EQ(deviceNamedBy("\\\\?\\C:\\exports\\aux.ini").device, "");
#else
    EXPECT_EQ(deviceNamedBy("/srv/exports/aux.ini").device, "");
    EXPECT_EQ(deviceNamedBy("NUL").device, "");
#endif
}

}  // namespace
}  // namespace zendor::platform
