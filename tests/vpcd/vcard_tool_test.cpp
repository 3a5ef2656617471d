// The zendor-vcard command line: making card files, and the refusals of both commands.
#include "vpcd/vcard_tool.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <vector>

#include "support/card_files.h"
#include "support/held_port.h"
#include "support/stdout_pipe.h"
#include "vcard/card_file.h"

namespace zendor::vpcd {

using vcard::CardLock;
using vcard::CardState;
using vcard::Key;
using vcard::readCardFile;
using vcard::ReadResult;
using vcard::ReadStatus;
namespace {

class VcardToolTest : public ::testing::Test {
  protected:
    // Runs the tool; "CARD" in an argument stands for the card file's path.
    std::pair<int, std::string> run(std::vector<std::string> args) {
        ::testing::internal::CaptureStdout();
        int status = runPrinting(std::move(args));
        return {status, ::testing::internal::GetCapturedStdout()};
    }

    // The same, its output left where standard output goes.
    int runPrinting(std::vector<std::string> args) {
        std::vector<std::string_view> views;
        for (std::string& arg : args) {
            if (arg == "CARD") {
                arg = card_;
            }
            views.push_back(arg);
        }
        return runVcardTool(views, stop_);
    }

    test::TempDir dir_;
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
    EXPECT_EQ(*read.card, test::knownDesfire());
}

TEST_F(VcardToolTest, NewKeepsAnExistingFileUnlessForced) {
    CardState old = test::knownDesfire();
    old.applications.push_back({0x5A4D43, 0xEF, {Key{}}, {}});
    test::writeCard(card_, old);

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

    test::writeFile(card_, "{}");
    EXPECT_EQ(run({"serve", "CARD"}),
              std::make_pair(
                  1, "Card file '" + card_ + "' is not valid: card: member 'uid' is missing\n"));

    test::writeCard(card_, test::knownDesfire());
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

// vpcd's side of one connection on the loopback, for the tool's serve command.
class FakeVpcd {
  public:
    ~FakeVpcd() { ::close(card_); }

    uint16_t port() const { return port_.port(); }

    // As pcscd stopping: serving ends.
    void hangUp() { ::shutdown(card_, SHUT_RDWR); }

    bool accept() {
        port_.listen();
        pollfd waiting{port_.fd(), POLLIN, 0};
        card_ = ::poll(&waiting, 1, 5000) == 1 ? ::accept(port_.fd(), nullptr, nullptr) : -1;
        return card_ >= 0;
    }

    // The card's answer to command; nothing when it closed the connection instead.
    std::optional<std::vector<uint8_t>> exchange(const std::vector<uint8_t>& command) {
        std::vector<uint8_t> frame{0x00, static_cast<uint8_t>(command.size())};
        frame.insert(frame.end(), command.begin(), command.end());
        if (::write(card_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
            return std::nullopt;
        }
        std::vector<uint8_t> header(2);
        if (!readExact(header)) {
            return std::nullopt;
        }
        std::vector<uint8_t> answer(static_cast<size_t>(header[0] << 8 | header[1]));
        return readExact(answer) ? std::optional(answer) : std::nullopt;
    }

  private:
    bool readExact(std::vector<uint8_t>& out) {
        for (size_t done = 0; done < out.size();) {
            pollfd waiting{card_, POLLIN, 0};
            ssize_t n = ::poll(&waiting, 1, 5000) == 1
                            ? ::read(card_, out.data() + done, out.size() - done)
                            : -1;
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    test::HeldPort port_;  // refuses serve until accept listens on it
    int card_ = -1;
};

// The card file edited while serve waits for vpcd: the edit is another program's change, and
// the first save refuses to go over it.
TEST_F(VcardToolTest, ServeNeverOverwritesAnEditMadeWhileItWaitedForVpcd) {
    test::writeCard(card_, test::knownDesfire());
    FakeVpcd vpcd;
    ASSERT_NE(vpcd.port(), 0);
    const std::string port = std::to_string(vpcd.port());
    int status = -1;
    test::StdoutPipe output;
    std::thread serving([&] { status = runPrinting({"serve", "CARD", "--port", port}); });
    // The card file is read before the first try to reach vpcd, which is refused until accept.
    EXPECT_TRUE(
        output.waitForLine("Waiting for vpcd at 127.0.0.1:" + port + " (is pcscd running?)"));
    CardState edited = test::knownDesfire();
    edited.piccKeySettings = 0x09;
    test::writeCard(card_, edited);

    ASSERT_TRUE(vpcd.accept());
    const std::vector<uint8_t> selectPicc{0x90, 0x5A, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> createApplication{0x90, 0xCA, 0x00, 0x00, 0x05, 0x43,
                                                 0x4D, 0x5A, 0xEF, 0x01, 0x00};
    EXPECT_EQ(vpcd.exchange(selectPicc), (std::vector<uint8_t>{0x91, 0x00}));
    EXPECT_EQ(vpcd.exchange(createApplication), std::nullopt);
    vpcd.hangUp();
    serving.join();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output.finish(), "Waiting for vpcd at 127.0.0.1:" + port +
                                   " (is pcscd running?)\nServing card 04112233445566 from '" +
                                   card_ + "' on vpcd at 127.0.0.1:" + port + "\nCard file '" +
                                   card_ +
                                   "' cannot be saved: another program changed it since it was "
                                   "read; the card leaves the reader\n");
    EXPECT_EQ(*readCardFile(card_).card, edited);
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
}  // namespace zendor::vpcd
