// The set-up script while another package manager run holds its lock, with stand-ins for the
// package tools; the Windows tests' Wine wrapper, with a stand-in for Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace zendor::test {
namespace {

// Stand-ins for the package tools: nothing is installed, and apt-get logs its arguments and
// finds the lists lock held by another run for its first $BUSY updates.
const char kFakeAptGet[] =
    "#!/bin/sh\n"
    "echo \"$*\" >>\"$LOG\"\n"
    "case \" $* \" in *\" update \"*)\n"
    "  n=$(grep -c ' update ' \"$LOG\")\n"
    "  if [ \"$n\" -le \"$BUSY\" ]; then\n"
    "    echo 'E: Could not get lock /var/lib/apt/lists/lock. It is held by process 9 (apt)' >&2\n"
    "    exit 100\n"
    "  fi\n"
    "  [ -z \"$FAIL\" ] || { echo \"E: $FAIL\" >&2; exit 100; } ;;\n"
    "esac\n";

// The set-up script waits for the lock of another package manager run, within its bound, and
// fails at once on anything else.
TEST(InstallDeps, WaitsForAnotherPackageManagerRun) {
    TempDir dir;
    const std::string bin = dir.file("bin");
    std::filesystem::create_directory(bin);
    const std::pair<const char*, std::string> tools[] = {
        {"apt-get", kFakeAptGet},
        {"dpkg-query", "#!/bin/sh\nexit 1\n"},
        {"sudo", "#!/bin/sh\nexec \"$@\"\n"},
        // The pauses are logged, not waited: the bound is counted in them.
        {"sleep", "#!/bin/sh\necho \"sleep $*\" >>\"$LOG\"\n"},
    };
    for (const auto& [name, text] : tools) {
        writeFile(bin + "/" + name, text);
        std::filesystem::permissions(bin + "/" + name, std::filesystem::perms::owner_all);
    }
    struct Case {
        const char* name;
        const char* busy;  // updates that find the lock held
        const char* wait;  // ZENDOR_APT_LOCK_WAIT
        const char* fail;  // another error of the update after that
        int status;
        size_t updates;  // tried once a second until the bound: one more than the pauses
        bool installs;
    };
    const Case cases[] = {
        {"the lock is released", "2", "30", "", 0, 3, true},
        {"the lock is never released", "1000", "2", "", 1, 3, false},
        {"another failure", "0", "30", "Some index files failed to download", 1, 1, false},
    };
    for (const Case& c : cases) {
        const std::string log = dir.file(std::string(c.name) + ".log");
        ToolRun run =
            runTool("/usr/bin/env",
                    {"PATH=" + bin + ":/usr/bin:/bin", "LOG=" + log, std::string("BUSY=") + c.busy,
                     std::string("FAIL=") + c.fail, std::string("ZENDOR_APT_LOCK_WAIT=") + c.wait,
                     "bash", ZENDOR_SOURCE_DIR "/scripts/install-deps.sh", "build"});
        EXPECT_EQ(run.status, c.status) << c.name;
        const std::string calls = readFile(log);
        const std::string timeout = std::string("-o DPkg::Lock::Timeout=") + c.wait + " ";
        size_t updates = 0;
        size_t installs = 0;
        for (size_t at = 0; (at = calls.find(timeout, at)) != std::string::npos; ++at) {
            updates += calls.compare(at + timeout.size(), 6, "update") == 0;
            installs += calls.compare(at + timeout.size(), 7, "install") == 0;
        }
        EXPECT_EQ(updates, c.updates) << c.name << ":\n" << calls;
        size_t pauses = 0;
        for (size_t at = 0; (at = calls.find("sleep 1\n", at)) != std::string::npos; ++at) {
            ++pauses;
        }
        EXPECT_EQ(pauses, c.updates - 1) << c.name << ":\n" << calls;
        EXPECT_EQ(installs, c.installs ? 1u : 0u) << c.name << ":\n" << calls;
        EXPECT_EQ(run.output.find("Waiting for another package manager run") != std::string::npos,
                  std::string(c.busy) != "0")
            << c.name << ":\n"
            << run.output;
    }
}

// The Windows tests' emulator runs a program again only when Wine failed to start it (status
// not 0, no output, within a fraction of a second), and notes each rerun.
TEST(WineRun, RerunsOnlyAProgramWineDidNotStart) {
    TempDir dir;
    const std::string bin = dir.file("bin");
    const std::string prefix = dir.file("prefix");
    std::filesystem::create_directory(bin);
    std::filesystem::create_directory(prefix);
    // A stand-in for Wine that behaves as its first argument says; it counts its runs.
    writeFile(bin + "/wine",
              "#!/bin/bash\n"
              "echo run >>\"$RUNS\"\n"
              "case \"$1\" in\n"
              "  silent-once) [ \"$(wc -l <\"$RUNS\")\" -gt 1 ] || exit 1; echo started ;;\n"
              "  silent) exit 3 ;;\n"
              "  says-why) echo 'a failure of its own'; exit 1 ;;\n"
              "  slow) sleep 0.7; exit 1 ;;\n"
              "esac\n");
    std::filesystem::permissions(bin + "/wine", std::filesystem::perms::owner_all);
    struct Case {
        const char* program;
        int status;
        size_t runs;
        const char* output;  // what it printed on standard output
    };
    const Case cases[] = {
        {"silent-once", 0, 2, "started\n"},
        {"silent", 3, 2, ""},
        {"says-why", 1, 1, "a failure of its own\n"},
        {"slow", 1, 1, ""},
    };
    for (const Case& c : cases) {
        const std::string runs = dir.file(std::string(c.program) + ".runs");
        const std::string log = prefix + "/zendor-wine-reruns.log";
        std::filesystem::remove(log);
        ToolRun run =
            runTool("/usr/bin/env",
                    {"PATH=" + bin + ":/usr/bin:/bin", "RUNS=" + runs, "WINEPREFIX=" + prefix,
                     ZENDOR_SOURCE_DIR "/scripts/lib/wine-run.sh", c.program});
        EXPECT_EQ(run.status, c.status) << c.program;
        EXPECT_EQ(readFile(runs).size(), c.runs * 4) << c.program;
        // The rerun is said on standard error (in the test's log) and noted beside the prefix.
        const std::string rerun = std::string("wine-run: Wine did not start ") + c.program;
        EXPECT_EQ(std::filesystem::exists(log) && readFile(log).starts_with(rerun), c.runs == 2)
            << c.program;
        EXPECT_EQ(run.output, c.output) << c.program;
    }
}

}  // namespace
}  // namespace zendor::test
