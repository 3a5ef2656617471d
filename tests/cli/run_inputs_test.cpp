// The inputs of a run, given as a user may give them: configurations through pipes, FIFOs and
// /dev/stdin, configurations too large, an output file that is one of the inputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ini/file_text.h"
#include "support/card_files.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace zendor {
namespace {

using test::readFile;
using test::TempDir;
using test::ToolRun;
using test::writeFile;

// Keys of its own and the clear flag: a configuration read short falls back to the default keys
// and drops the settings, which shows in the output and in the card.
const std::string kConfig =
    "[master]\n"
    "aut = E0 00112233445566778899AABBCCDDEEFF\n"
    "sgn = 20 FFEEDDCCBBAA99887766554433221100\n"
    "clear = 1\n"
    "[general]\n"
    "opt = 01\n"
    "odl = 10|d\n";

const std::string kCreated =
    "60=01\n61=0A\n"
    "Application 5A4D43 not found in the card\n"
    "Trying to format the card...\n"
    "Writing the new Master Card...\n"
    "OK !\n";

class RunInputs : public ::testing::Test {
  protected:
    RunInputs() {
        test::writeCard(cardPath(), test::knownDesfire());
        writeFile(config(), kConfig);
    }

    std::string cardPath() const { return dir.file("card.json"); }
    std::string config() const { return dir.file("zendor.ini"); }

    // zendorcfg -d sim:card.json, started by shell (sh or bash) running script, in which "$0" is
    // the tool and "$@" the device option.
    ToolRun zendorcfgIn(const char* shell, const std::string& script) {
        return test::runTool(shell, {"-c", script, ZENDORCFG_PATH, "-d", "sim:" + cardPath()});
    }

    ToolRun zendorcfg(const std::vector<std::string>& args) {
        std::string script = "exec \"$0\" \"$@\"";
        for (const std::string& arg : args) {
            script += " " + test::shellQuote(arg);
        }
        return zendorcfgIn("/bin/sh", script);
    }

