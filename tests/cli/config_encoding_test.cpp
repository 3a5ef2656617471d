// Configurations as Windows editors save them: UTF-16 with its mark gives what the same text in
// UTF-8 gives; a file holding a NUL byte is no configuration and changes nothing.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/card_files.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace zendor {
namespace {

using test::TempDir;
using test::ToolRun;

// Non-ASCII in a comment: two, three and four UTF-8 bytes.
const std::string kUtf8Comment = "; caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x91\n";
const std::u16string kUtf16Comment = u"; caf\u00e9 \u20ac \U0001F511\n";

// ASCII text (the example is) and then the comment, as UTF-16 of either order after its mark;
// crlf: with Windows line ends, as Notepad saves it.
std::string utf16(const std::string& ascii, bool bigEndian, bool crlf) {
    std::u16string units;
    for (char c : ascii) {
        if (c == '\n' && crlf) {
            units += u'\r';
        }
        units += static_cast<char16_t>(c);
    }
    units += kUtf16Comment;
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

class ConfigEncoding : public ::testing::Test {
  protected:
    ConfigEncoding() { test::writeCard(cardPath(), test::knownDesfire()); }

    std::string cardPath() const { return dir.file("card.json"); }
    std::string config() const { return dir.file("zendor.ini"); }

    ToolRun zendorcfg(std::vector<std::string> args) {
        args.insert(args.begin(), {"-d", "sim:" + cardPath()});
        return test::runTool(ZENDORCFG_PATH, args);
    }

    // A configuration of these bytes stops -c and -r alike with the line refused, exit 1, and
    // leaves the card file as it was (master).
    void expectRefusedByEitherJob(const char* name, const std::string& bytes,
                                  const std::string& refused, const std::string& master) {
        test::writeFile(config(), bytes);
        for (const char* job : {"-c", "-r"}) {
            const ToolRun run = zendorcfg({job, config()});
            EXPECT_EQ(run.output, refused) << name << ' ' << job;
            EXPECT_EQ(run.status, 1) << name << ' ' << job;
            EXPECT_EQ(test::readFile(cardPath()), master) << name << ' ' << job;
        }
    }

    TempDir dir;
};

const std::string kExample =
    test::readFile(std::string(ZENDOR_SOURCE_DIR) + "/examples/zendor.ini");

TEST_F(ConfigEncoding, Utf16GivesWhatUtf8Gives) {
    ASSERT_NE(kExample.find("[master]"), std::string::npos);
    test::writeFile(config(), kExample + kUtf8Comment);
    const ToolRun created = zendorcfg({"-c", config()});
    ASSERT_EQ(created.status, 0) << created.output;
    const std::string card = test::readFile(cardPath());
    const ToolRun read = zendorcfg({"-r", config()});
    ASSERT_EQ(read.status, 0) << read.output;

    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-16LE, CRLF", utf16(kExample, false, true)},
        {"UTF-16BE", utf16(kExample, true, false)},
    };
    for (const Case& c : cases) {
        test::writeFile(config(), c.bytes);
        // The card is made with this file's [master] keys, and read back with them.
        test::writeCard(cardPath(), test::knownDesfire());
        const ToolRun createdAgain = zendorcfg({"-c", config()});
        EXPECT_EQ(createdAgain.output, created.output) << c.name;
        EXPECT_EQ(createdAgain.status, 0) << c.name;
        EXPECT_EQ(test::readFile(cardPath()), card) << c.name;
        const ToolRun readAgain = zendorcfg({"-r", config()});
        EXPECT_EQ(readAgain.output, read.output) << c.name;
        EXPECT_EQ(readAgain.status, 0) << c.name;
    }
}

std::string bytesOf(size_t count, uint32_t seed) {
    std::minstd_rand random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// Refused before the card is touched, for a creation as for a reading.
TEST_F(ConfigEncoding, AFileThatIsNotTextIsRefused) {
    test::writeFile(config(), "[general]\nopt = 01\n");
    ASSERT_EQ(zendorcfg({"-c", config()}).status, 0);
    const std::string master = test::readFile(cardPath());
    const std::string refused = "Failed to read file '" + config() + "' : not a text file\n";

    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"binary", bytesOf(4096, 7)},
        {"a NUL byte in a line", std::string("[general]\nopt = 02\0 03\n", 23)},
        {"NUL bytes after the settings",
         "[general]\nopt = 02\n" + std::string(65536, '\0') + "\n[rckeys]\na0 = 112233445566\n"},
        {"NUL after a UTF-8 mark", std::string("\xEF\xBB\xBF[general]\nopt = 02\n\0", 23)},
        {"UTF-16 cut in a unit", utf16("[general]\nopt = 02\n", false, true) + "\n"},
        {"UTF-16 without its mark", std::string("[\0g\0e\0n\0]\0", 10)},
    };
    for (const Case& c : cases) {
        expectRefusedByEitherJob(c.name, c.bytes, refused, master);
    }
}

// PowerShell 5 saves UTF-16; a batch file then appends with `echo ... >>` in 8-bit text. Read as
// UTF-16, the appended line would be lost and the card made with the keys it meant to replace.
TEST_F(ConfigEncoding, EightBitTextAfterUtf16IsRefused) {
    test::writeFile(config(), "[general]\nopt = 01\n");
    ASSERT_EQ(zendorcfg({"-c", config()}).status, 0);
    const std::string master = test::readFile(cardPath());
    const std::string refused = "Failed to read file '" + config() +
                                "' : mixes two encodings (UTF-16, then 8-bit text); save it as "
                                "UTF-8 before appending to it\n";

    const std::string appended = "root = 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\r\n";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-16LE, an even line appended", utf16(kExample, false, true) + appended},
        {"UTF-16LE, an odd line appended", utf16(kExample, false, true) + "opt = 021\r\n"},
        {"UTF-16BE", utf16(kExample, true, false) + appended},
        {"cp1252 starting with \"\xFF\xFE\"", "\xFF\xFE\r\n" + kExample},
    };
    for (const Case& c : cases) {
        expectRefusedByEitherJob(c.name, c.bytes, refused, master);
    }
}

}  // namespace
}  // namespace zendor
