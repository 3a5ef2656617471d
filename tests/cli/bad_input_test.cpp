// Bad input at the edges of the built zendorcfg: configuration files that are not what a person
// writes, output that cannot be written, card files that are cut short, write-protected or
// changed behind the tool's back. Each gets its clear line; none loses data or passes for done.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "card/reader_connection.h"
#include "support/card_files.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "vcard/card_file.h"
#include "vcard/card_json.h"

namespace zendor {
namespace {

using test::TempDir;
using test::ToolRun;
using vcard::CardState;

const std::string kCreated =
    "Application 5A4D43 not found in the card\n"
    "Trying to format the card...\n"
    "Writing the new Master Card...\n"
    "OK !\n";

class BadInput : public ::testing::Test {
  protected:
    BadInput() { test::writeCard(cardPath(), test::knownDesfire()); }

    std::string cardPath() const { return dir.file("card.json"); }
    std::string config() const { return dir.file("zendor.ini"); }

    ToolRun zendorcfg(std::vector<std::string> args) {
        args.insert(args.begin(), {"-d", "sim:" + cardPath()});
        return test::runTool(ZENDORCFG_PATH, args);
    }

    // The tool run by a shell that first applies setup (redirections, limits).
    ToolRun zendorcfgAfter(const std::string& setup, std::vector<std::string> args) {
        args.insert(args.begin(), {"-c", setup + "; exec \"$0\" \"$@\"", ZENDORCFG_PATH, "-d",
                                   "sim:" + cardPath()});
        return test::runTool("/bin/sh", args);
    }

    void makeMasterCard() {
        test::writeFile(config(), "[general]\nopt = 01\n");
        ASSERT_EQ(zendorcfg({"-c", config()}).status, 0);
    }

    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

TEST_F(BadInput, ConfigurationFilesThatNoPersonWrites) {
    const std::string longComment = "; " + std::string(300, 'x') + " odl = 05\n";
    struct Case {
        const char* name;
        std::string text;
        std::string dump;  // what the tool loads from it
    };
    const Case cases[] = {
        {"megabytes of comments, settings at the end",
         "[general]\n" + std::string(4 << 20, ';') + "\nopt = 01\n[rckeys]\na0=112233445566\n",
         "60=01\n80=112233445566\n"},
        {"a setting in the tail of a long comment stays dead",
         "[general]\n" + longComment + "opt=01\n", "60=01\n"},
        {"a long line whose tail holds a section head",
         "[general]\nopt = 01 ; " + std::string(400, 'y') + "[rckeys]\na0 = 112233445566\n",
         "60=01\n"},
    };
    for (const Case& c : cases) {
        test::writeCard(cardPath(), test::knownDesfire());
        test::writeFile(config(), c.text);
        ToolRun run = zendorcfg({"-c", config()});
        EXPECT_EQ(run.output, c.dump + kCreated) << c.name;
        EXPECT_EQ(run.status, 0) << c.name;
    }
}

TEST_F(BadInput, AnOverlongValueIsReportedCutToItsFirst127Characters) {
    const std::string zeros(400, '0');
    test::writeFile(config(), "[general]\nopt = " + zeros + "1\nodl = 05\n");
    ToolRun run = zendorcfg({"-c", config()});
    const std::string shown(127, '0');
    EXPECT_EQ(run.output, "Value '" + shown + "' : not an array of byte\n" +
                              "Failed to decode value '" + shown +
                              "'Invalid entry 'general.opt'\n" + "61=05\n" + kCreated);
    EXPECT_EQ(run.status, 0);
}

TEST_F(BadInput, OutputFilesThatCannotBeWritten) {
    makeMasterCard();
    const std::string folder = dir.file("folder");
    std::filesystem::create_directory(folder);
    const std::string underAFile = cardPath() + "/out.ini";
    struct Case {
        std::string path;
        std::string failure;
    };
    const Case cases[] = {
        {folder, "Failed to create file '" + folder + "'\n"},
        {underAFile, "Failed to create file '" + underAFile + "'\n"},
        {"/dev/full", "Failed to write file '/dev/full'\n"},
    };
    for (const Case& c : cases) {
        const std::string before = test::readFile(cardPath());
        ToolRun run = zendorcfg({"-r", config(), "-o", c.path});
        EXPECT_EQ(run.output, "Reading the Master Card...\n60=01\nExporting to '" + c.path + "'\n" +
                                  c.failure + "Failed !\n");
        EXPECT_EQ(run.status, 1) << c.path;
        EXPECT_EQ(test::readFile(cardPath()), before) << "reading changes nothing";
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// The console is where -r shows the settings: when it cannot take them, the run has failed.
TEST_F(BadInput, AConsoleThatCannotTakeTheSettings) {
#ifdef _WIN32
    GTEST_SKIP() << "a full console is made with a POSIX shell's /dev/full";
#endif
    makeMasterCard();
    EXPECT_EQ(zendorcfgAfter("exec >/dev/full", {"-r", config()}).status, 1);
    // Only the progress lines are lost when a creation writes to it: the card is made.
    test::writeCard(cardPath(), test::knownDesfire());
    EXPECT_EQ(zendorcfgAfter("exec >/dev/full", {"-c", config()}).status, 0);
    EXPECT_EQ(zendorcfg({"-r", config()}).status, 0);
}

size_t lineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Cut after every byte, a card file is refused with its reason, and left as it was; only the
// whole document (with or without its last newline) opens.
TEST_F(BadInput, ACardFileCutShortAtEveryLength) {
    makeMasterCard();
    const std::string whole = test::readFile(cardPath());
    const std::string cut = dir.file("cut.json");
    const std::string device = "sim:" + cut;
    for (size_t length = 0; length < whole.size(); ++length) {
        const std::string text = whole.substr(0, length);
        test::writeFile(cut, text);
        ::testing::internal::CaptureStdout();
        std::array<uint8_t, 8> uid{};
        const bool opened = card::openReaderConnection(uid.data(), device.c_str());
        card::closeReaderConnection();
        const std::string output = ::testing::internal::GetCapturedStdout();
        if (length + 1 == whole.size()) {
            EXPECT_TRUE(opened) << "the document without its last newline is whole";
            EXPECT_EQ(output, "");
            continue;
        }
        SCOPED_TRACE("card file cut to " + std::to_string(length) + " bytes");
        EXPECT_FALSE(opened);
        EXPECT_TRUE(output.starts_with("Virtual card file '" + cut + "' is not valid: ")) << output;
        EXPECT_TRUE(output.ends_with("\nReader " + device + " not found\n")) << output;
        EXPECT_EQ(lineCount(output), 2u) << output;
        EXPECT_EQ(test::readFile(cut), text);
    }
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"card.json", "cut.json", "zendor.ini"}))
        << "nothing left behind";

