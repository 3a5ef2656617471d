// The benchmark's frame arithmetic: how frames group into commands, the least a command needs at
// the card's frame sizes, and a real creation measured through the frame log.
#include "bench/frame_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program.h"
#include "support/card_files.h"
#include "support/temp_dir.h"

namespace zendor::bench {
namespace {

// 90 INS 00 00 Lc <data> 00, or 90 INS 00 00 00 without data.
std::vector<uint8_t> command(uint8_t ins, size_t data) {
    std::vector<uint8_t> apdu{0x90, ins, 0x00, 0x00};
    if (data > 0) {
        apdu.push_back(static_cast<uint8_t>(data));
        apdu.insert(apdu.end(), data, 0x5A);
    }
    apdu.push_back(0x00);
    return apdu;
}

std::vector<uint8_t> answer(size_t data, uint8_t status) {
    std::vector<uint8_t> response(data, 0xA5);
    response.push_back(0x91);
    response.push_back(status);
    return response;
}

TEST(MinimumFigures, FollowTheFrameSizes) {
    struct Case {
        size_t sent, received;
        size_t frames, commandBytes, responseBytes;
    };
    const Case cases[] = {
        {0, 0, 1, 5, 2},        // FormatPICC: one bare frame
        {54, 0, 1, 60, 2},      // exactly one full frame
        {55, 0, 2, 67, 4},      // one byte more: a second frame
        {527, 0, 10, 587, 20},  // WriteData of 512 bytes enciphered: 7 + 520
        {31, 0, 1, 37, 2},      // WriteData of 16 bytes enciphered: 7 + 24
        {0, 59, 1, 5, 61},      // one full answer
        {0, 60, 2, 10, 64},     // one byte more: one 90 AF 00 00 00 more
        {7, 520, 9, 53, 538},   // ReadData of 512 bytes enciphered
        {1, 8, 1, 7, 10},       // Authenticate, first step
    };
    for (const Case& c : cases) {
        FrameFigures least = minimumFigures(c.sent, c.received);
        SCOPED_TRACE(std::to_string(c.sent) + " bytes out, " + std::to_string(c.received) +
                     " back");
        EXPECT_EQ(least.frames, c.frames);
        EXPECT_EQ(least.commandBytes, c.commandBytes);
        EXPECT_EQ(least.responseBytes, c.responseBytes);
    }
}

TEST(SplitTransfers, ChainingStaysInItsCommandAndAnAnswerStepStartsAnother) {
    const std::vector<Frame> frames = {
        {command(0x0A, 1), answer(8, 0xAF)},   // Authenticate: challenge
        {command(0xAF, 16), answer(8, 0x00)},  // its answer: a step of its own
        {command(0x3D, 54), answer(0, 0xAF)},  // WriteData over three frames
        {command(0xAF, 54), answer(0, 0xAF)},
        {command(0xAF, 10), answer(0, 0x00)},
        {command(0xBD, 7), answer(59, 0xAF)},  // ReadData over two frames
        {command(0xAF, 0), answer(10, 0x00)},
        {command(0x5A, 3), answer(0, 0xA0)},  // a refused SelectApplication
        {command(0xC7, 0), {}},               // no answer at all
    };
    struct Expected {
        std::string name;
        size_t frames, sent, received;
    };
    const Expected expected[] = {
        {"Authenticate", 1, 1, 8},      {"Authenticate, step 2", 1, 16, 8},
        {"WriteData", 3, 118, 0},       {"ReadData", 2, 7, 69},
        {"SelectApplication", 1, 3, 0}, {"CommitTransaction", 1, 0, 0},
    };
    std::vector<Transfer> transfers = splitTransfers(frames);
    ASSERT_EQ(transfers.size(), std::size(expected));
    for (size_t i = 0; i < transfers.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(transfers[i].name, expected[i].name);
        EXPECT_EQ(transfers[i].used.frames, expected[i].frames);
        EXPECT_EQ(transfers[i].commandData, expected[i].sent);
        EXPECT_EQ(transfers[i].responseData, expected[i].received);
    }
    EXPECT_EQ(transfers[2].used.commandBytes, 3 * 6 + 118u);
    EXPECT_EQ(transfers[3].used.responseBytes, 69 + 2 * 2u);
}

TEST(SplitTransfers, TotalsAddUpPerCommandInOrderOfAppearance) {
    const std::vector<Frame> frames = {
        {command(0x5A, 3), answer(0, 0x00)},  {command(0x3D, 31), answer(0, 0x00)},
        {command(0x5A, 3), answer(0, 0x00)},  {command(0x3D, 54), answer(0, 0xAF)},
        {command(0xAF, 54), answer(0, 0x00)},
    };
    std::vector<CommandTotals> totals = totalsByCommand(splitTransfers(frames));
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[0].name, "SelectApplication");
    EXPECT_EQ(totals[0].count, 2u);
    EXPECT_EQ(totals[1].name, "WriteData");
    EXPECT_EQ(totals[1].used.frames, 3u);
    EXPECT_EQ(totals[1].minimum.frames, 3u);  // 31 bytes: 1 frame; 108 bytes: 2 frames
    CommandTotals all = overallTotals(totals);
    EXPECT_EQ(all.count, 4u);
    EXPECT_EQ(all.used.frames, 5u);
    EXPECT_EQ(all.commandData, 6 + 31 + 108u);
}

// A creation on a blank virtual card, counted through the library's transport seam: every
// command goes in as few frames as its bytes allow, and the 512-byte image takes ten.
TEST(FrameLog, CountsACreationFrameByFrame) {
    test::TempDir dir;
    std::string card = dir.file("card.json");
    std::string config = dir.file("zendor.ini");
    test::writeCard(card, test::knownDesfire());
    test::writeFile(config, "[general]\nopt = 01\nrc = 00:7F\n");
    std::string device = "sim:" + card;
    const char* argv[] = {"zendorcfg", "-d", device.c_str(), "-c", config.c_str()};

    FrameLog log;
    ::testing::internal::CaptureStdout();
    int status = app::runProgram(5, argv);
    std::string output = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(status, 0) << output;

    std::vector<CommandTotals> totals = totalsByCommand(splitTransfers(log.frames));
    CommandTotals all = overallTotals(totals);
    EXPECT_EQ(all.used.frames, log.frames.size());
    EXPECT_EQ(all.used.frames, all.minimum.frames);
    EXPECT_EQ(all.used.commandBytes, all.minimum.commandBytes);
    EXPECT_EQ(all.used.responseBytes, all.minimum.responseBytes);
    auto write = std::find_if(totals.begin(), totals.end(),
                              [](const CommandTotals& c) { return c.name == "WriteData"; });
    ASSERT_NE(write, totals.end());
    EXPECT_EQ(write->count, 2u);
    EXPECT_EQ(write->commandData, 527 + 31u);
    EXPECT_EQ(write->used.frames, 10 + 1u);
}

}  // namespace
}  // namespace zendor::bench
