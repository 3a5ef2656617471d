// The zendor-vcard command line: making card files, and the refusals of both commands.
#include "vcard/vcard_tool.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/card_files.h"
#include "vcard/card_file.h"

namespace zendor::vcard {
namespace {

class VcardToolTest : public ::testing::Test {
  protected:
    // Runs the tool; "CARD" in an argument stands for the card file's path.
    std::pair<int, std::string> run(std::vector<std::string> args) {
        std::vector<std::string_view> views;
        for (std::string& arg : args) {
            if (arg == "CARD") {
                arg = card_;
            }
            views.push_back(arg);
        }
        ::testing::internal::CaptureStdout();
        int status = runVcardTool(views, stop_);
        return {status, ::testing::internal::GetCapturedStdout()};
    }

    testing::TempDir dir_;
    std::string card_ = dir_.file("card.json");
    std::atomic<bool> stop_{false};
};

TEST_F(VcardToolTest, NewWritesAFactoryFreshCardWithTheUidGiven) {
    auto [status, output] = run({"new", "CARD", "--uid", "04112233445566"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output,
              "Card file '" + card_ + "' written: factory-fresh card, UID 04112233445566\n");
    ReadResult read = readCardFile(card_);
    ASSERT_EQ(read.status, ReadStatus::Ok) << read.error;
    EXPECT_EQ(*read.card, testing::knownDesfire());
}

TEST_F(VcardToolTest, NewKeepsAnExistingFileUnlessForced) {
    CardState old = testing::knownDesfire();
    old.applications.push_back({0x5A4D43, 0xEF, {Key{}}, {}});
    testing::writeCard(card_, old);

    auto [status, output] = run({"new", "CARD"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, "Card file '" + card_ + "' exists already; --force replaces it\n");
    EXPECT_EQ(*readCardFile(card_).card, old);

    EXPECT_EQ(run({"--force", "new", "CARD"}).first, 1);  // the command comes first
    EXPECT_EQ(run({"new", "--force", "CARD"}).first, 0);
    ReadResult fresh = readCardFile(card_);
    ASSERT_EQ(fresh.status, ReadStatus::Ok) << fresh.error;
    EXPECT_TRUE(fresh.card->applications.empty());
    EXPECT_EQ(fresh.card->uid[0], 0x04);  // a random UID, NXP's
}

TEST_F(VcardToolTest, RefusesCommandLinesItDoesNotUnderstand) {
    const std::string tryHelp = "Try 'zendor-vcard --help' for help.\n";
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const Case cases[] = {
        {{}, "a command is missing (new or serve)"},
        {{"make", "CARD"}, "unknown command 'make'"},
        {{"new"}, "the card file is missing"},
        {{"new", "CARD", "other.json"}, "unexpected argument 'other.json'"},
        {{"new", "CARD", "--uid"}, "unexpected argument '--uid'"},
        {{"new", "CARD", "--uid", "0411223344556"}, "--uid needs 14 hexadecimal digits (7 bytes)"},
        {{"new", "CARD", "--uid", "04112233445566AA"},
         "--uid needs 14 hexadecimal digits (7 bytes)"},
        {{"new", "CARD", "--uid", "0411223344556G"}, "--uid needs 14 hexadecimal digits (7 bytes)"},
        {{"new", "CARD", "--port", "1"}, "unexpected argument '--port'"},
        {{"serve", "CARD", "--uid", "04112233445566"}, "unexpected argument '--uid'"},
        {{"serve", "CARD", "--port", "0"}, "--port needs a number from 1 to 65535"},
        {{"serve", "CARD", "--port", "65536"}, "--port needs a number from 1 to 65535"},
        {{"serve", "CARD", "--wait", "-1"}, "--wait needs a number of seconds from 0 to 86400"},
        {{"serve", "CARD", "--host", ""}, "unexpected argument '--host'"},
    };
    for (const Case& c : cases) {
        auto [status, output] = run(c.args);
        EXPECT_EQ(status, 1) << c.reason;
        EXPECT_EQ(output, "zendor-vcard: " + c.reason + "\n" + tryHelp);
    }
    EXPECT_FALSE(std::filesystem::exists(card_));
}

TEST_F(VcardToolTest, ServeRefusesACardItCannotHoldOrVpcdItCannotReach) {
    EXPECT_EQ(run({"serve", "CARD"}),
              std::make_pair(
                  1, "Card file '" + card_ + "' does not exist; zendor-vcard new makes one\n"));

    testing::writeFile(card_, "{}");
    EXPECT_EQ(run({"serve", "CARD"}),
              std::make_pair(
                  1, "Card file '" + card_ + "' is not valid: card: member 'uid' is missing\n"));

    testing::writeCard(card_, testing::knownDesfire());
    {
        bool busy = false;
        std::string error;
        std::optional<CardLock> held = CardLock::acquire(card_, busy, error);
        ASSERT_TRUE(held);
        EXPECT_EQ(run({"serve", "CARD"}),
                  std::make_pair(1, "Card file '" + card_ + "' is in use by another program\n"));
        EXPECT_EQ(run({"new", "--force", "CARD"}),
                  std::make_pair(1, "Card file '" + card_ + "' is in use by another program\n"));
    }
    // Port 1 on the loopback: nobody listens there.
    EXPECT_EQ(run({"serve", "CARD", "--port", "1", "--wait", "0"}),
              std::make_pair(1, std::string("Cannot connect to vpcd at 127.0.0.1:1: "
                                            "Connection refused\n")));
}

TEST_F(VcardToolTest, HelpDescribesBothCommands) {
    auto [status, output] = run({"serve", "--help"});
    EXPECT_EQ(status, 0);
    for (const char* part :
         {"zendor-vcard new CARD.json [--uid HEX] [--force]", "zendor-vcard serve CARD.json",
          "removeAfterFrames", "--not-desfire", "SIGTERM", "\"Virtual PCD 00 00\""}) {
        EXPECT_NE(output.find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace zendor::vcard