    test::writeFile(cut, whole.substr(0, whole.size() / 2));
    ToolRun run = test::runTool(ZENDORCFG_PATH, {"-d", device, "-r", config()});
    EXPECT_EQ(run.output, "Virtual card file '" + cut + "' is not valid: not valid JSON\nReader " +
                              device + " not found\nExiting\n");
    EXPECT_EQ(run.status, 1);
}

// A write-protected card file is a card that can be read but takes no change: a creation fails
// at its first change, and the file keeps its content and its protection.
TEST_F(BadInput, AWriteProtectedCardFile) {
    makeMasterCard();
    const std::string master = test::readFile(cardPath());
    ::chmod(cardPath().c_str(), 0444);
    EXPECT_EQ(zendorcfg({"-r", config()}).status, 0);

    const std::string protectedLine =
        "Virtual card file '" + cardPath() + "' cannot be saved: it is read-only\n";
    test::writeFile(config(), "[general]\nopt = 02\n");
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, "60=02\nWriting the new Master Card...\n" + protectedLine +
                              "Error writing signature file (-108)\nFailed !\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::readFile(cardPath()), master);

    ::chmod(cardPath().c_str(), 0644);
    test::writeCard(cardPath(), test::knownDesfire());
    const std::string fresh = test::readFile(cardPath());
    ::chmod(cardPath().c_str(), 0444);
    run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output,
              "60=02\nApplication 5A4D43 not found in the card\n"
              "Trying to format the card...\n" +
                  protectedLine +
                  "Application 5A4D43 create error (-108)\n"
                  "Failed to create mapping !\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::readFile(cardPath()), fresh);

    struct stat info {};
    ASSERT_EQ(::stat(cardPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"card.json", "zendor.ini"}));
}

// A card file keeps who may read it: it holds the card's keys.
TEST_F(BadInput, SavingACardFileKeepsItsPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no permission bits to keep";
#endif
    for (mode_t mode : {0600, 0640, 0664}) {
        test::writeCard(cardPath(), test::knownDesfire());
        ::chmod(cardPath().c_str(), mode);
        makeMasterCard();
        struct stat info {};
        ASSERT_EQ(::stat(cardPath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, mode);
    }
}

// No room for the card file (here a file size limit): the creation fails where the card could
// not be saved, and the file holds the card as it was before that command.
TEST_F(BadInput, NoRoomForTheCardFile) {
#ifdef _WIN32
    GTEST_SKIP() << "the file size limit is a POSIX shell's ulimit";
#endif
    test::writeFile(config(), "[general]\nopt = 01\n");
    ToolRun run = zendorcfgAfter("trap '' XFSZ; ulimit -f 1", {"-c", config()});
    EXPECT_EQ(run.output,
              "60=01\nApplication 5A4D43 not found in the card\n"
              "Trying to format the card...\n"
              "Virtual card file '" +
                  cardPath() +
                  "' cannot be saved: cannot write it: File too large\n"
                  "File 5A4D43.01 create error (-108)\n"
                  "Failed to create mapping !\n");
    EXPECT_EQ(run.status, 1);
    std::string error;
    std::optional<CardState> card = vcard::parseCardJson(test::readFile(cardPath()), error);
    ASSERT_TRUE(card) << error;
    ASSERT_EQ(card->applications.size(), 1u);
    EXPECT_TRUE(card->applications[0].files.empty());
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"card.json", "zendor.ini"}));
    EXPECT_EQ(zendorcfg({"-c", config()}).status, 0) << "with room again, the creation completes";
}

// Each run takes the card file as it is then: a card changed between two runs is read afresh.
TEST_F(BadInput, ACardFileChangedBetweenTwoRuns) {
    makeMasterCard();
    test::writeCard(cardPath(), test::knownDesfire());
    ToolRun run = zendorcfg({"-r", config()});
    EXPECT_EQ(run.output, "Application 5A4D43 not found in the card\nThis is not a Master Card\n");
    EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace zendor
