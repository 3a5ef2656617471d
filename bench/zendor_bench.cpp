// zendor_bench: what a creation and a reading of a Master Card cost on a virtual card: frames
// and bytes exchanged against the least the command sequence needs, CPU time in process, and
// the whole program's time against its start-up alone (-V).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "bench/frame_log.h"
#include "bench/large_card.h"
#include "bench/large_config.h"
#include "bench/timing.h"
#include "vcard/card_file.h"

namespace zendor::bench {
namespace {

struct Options {
    int runs = 20;
    std::string tool = ZENDORCFG_PATH;
    std::string config = ZENDOR_SOURCE_DIR "/examples/zendor.ini";
    std::string dir;         // a fresh folder under it; empty: $TMPDIR or /tmp
    int largeConfigMiB = 0;  // when set, only the configuration loading of a file of that size
    bool largeCard = false;  // only the loading of the largest card file
};

struct Scenario {
    const char* label;
    const char* job;  // -c or -r
    bool blankCard;   // on a factory-fresh card, made anew before every run
};

constexpr Scenario kScenarios[] = {
    {"(a) create, blank card", "-c", true},
    {"(b) create, Master Card", "-c", false},
    {"(c) read, Master Card", "-r", false},
};

constexpr std::array<uint8_t, 7> kUid = {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};

class Bench {
  public:
    Bench(Options options, std::string dir)
        : options_(std::move(options)),
          blankCard_(dir + "/blank.json"),
          masterCard_(dir + "/master.json") {}

    bool prepare();
    void printFrames();
    void printInProcess();
    void printProcesses();
    const std::string& masterCard() const { return masterCard_; }

  private:
    const std::string& cardOf(const Scenario& s) const {
        return s.blankCard ? blankCard_ : masterCard_;
    }
    bool writeBlankCard(const std::string& path) const;
    bool resetFor(const Scenario& s) const { return !s.blankCard || writeBlankCard(blankCard_); }
    int runInProcess(const Scenario& s) const;
    std::vector<std::string> processArgs(const Scenario& s) const;

