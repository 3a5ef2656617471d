// A card pulled out of the field after every possible frame of a creation: the tool must never
// claim success, the card file must stay a card, and running the creation again must finish the
// job.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/card_files.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace zendor {
namespace {

using test::TempDir;
using test::ToolRun;
using vcard::CardState;

const std::string kConfig =
    "[general]\nopt = 01\nrc = 1234\n"
    "[rckeys]\na0 = A0A1A2A3A4A5\n"
    "[master]\nroot = 00112233445566778899AABBCCDDEEFF\nclear = 1\n";
// What the swept creations write: other settings than kConfig, so that a card holding a mix of
// the two would show.
const std::string kNewConfig =
    "[general]\nopt = 02\nrc = 5678\n"
    "[rckeys]\na0 = B0B1B2B3B4B5\n"
    "[master]\nroot = 00112233445566778899AABBCCDDEEFF\nclear = 1\n";

std::vector<std::string> linesOf(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The stages of a creation, in order, and the line that ends each when it fails.
const std::vector<std::string> kStageVerdicts = {"Failed to erase the card !",
                                                 "Failed to create mapping !", "Failed !"};

// The steps of each stage, as their failure lines begin.
const std::vector<std::vector<std::string>> kStageSteps = {
    {"Root application select error", "Can't authenticate on root application", "Card format error",
     "Root application authentication error", "Root application change key error"},
    {"Root application select error", "Can't authenticate on root application",
     "Application 5A4D43 create error", "Application 5A4D43 select error",
     "Application 5A4D43 authentication error", "Application 5A4D43 change key error",
     "File 5A4D43.01 create error", "File 5A4D43.02 create error"},
    {"Application 5A4D43 select error", "Application 5A4D43 authentication error",
     "Error writing signature file", "Error writing data file", "Error committing files"},
};

// What is wrong with the whole output of a creation that lost the card ("" when nothing): the
// settings it loaded (the lines the creation that got through began with), the check's reason
// when the check failed, its progress lines, then exactly one failure line, with the status of a
// card that is gone, and the verdict of the stage that failed. stage is that stage's index; it
// may never be before the one of the frame before (minStage).
std::string tornOutputProblem(const std::string& output, const std::vector<std::string>& settings,
                              size_t minStage, size_t& stage) {
    const std::vector<std::string> lines = linesOf(output);
    if (lines.size() < settings.size() + 2 ||
        !std::equal(settings.begin(), settings.end(), lines.begin())) {
        return "the settings are not the creation's";
    }
    const auto verdict = std::find(kStageVerdicts.begin(), kStageVerdicts.end(), lines.back());
    if (verdict == kStageVerdicts.end()) {
        return "no verdict of a stage last";
    }
    stage = static_cast<size_t>(verdict - kStageVerdicts.begin());
    if (stage < minStage) {
        return "a stage before the one of the frame before";
    }
    const std::string failure = lines[lines.size() - 2];
    if (!failure.ends_with(" (-102)")) {
        return "the step before the verdict does not say the card is gone";
    }
    const std::vector<std::string>& steps = kStageSteps[stage];
    if (std::none_of(steps.begin(), steps.end(),
                     [&](const std::string& step) { return failure.starts_with(step + " ("); })) {
        return "the failure is no step of the stage";
    }
    // Between the settings and the failure: the check's reason, then the progress lines of the
    // stage. A check that lost the card says so too, as its reason.
    const std::vector<std::string> progress(lines.begin() + static_cast<long>(settings.size()),
                                            lines.end() - 2);
    const std::vector<std::string> expected[] = {
        {"Trying to format the card..."},
        {"Trying to format the card..."},
        {"Writing the new Master Card..."},
    };
    std::vector<std::string> shown = progress;
    if (shown.size() >= 2 && shown[1] == "Trying to format the card...") {
        shown.erase(shown.begin());  // the check's reason
    }
    if (stage == 2 && shown.size() == 2 && shown[0] == "Trying to format the card...") {
        shown.erase(shown.begin());  // formatted and mapped before writing
    }
    if (shown != expected[stage]) {
        return "not the progress lines of the stage, or a second failure";
    }
    return "";
}

// What -r may say about a card that a creation left half done: every line is one of the tool's
// own, and it ends in one of these.
bool endsInAReadingVerdict(const std::string& output) {
    for (const char* ending : {"OK !\n", "This is not a Master Card\n",
                               "Invalid signature, maybe card has been forged\n", "Failed !\n"}) {
        std::string tail(ending);
        if (output.size() >= tail.size() &&
            output.compare(output.size() - tail.size(), tail.size(), tail) == 0) {
            return true;
        }
    }
    return false;
}

class Tearing : public ::testing::Test {
  protected:
    std::string card() const { return dir.file("card.json"); }
    std::string config() const { return dir.file("zendor.ini"); }

    ToolRun zendorcfg(const std::string& job) {
        return test::runTool(ZENDORCFG_PATH, {"-d", "sim:" + card(), job, config()});
    }

    CardState load() {
        std::string error;
        std::optional<CardState> state = vcard::parseCardJson(test::readFile(card()), error);
        EXPECT_TRUE(state) << "the card file stays valid: " << error;
        return state.value_or(CardState{});
    }

    void setRemoval(std::optional<uint32_t> frames) {
        CardState state = load();
        state.removeAfterFrames = frames;
        test::writeCard(card(), state);
    }

    // The whole -r output of a card made with configText on a fresh card.
    std::string cleanRead(const std::string& configText) {
        test::writeFile(config(), configText);
        test::writeCard(card(), test::knownDesfire());
        const ToolRun created = zendorcfg("-c");
        EXPECT_EQ(created.status, 0);
        // On a fresh card: the settings, the check's reason, two progress lines and "OK !".
        createdSettings = linesOf(created.output);
        createdSettings.resize(createdSettings.size() >= 4 ? createdSettings.size() - 4 : 0);
        ToolRun read = zendorcfg("-r");
        EXPECT_EQ(read.status, 0) << read.output;
        return read.output;
    }

    // Pulls the card away after frame 0, 1, 2, ... of a creation with kNewConfig on the starting
    // card until a creation gets through; returns how many frames the full creation took. A -r
    // after a torn creation that verifies shows the new settings or one of verified (the card's
    // settings before), never anything else.
    uint32_t sweep(const CardState& start, const std::vector<std::string>& verified) {
        const std::string newRead = cleanRead(kNewConfig);
        size_t stage = 0;
        for (uint32_t frames = 0; frames < 200; ++frames) {
            test::writeCard(card(), start);
            setRemoval(frames);
            ToolRun torn = zendorcfg("-c");
            if (torn.status == 0) {
                EXPECT_TRUE(torn.output.ends_with("OK !\n"));
                setRemoval(std::nullopt);
                EXPECT_EQ(zendorcfg("-r").output, newRead) << "a creation that says OK reads back";
                return frames;
            }
            SCOPED_TRACE("card pulled away after frame " + std::to_string(frames));
            EXPECT_EQ(torn.status, 1);
            EXPECT_EQ(tornOutputProblem(torn.output, createdSettings, stage, stage), "")
                << torn.output;

            setRemoval(std::nullopt);
            ToolRun read = zendorcfg("-r");
            if (read.status == 0) {
                // Torn after its last write, the card holds the new settings although the tool
                // could not see the write confirmed; torn before its first, the old ones.
                EXPECT_TRUE(read.output == newRead || std::find(verified.begin(), verified.end(),
                                                                read.output) != verified.end())
                    << read.output;
            } else {
                EXPECT_EQ(read.status, 1);
                EXPECT_TRUE(endsInAReadingVerdict(read.output)) << read.output;
                EXPECT_EQ(read.output.find("Exiting"), std::string::npos) << "the card file opens";
            }

            ToolRun again = zendorcfg("-c");
            EXPECT_EQ(again.status, 0) << again.output;
            EXPECT_EQ(zendorcfg("-r").output, newRead) << "the creation run again completes";
        }
        ADD_FAILURE() << "the creation never got through";
        return 0;
    }

    // The card a clean creation with configText makes on a fresh card.
    CardState madeWith(const std::string& configText) {
        test::writeFile(config(), configText);
        test::writeCard(card(), test::knownDesfire());
        EXPECT_EQ(zendorcfg("-c").status, 0);
        return load();
    }

    TempDir dir;
    std::vector<std::string> createdSettings;  // the settings lines a creation prints first
};

// The counts below are this creation's frames: a change of them is worth a look at the sweep.
TEST_F(Tearing, EveryFrameOfACreationOnAFreshCard) {
    // Check, format with the root key installed, application and its key, both files, both
    // writes in frames, commit.
    EXPECT_EQ(sweep(test::knownDesfire(), {}), 38u);
}

TEST_F(Tearing, EveryFrameOfACreationOnAMasterCard) {
    const CardState master = madeWith(kConfig);
    const std::string oldRead = cleanRead(kConfig);
    // Check, then the writes: torn before the signature is written, the card keeps its old
    // settings and still verifies.
    EXPECT_EQ(sweep(master, {oldRead}), 20u);
}

TEST_F(Tearing, EveryFrameOfACreationOnACardWhoseApplicationHasAnotherKey) {
    std::string otherKey = kConfig;
    otherKey.replace(otherKey.find("[master]\n"), 9,
                     "[master]\naut = E0 000102030405060708090A0B0C0D0E0F\n");
    // The check fails at the application's authentication; the card is formatted and rebuilt.
    EXPECT_EQ(sweep(madeWith(otherKey), {}), 35u);
}

// A reading that loses the card at any frame: before it reads, the check says why and calls it
// no Master Card; while it reads, the one step that lost the card says so and the run fails. The
// data file takes several frames: losing the card in its middle is said as at its start.
TEST_F(Tearing, EveryFrameOfAReading) {
    const CardState master = madeWith(kConfig);
    auto failedIn = [](const std::string& step) {
        return "Reading the Master Card...\n" + step + " (-102)\nFailed !\n";
    };
    const std::vector<std::string> checkSteps = {
        "Application 5A4D43 select error", "Application 5A4D43 authentication error",
        "File 5A4D43.01 select error", "File 5A4D43.02 select error"};
    const std::vector<std::string> readSteps = {
        "Application 5A4D43 select error", "Application 5A4D43 authentication error",
        "Error reading signature file", "Error reading data file"};
    size_t dataFileFrames = 0;
    for (uint32_t frames = 0; frames < 100; ++frames) {
        SCOPED_TRACE("card pulled away after frame " + std::to_string(frames));
        test::writeCard(card(), master);
        setRemoval(frames);
        const ToolRun torn = zendorcfg("-r");
        if (torn.status == 0) {
            EXPECT_TRUE(torn.output.ends_with("OK !\n"));
            EXPECT_GE(dataFileFrames, 2u) << "the data file is read in several frames";
            return;
        }
        EXPECT_EQ(torn.status, 1);
        const bool checked = std::any_of(checkSteps.begin(), checkSteps.end(), [&](auto& step) {
            return torn.output == step + " (-102)\nThis is not a Master Card\n";
        });
        const bool read = std::any_of(readSteps.begin(), readSteps.end(),
                                      [&](auto& step) { return torn.output == failedIn(step); });
        EXPECT_TRUE(checked || read) << torn.output;
        dataFileFrames += torn.output == failedIn("Error reading data file") ? 1 : 0;
    }
    ADD_FAILURE() << "the reading never got through";
}

}  // namespace
}  // namespace zendor
