// Paths as users type them, at the command line: the card and the configuration reached
// through any spelling (long, verbatim, 8.3, links) are the same files, and a device is no card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_names.h"
#include "support/card_files.h"
#include "support/path_spellings.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "vcard/card_file.h"

namespace zendor {
namespace {

using test::reachable;
using test::Spelling;
using test::ToolRun;

const std::string kConfig = "[master]\nclear = 1\n[general]\nopt = 01\n";
const std::string kCreated =
    "60=01\n"
    "Application 5A4D43 not found in the card\n"
    "Trying to format the card...\n"
    "Writing the new Master Card...\n"
    "OK !\n";

ToolRun zendorcfg(const std::string& card, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-d", "sim:" + card};
    all.insert(all.end(), args.begin(), args.end());
    return test::runTool(ZENDORCFG_PATH, all);
}

// In a short folder and in one past 260 characters: the card is made, then -o onto the
// configuration (the only copy of its keys) or onto the card file through each spelling is
// refused, and both stay as they were.
TEST(PathSpellings, AnOutputOntoAnInputIsRefusedThroughEverySpelling) {
    test::TempDir dir;
    for (const std::string& folder :
         {dir.path().string(), test::makeLongFolder(dir.file("long"))}) {
        SCOPED_TRACE(folder.size());
        const std::string config = platform::pathIn(folder, "zendor-config.ini");
        const std::string card = platform::pathIn(folder, "card-file.json");
        test::writeFile(reachable(config), kConfig);
        ToolRun created = zendorcfg(card, {"-c", config});
        ASSERT_EQ(created.output, kCreated);
        const std::string cardText = test::readFile(reachable(card));
        struct Input {
            std::string path;
            std::string what;
        };
        for (const Input& input : {Input{config, "configuration file"}, Input{card, "card file"}}) {
            for (const Spelling& s : test::spellingsOf(input.path, true)) {
                ToolRun run = zendorcfg(card, {"-r", config, "-o", s.path});
                EXPECT_EQ(run.output, "Output file '" + s.path + "' is the same file as the " +
                                          input.what + " '" + input.path + "' : nothing written\n")
                    << s.what;
                EXPECT_EQ(run.status, 1) << s.what;
                EXPECT_EQ(test::readFile(reachable(config)), kConfig) << s.what;
                EXPECT_EQ(test::readFile(reachable(card)), cardText) << s.what;
            }
        }
    }
}

// A device as the card: said in one line before the reader is given up, and nothing made.
TEST(PathSpellings, ADeviceIsNoCardFile) {
    test::TempDir dir;
    const std::string config = dir.file("zendor.ini");
    test::writeFile(config, kConfig);
#ifdef _WIN32
    const std::vector<std::string> devices = {"NUL", "CON", "COM1", "nul"};
#else
    const std::vector<std::string> devices = {"/dev/null", "/dev/zero"};
#endif
    for (const std::string& device : devices) {
        for (const char* job : {"-c", "-r"}) {
            ToolRun run = zendorcfg(device, {job, config});
            EXPECT_EQ(run.output, "Virtual card file '" + device +
                                      "' is a device, not a card file\nReader sim:" + device +
                                      " not found\nExiting\n")
                << device << " " << job;
            EXPECT_EQ(run.status, 1) << device;
        }
    }
    EXPECT_EQ(test::readFile(config), kConfig);
}

// Windows opens "aux.ini" as the device AUX: an export there would vanish under an "OK !". NUL
// alone still discards it; on Linux these are names like any other.
TEST(PathSpellings, AnOutputNamedForADevice) {
    test::TempDir dir;
    const std::string config = dir.file("zendor.ini");
    const std::string card = dir.file("card.json");
    test::writeFile(config, kConfig);
    ASSERT_EQ(zendorcfg(card, {"-c", config}).output, kCreated);
    const std::string cardText = test::readFile(card);
    struct Output {
        std::string name;
        std::string device;
    };
    const Output outputs[] = {{"aux.ini", "AUX"},  {"Com1.ini", "COM1"}, {"nul.txt", "NUL"},
                              {"con.csv", "CON"},  {"lpt1", "LPT1"},     {"conin$", "CONIN$"},
                              {"prn.ini. ", "PRN"}};
    for (const Output& o : outputs) {
        const std::string path = dir.file(o.name);
        ToolRun run = zendorcfg(card, {"-r", config, "-o", path});
#ifdef _WIN32
        EXPECT_EQ(run.output, "Output file '" + path +
                                  "' : Windows takes that name for the device " + o.device +
                                  ", nothing written\n");
        EXPECT_EQ(run.status, 1) << o.name;
#else
        EXPECT_TRUE(run.output.ends_with("OK !\n")) << run.output;
        EXPECT_EQ(run.status, 0) << o.name;
        EXPECT_TRUE(test::readFile(path).starts_with("[general]")) << o.name;
#endif
        EXPECT_EQ(test::readFile(card), cardText) << o.name;
    }
#ifdef _WIN32
    for (const std::string nul : {"NUL", "nul"}) {
        ToolRun run = zendorcfg(card, {"-r", config, "-o", nul});
        EXPECT_TRUE(run.output.ends_with("OK !\n")) << run.output;
        EXPECT_EQ(run.status, 0) << nul;
    }
#endif
}

#ifdef _WIN32
// In a verbatim path only '\' separates: the lock file and the copies beside the card must be
// joined with it, or the system takes '/' for part of a name.
TEST(PathSpellings, AVerbatimCardPathIsACardPath) {
    test::TempDir dir;
    const std::string config = dir.file("zendor.ini");
    test::writeFile(config, kConfig);
    const std::string card = "\\\\?\\" + dir.file("card.json");
    ToolRun created = zendorcfg(card, {"-c", config});
    EXPECT_EQ(created.output, kCreated);
    EXPECT_EQ(created.status, 0);
    ToolRun read = zendorcfg(card, {"-r", config});
    EXPECT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(vcard::readCardFile(dir.file("card.json")).status, vcard::ReadStatus::Ok);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"card.json", "zendor.ini"}));
}
#endif

}  // namespace
}  // namespace zendor