    Options options_;
    Timing firstRun_;  // the first creation in this process, with whatever it sets up once
    std::string blankCard_;
    std::string masterCard_;
};

// Keeps the tool's own output off the benchmark's report.
class QuietStdout {
  public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved_ = -1;
};

bool Bench::writeBlankCard(const std::string& path) const {
    vcard::CardState card;
    card.uid = kUid;
    std::string error;
    if (!vcard::writeCardFile(path, card, error)) {
        std::printf("Card file '%s' cannot be written: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

int Bench::runInProcess(const Scenario& s) const {
    std::string device = "sim:" + cardOf(s);
    const char* argv[] = {"zendorcfg", "-d", device.c_str(), s.job, options_.config.c_str()};
    QuietStdout quiet;
    return app::runProgram(5, argv);
}

std::vector<std::string> Bench::processArgs(const Scenario& s) const {
    return {options_.tool, "-d", "sim:" + cardOf(s), s.job, options_.config};
}

bool Bench::prepare() {
    if (!writeBlankCard(masterCard_)) {
        return false;
    }
    const Scenario makeMaster{"make the Master Card", "-c", false};
    int status = 1;
    firstRun_ = timeCall([&] { status = runInProcess(makeMaster); });
    if (status != 0) {
        std::printf("zendorcfg -c %s failed on a blank card\n", options_.config.c_str());
        return false;
    }
    return true;
}

void printCommandRow(const CommandTotals& c) {
    std::printf("  %-22s %5zu %6zu %6zu %7zu %7zu %7zu %7zu %7zu %7zu\n",
                std::string(c.name).c_str(), c.count, c.used.frames, c.minimum.frames,
                c.commandData, c.used.commandBytes, c.minimum.commandBytes, c.responseData,
                c.used.responseBytes, c.minimum.responseBytes);
}

void Bench::printFrames() {
    std::printf("Frames and bytes exchanged with the card, one run each\n");
    std::printf(
        "(data: native bytes after INS to the card, before the status word from it;\n"
        " bytes: whole APDUs; least: the fewest the same commands need)\n\n");
    for (const Scenario& s : kScenarios) {
        if (!resetFor(s)) {
            return;
        }
        FrameLog log;
        int status = runInProcess(s);
        std::vector<CommandTotals> totals = totalsByCommand(splitTransfers(log.frames));
        std::printf("%s: exit status %d\n", s.label, status);
        std::printf("  %-22s %5s %6s %6s %7s %7s %7s %7s %7s %7s\n", "command", "n", "frames",
                    "least", "data>", "bytes>", "least>", "data<", "bytes<", "least<");
        for (const CommandTotals& command : totals) {
            printCommandRow(command);
        }
        printCommandRow(overallTotals(totals));
        std::printf("\n");
    }
}

void Bench::printInProcess() {
    std::printf("In process: zendor::app::runProgram, mean of %d runs after one warm-up\n",
                options_.runs);
    std::printf("  %-24s %10s %10s\n", "", "CPU ms", "wall ms");
    for (const Scenario& s : kScenarios) {
        std::vector<double> cpu;
        std::vector<double> wall;
        for (int run = -1; run < options_.runs; ++run) {
            if (!resetFor(s)) {
                return;
            }
            Timing t = timeCall([&] { runInProcess(s); });
            if (run >= 0) {
                cpu.push_back(t.cpuMs);
                wall.push_back(t.wallMs);
            }
        }
        std::printf("  %-24s %10.3f %10.3f\n", s.label, summarize(cpu).mean, summarize(wall).mean);
    }
    std::printf("  %-24s %10.3f %10.3f\n\n", "(a) first in the process", firstRun_.cpuMs,
                firstRun_.wallMs);
}

void Bench::printProcesses() {
    struct Row {
        std::string label;
        std::vector<double> wall;
        std::vector<double> cpu;
        int failures = 0;
    };
    std::vector<Row> rows{{"zendorcfg -V", {}, {}, 0}};
    for (const Scenario& s : kScenarios) {
        rows.push_back({s.label, {}, {}, 0});
    }
    // One of each in turn, so that a drift of the machine's speed falls on all alike.
    for (int run = -1; run < options_.runs; ++run) {
        for (size_t i = 0; i < rows.size(); ++i) {
            std::vector<std::string> args{options_.tool, "-V"};
            if (i > 0) {
                const Scenario& s = kScenarios[i - 1];
                if (!resetFor(s)) {
                    return;
                }
                args = processArgs(s);
            }
            int status = -1;
            Timing t = timeProcess(args, status);
            rows[i].failures += status != 0;
            if (run >= 0) {
                rows[i].wall.push_back(t.wallMs);
                rows[i].cpu.push_back(t.cpuMs);
            }
        }
    }
    std::printf("Whole process: %s, %d runs of each, interleaved, after one warm-up\n",
                options_.tool.c_str(), options_.runs);
    std::printf("  %-24s %10s %10s %10s %12s\n", "", "min ms", "median ms", "CPU ms",
                "median - -V");
    double startUp = summarize(rows[0].wall).median;
    for (const Row& row : rows) {
        Summary wall = summarize(row.wall);
        std::printf("  %-24s %10.3f %10.3f %10.3f %12.3f%s\n", row.label.c_str(), wall.min,
                    wall.median, summarize(row.cpu).median, wall.median - startUp,
                    row.failures > 0 ? "  (some runs failed)" : "");
    }
    std::printf("  (CPU ms: median user + system time of the child process)\n\n");
}

void printArithmetic() {
    std::printf(
        "How the least is counted\n"
        "  A wrapped frame carries at most 54 native bytes to the card (Lc) and 59 back before\n"
        "  the status word. A command that sends H bytes after INS and gets C bytes back needs\n"
        "  at least ceil(H/54) + ceil(C/59) - 1 frames (each term at least 1), since the answer\n"
        "  to its last frame carries the first part back. A frame costs 6 bytes beside its data\n"
        "  (90 INS 00 00 Lc .. 00; 5 without data) and its answer 2 (91 st).\n"
        "  WriteData of the 512-byte image, enciphered: 7 header + 520 cryptogram (512 + CRC 2,\n"
        "  padded to 8) = 527 bytes, ceil(527/54) = 10 frames.\n"
        "  ReadData of it: 7 bytes out, 520 back: ceil(520/59) = 9 frames.\n"
        "  Signature file (16 bytes): 7 + 24 = 31 bytes out, or 24 back: 1 frame.\n"
        "  Authenticate takes two frames by its nature (challenge, then answer).\n");
}

bool parseNumber(std::string_view text, int& number, int most) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    return ec == std::errc() && end == text.data() + text.size() && number >= 1 && number <= most;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue && parseNumber(argv[i + 1], options.runs, 10000)) {
            ++i;
        } else if (arg == "--large-config" && hasValue &&
                   parseNumber(argv[i + 1], options.largeConfigMiB, 16)) {
            ++i;
        } else if (arg == "--large-card") {
            options.largeCard = true;
        } else if ((arg == "--tool" || arg == "--config" || arg == "--dir") && hasValue) {
            (arg == "--tool"     ? options.tool
             : arg == "--config" ? options.config
                                 : options.dir) = argv[++i];
        } else {
            std::printf(
                "usage: zendor_bench [--runs N] [--tool ZENDORCFG] [--config INI] "
                "[--dir DIR] [--large-config MIB] [--large-card]\n");
            return std::nullopt;
        }
    }
    return options;
}

std::string makeWorkDir(const Options& options) {
    std::string base = options.dir;
    if (base.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/zendor-bench-XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

int run(const Options& options) {
    std::string dir = makeWorkDir(options);
    if (dir.empty()) {
        std::printf("Cannot make a working folder\n");
        return 1;
    }
    std::printf("zendorcfg benchmark: %s on virtual cards in %s\n\n", options.config.c_str(),
                dir.c_str());
    Bench bench(options, dir);
    bool ok = options.largeCard || bench.prepare();
    if (ok && options.largeCard) {
        ok = printLargeCard(dir, options.runs);
    } else if (ok && options.largeConfigMiB > 0) {
        const std::string large = dir + "/large.ini";
        ok = writeLargeConfig(large, options.config, size_t(options.largeConfigMiB) << 20);
        if (ok) {
            printLargeConfig(options.tool, bench.masterCard(), options.config, large, options.runs);
        }
    } else if (ok) {
        bench.printFrames();
        bench.printInProcess();
        bench.printProcesses();
        printArithmetic();
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace zendor::bench

int main(int argc, char** argv) {
    std::optional<zendor::bench::Options> options = zendor::bench::parseOptions(argc, argv);
    return options ? zendor::bench::run(*options) : 2;
}