    TempDir dir;
};

// A configuration can be read only once from a pipe: all of it must come from that one read.
TEST_F(RunInputs, PipesAndFifosGiveWhatTheSameBytesInAFileGive) {
    ToolRun run = zendorcfg({"-c", config()});
    ASSERT_EQ(run.output, kCreated);
    const std::string madeFromFile = readFile(cardPath());

    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string file = test::shellQuote(config());
    const std::string tool = "exec \"$0\" \"$@\" ";
    struct Case {
        const char* name;
        const char* shell;
        std::string script;  // JOB stands for -c or -r
    };
    const Case cases[] = {
        {"a pipe into /dev/stdin", "/bin/sh", "cat " + file + " | " + tool + "JOB /dev/stdin"},
        {"a file as /dev/stdin", "/bin/sh", tool + "JOB /dev/stdin <" + file},
        {"a FIFO", "/bin/sh",
         "cat " + file + " >" + test::shellQuote(fifo) + " & " + tool + "JOB " +
             test::shellQuote(fifo)},
        {"a process substitution", "/bin/bash", tool + "JOB <(cat " + file + ")"},
    };
    for (const Case& c : cases) {
        const auto withJob = [&](const char* job) {
            std::string script = c.script;
            return script.replace(script.find("JOB"), 3, job);
        };
        test::writeCard(cardPath(), test::knownDesfire());
        run = zendorcfgIn(c.shell, withJob("-c"));
        EXPECT_EQ(run.output, kCreated) << c.name;
        EXPECT_EQ(run.status, 0) << c.name;
        EXPECT_TRUE(readFile(cardPath()) == madeFromFile) << c.name << ": another card";

        run = zendorcfgIn(c.shell, withJob("-r"));
        EXPECT_EQ(run.status, 0) << c.name << ": the card opens with the keys of the pipe";
    }
}

// Past the limit nothing is loaded and the card is not touched; at the limit the file loads.
TEST_F(RunInputs, AConfigurationTooLargeIsRefusedBeforeTheCard) {
    const std::string huge = dir.file("huge.ini");
    writeFile(huge, kConfig + std::string(ini::kMaxFileSize + 1 - kConfig.size(), ';'));
    const std::string fresh = readFile(cardPath());
    struct Case {
        std::string configFile;
        const char* job;
    };
    const Case cases[] = {{huge, "-c"}, {huge, "-r"}, {"/dev/zero", "-c"}};
    for (const Case& c : cases) {
        const std::string script = "exec timeout 60 \"$0\" \"$@\" " + std::string(c.job) + " " +
                                   test::shellQuote(c.configFile);
        ToolRun run = zendorcfgIn("/bin/sh", script);
        EXPECT_EQ(run.output, "Failed to read file '" + c.configFile + "' : larger than 16 MiB\n")
            << c.configFile << " " << c.job;
        EXPECT_EQ(run.status, 1) << c.configFile << " " << c.job;
        EXPECT_TRUE(readFile(cardPath()) == fresh)
            << c.configFile << " " << c.job << ": card changed";
    }

    // Settings at the end of the largest file still count.
    const std::string settings = "[general]\nopt = 01\nodl = 10|d\n";
    writeFile(huge, "[notes]\n" + std::string(ini::kMaxFileSize - 9 - settings.size(), ';') + "\n" +
                        settings);
    ASSERT_EQ(std::filesystem::file_size(huge), ini::kMaxFileSize);
    ToolRun run = zendorcfg({"-c", huge});
    EXPECT_EQ(run.output, kCreated);
    EXPECT_EQ(run.status, 0);
}

// A configuration that is there but cannot be read is no missing one: neither job goes on with
// the built-in keys, and the line says why.
TEST_F(RunInputs, AConfigurationThatIsThereButCannotBeReadStopsEitherJob) {
    const std::string folder = dir.file("folder.ini");
    std::filesystem::create_directory(folder);
    const std::string fresh = readFile(cardPath());
    for (const char* job : {"-c", "-r"}) {
        ToolRun run = zendorcfg({job, folder});
        EXPECT_EQ(run.output, "Failed to read file '" + folder + "' : Is a directory\n") << job;
        EXPECT_EQ(run.status, 1) << job;
        EXPECT_TRUE(readFile(cardPath()) == fresh) << job << ": card changed";
    }
}

// -o over the configuration (the only copy of the card's keys), the card file or its lock file:
// refused with one line before anything is written, whoever the path reaches them through.
TEST_F(RunInputs, AnOutputFileThatIsAnInputIsRefused) {
    ASSERT_EQ(zendorcfg({"-c", config()}).status, 0);
    const std::string card = readFile(cardPath());
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink(config(), dir.file("config-link.ini"));
    std::filesystem::create_hard_link(config(), dir.file("config-hard.ini"));
    std::filesystem::create_symlink(cardPath(), dir.file("card-link.json"));
    const std::string configLine = "' is the same file as the configuration file '" + config();
    const std::string cardLine = "' is the same file as the card file '" + cardPath();
    // The lock exists while the run holds the card; an export into it would go with the lock.
    const std::string lockPath = cardPath() + ".lock";
    const std::string lockLine = "' is the same file as the card's lock file '" + lockPath;
    struct Case {
        std::string output;
        std::string refusal;
    };
    const Case cases[] = {
        {config(), configLine},
        {dir.file("config-link.ini"), configLine},
        {dir.file("config-hard.ini"), configLine},
        {dir.file("sub/../zendor.ini"), configLine},
        {cardPath(), cardLine},
        {dir.file("card-link.json"), cardLine},
        {lockPath, lockLine},
    };
    for (const Case& c : cases) {
        ToolRun run = zendorcfg({"-r", config(), "-o", c.output});
        EXPECT_EQ(run.output, "Output file '" + c.output + c.refusal + "' : nothing written\n");
        EXPECT_EQ(run.status, 1) << c.output;
        EXPECT_EQ(readFile(config()), kConfig) << c.output;
        EXPECT_TRUE(readFile(cardPath()) == card) << c.output << ": card changed";
        EXPECT_FALSE(std::filesystem::exists(lockPath)) << c.output;
    }

    // Any other file is still replaced.
    const std::string other = dir.file("other.ini");
    writeFile(other, "old");
    ToolRun run = zendorcfg({"-r", config(), "-o", other});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(readFile(other).starts_with("[general]\nopt=01")) << readFile(other);
}

}  // namespace
}  // namespace zendor
