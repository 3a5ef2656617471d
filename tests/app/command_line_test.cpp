#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program.h"

namespace zendor::app {
namespace {

struct RunCase {
    std::vector<const char*> argv;
    std::string output;
    int status;
};

std::string run(const std::vector<const char*>& argv, int& status) {
    ::testing::internal::CaptureStdout();
    status = runProgram(static_cast<int>(argv.size()), argv.data());
    return ::testing::internal::GetCapturedStdout();
}

const std::string kVersion =
    "zendorcfg 1.00\n"
    "Master Card tool for Quarnel ZENDOR readers\n";

std::string helpText(const std::string& name) {
    return kVersion +
           "\n"
           "This program automates the process of creating Master Cards\n"
           "for Quarnel ZENDOR readers.\n"
           "\n"
           "Create a Master Card with settings read from <config_file> :\n" +
           name + " -c [<config_file>] [OPTIONS]\n\n" +
           "Retrieve settings from Master Card, and display it :\n" + name +
           " -r [<config_file>] [OPTIONS]\n\n" +
           "Retrieve settings from Master Card, and save it into <output_file> :\n" + name +
           " -r [<config_file>] -o <output_file> [OPTIONS]\n\n" +
           "Default <config_file> is 'zendor.ini'\n"
           "Options are :\n"
           "  -d <device_name>    : use this communication device to access the\n"
           "                        Tessel or Marlix reader\n"
           "                        (default : use system globals)\n"
           "  -o <option_file>    : retrieve options from this INI file\n"
           "  -v                  : be verbose\n"
           "  -y                  : overwrite existing file(s)\n"
           "  -V                  : print version info, and exits\n"
           "  -h                  : print this help, and exits\n"
           "\n";
}

std::string commandLineError(const std::string& name) {
    return name + " : error in command line\nTry '" + name + " -h' for help.\n";
}

TEST(ProgramRun, AnswersEveryCommandLineThatNeverReachesTheReader) {
    const std::string incoherent =
        "zendorcfg : incoherent parameters (both read & write specified)\n"
        "Try 'zendorcfg -h' for help.\n";
    const std::string missing =
        "zendorcfg : missing parameter (choose either read or write)\n"
        "Try 'zendorcfg -h' for help.\n";
    const std::vector<RunCase> cases = {
        {{"zendorcfg"}, missing, 1},
        {{"zendorcfg", "-v", "-y"}, missing, 1},
        {{"zendorcfg", "-h"}, helpText("zendorcfg"), 0},
        {{"zendorcfg", "-V"}, kVersion, 0},
        {{"zendorcfg", "-h", "-V"}, helpText("zendorcfg"), 0},
        {{"zendorcfg", "-V", "-h"}, helpText("zendorcfg"), 0},
        {{"zendorcfg", "-c", "-r", "-h"}, helpText("zendorcfg"), 0},
        {{"zendorcfg", "-V", "-c", "-r"}, kVersion, 0},
        {{"zendorcfg", "-h", "-x"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-x", "-h"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-r", "-o"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-o", "out.ini", "-r"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-r", "-o", "-v"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-d", "-c"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-c", "-d"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-cr"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "--help"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-C"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-c", "a.ini", "b.ini"}, commandLineError("zendorcfg"), 1},
        {{"zendorcfg", "-c", "-r"}, incoherent, 1},
        {{"zendorcfg", "-w", "-r", "x.ini"}, incoherent, 1},
        {{"zendorcfg", "-r", "-o", "x.ini", "-c"}, incoherent, 1},
        {{"C:\\tools\\zendorcfg.exe", "-x"}, commandLineError("zendorcfg.exe"), 1},
        {{"/usr/local/bin/zcfg", "-h"}, helpText("zcfg"), 0},
        {{"bin//zcfg", "-c", "-r"},
         "zcfg : incoherent parameters (both read & write specified)\nTry 'zcfg -h' for help.\n",
         1},
    };
    for (const RunCase& c : cases) {
        int status = -1;
        std::string output = run(c.argv, status);
        std::string shown;
        for (const char* arg : c.argv) {
            shown += std::string(arg) + " ";
        }
        EXPECT_EQ(output, c.output) << shown;
        EXPECT_EQ(status, c.status) << shown;
    }
}

struct ParseCase {
    std::vector<const char*> argv;
    ProgramOptions expected;
};

TEST(ParseCommandLine, FillsTheOptionsAsTheLastValueWins) {
    auto options = [](auto change) {
        ProgramOptions o;
        change(o);
        return o;
    };
    const std::vector<ParseCase> cases = {
        {{"p", "-c"}, options([](ProgramOptions& o) { o.create = true; })},
        {{"p", "-c", "-v"}, options([](ProgramOptions& o) { o.create = o.verbose = true; })},
        {{"p", "-w", "a.ini", "-c", "b.ini"}, options([](ProgramOptions& o) {
             o.create = true;
             o.configFile = "b.ini";
         })},
        {{"p", "-r", "out.ini", "-o", "x.ini"}, options([](ProgramOptions& o) {
             o.read = true;
             o.configFile = "out.ini";
             o.outputFile = "x.ini";
         })},
        {{"p", "-r", "-o", "x.ini", "-o", "y.ini"}, options([](ProgramOptions& o) {
             o.read = true;
             o.outputFile = "y.ini";
         })},
        {{"p", "-d", "sim:a", "-r", "", "-d", ""}, options([](ProgramOptions& o) {
             o.read = true;
             o.configFile = "";
             o.deviceName = "";
         })},
        {{"p", "-y", "-V", "-h"},
         options([](ProgramOptions& o) { o.overwrite = o.showVersion = o.showHelp = true; })},
    };
    for (const ParseCase& c : cases) {
        ASSERT_TRUE(parseCommandLine(static_cast<int>(c.argv.size()), c.argv.data()));
        const ProgramOptions& got = programOptions;
        const ProgramOptions& want = c.expected;
        EXPECT_EQ(got.create, want.create);
        EXPECT_EQ(got.read, want.read);
        EXPECT_STREQ(got.configFile, want.configFile);
        EXPECT_EQ(got.outputFile == nullptr, want.outputFile == nullptr);
        if (got.outputFile && want.outputFile) {
            EXPECT_STREQ(got.outputFile, want.outputFile);
        }
        EXPECT_EQ(got.deviceName == nullptr, want.deviceName == nullptr);
        if (got.deviceName && want.deviceName) {
            EXPECT_STREQ(got.deviceName, want.deviceName);
        }
        EXPECT_EQ(got.verbose, want.verbose);
        EXPECT_EQ(got.overwrite, want.overwrite);
        EXPECT_EQ(got.showVersion, want.showVersion);
        EXPECT_EQ(got.showHelp, want.showHelp);
    }
}

TEST(ParseCommandLine, TextsPointIntoTheArgumentVector) {
    const char* argv[] = {"p", "-r", "conf.ini", "-o", "out.ini", "-d", "sim:card.json"};
    ASSERT_TRUE(parseCommandLine(7, argv));
    EXPECT_EQ(programOptions.configFile, argv[2]);
    EXPECT_EQ(programOptions.outputFile, argv[4]);
    EXPECT_EQ(programOptions.deviceName, argv[6]);
}

TEST(ProgramBaseName, FindsTheLastPathComponent) {
    const struct {
        const char* path;
        const char* base;
    } cases[] = {
        {"zendorcfg", "zendorcfg"},
        {"/usr/bin/zendorcfg", "zendorcfg"},
        {"C:\\tools\\zendorcfg.exe", "zendorcfg.exe"},
        {"a/b\\c", "c"},
        {"dir//tool", "tool"},
        {"dir\\/tool", "tool"},
        {"dir/tool/", "tool/"},
        {"dir/tool\\\\", "tool\\\\"},
        {"//", "/"},
        {"\\", "\\"},
        {"/\\", "\\"},
        {"/x", "x"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const char* base = programBaseName(c.path);
        EXPECT_STREQ(base, c.base) << c.path;
        EXPECT_GE(base, c.path) << "the result points into the given text";
    }
}

}  // namespace
}  // namespace zendor::app
