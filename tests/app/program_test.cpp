#include "app/program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/card_files.h"
#include "support/counting_transport.h"
#include "support/temp_dir.h"

namespace zendor::app {
namespace {

using test::CountingTransports;
using test::TempDir;

std::string run(std::vector<const char*> argv, int& status) {
    ::testing::internal::CaptureStdout();
    status = runProgram(static_cast<int>(argv.size()), argv.data());
    return ::testing::internal::GetCapturedStdout();
}

TEST(ProgramReader, AReaderThatCannotBeOpenedEndsTheRun) {
    CountingTransports transports;
    int status = 0;
    EXPECT_EQ(run({"zendorcfg", "-r", "-d", ""}, status), "Reader  not found\nExiting\n");
    EXPECT_EQ(status, 1);

    // Without -d the library's default reader is used; when there is none nothing is said.
    marlix::setTransportFactory([](const marlix::DeviceName&) { return nullptr; });
    EXPECT_EQ(run({"zendorcfg", "-c"}, status), "Exiting\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(transports.counts.opened, 0);
}

TEST(ProgramReader, AFailedOpenIsNotFollowedByAClose) {
    TempDir dir;
    vcard::CardState card = test::knownDesfire();
    card.atqa = {0x44, 0x00};
    test::writeCard(dir.file("card.json"), card);
    std::string device = "sim:" + dir.file("card.json");
    CountingTransports transports;
    int status = 0;
    EXPECT_EQ(run({"zendorcfg", "-r", "-d", device.c_str()}, status),
              "Card found, not a Desfire\nExiting\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(transports.counts.opened, 1);
    EXPECT_EQ(transports.counts.closed, 1) << "only the open's own close of the reader";
    EXPECT_EQ(transports.counts.atsRequests, 0);
}

TEST(ProgramReader, EveryWorkflowRunIsFollowedByExactlyOneClose) {
    TempDir dir;
    test::writeCard(dir.file("card.json"), test::knownDesfire());
    std::string device = "sim:" + dir.file("card.json");
    std::string config = dir.file("missing.ini");
    const std::vector<std::vector<const char*>> runs = {
        {"zendorcfg", "-r", config.c_str(), "-d", device.c_str()},
        {"zendorcfg", "-c", config.c_str(), "-d", device.c_str()},
    };
    for (const auto& argv : runs) {
        CountingTransports transports;
        int status = 0;
        run(argv, status);
        EXPECT_EQ(transports.counts.activations, 1);
        EXPECT_EQ(transports.counts.deselects, 1);
        EXPECT_EQ(transports.counts.closed, 1);
    }
}

}  // namespace
}  // namespace zendor::app
