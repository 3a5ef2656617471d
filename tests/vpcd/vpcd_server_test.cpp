// The vpcd protocol of zendor-vcard over a socket pair: the test plays vpcd.
#include "vpcd/vpcd_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "support/card_files.h"
#include "support/held_port.h"
#include "support/stdout_pipe.h"
#include "vcard/card_file.h"

namespace zendor::vpcd {

using vcard::CardConnection;
using vcard::CardState;
using vcard::readCardFile;
using vcard::ReadResult;
using vcard::ReadStatus;
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kPowerOn{0x01};
const Bytes kReset{0x02};
const Bytes kGetAtr{0x04};
const Bytes kGetUid{0xFF, 0xCA, 0x00, 0x00, 0x00};
const Bytes kGetVersion{0x90, 0x60, 0x00, 0x00, 0x00};
const Bytes kSelectPicc{0x90, 0x5A, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
// AID 5A4D43, key settings EF, one DES key; the factory PICC settings 0F let anyone create.
const Bytes kCreateApplication{0x90, 0xCA, 0x00, 0x00, 0x05, 0x43, 0x4D, 0x5A, 0xEF, 0x01, 0x00};
const Bytes kOk{0x91, 0x00};

// The card is served on one end of a socket pair by a thread; the test is vpcd on the other.
class VpcdServeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("card.json");
        state_ = test::knownDesfire();
        options_.cardName = path_;
    }

    void TearDown() override {
        if (server_.joinable()) {
            stop_ = true;
            server_.join();
        }
        if (vpcd_ >= 0) {
            ::close(vpcd_);
        }
    }

    void serve() {
        connection_.reset();
        test::writeCard(path_, state_);
        CardConnection::OpenResult opened =
            CardConnection::open(path_, CardConnection::FrameLog::None);
        ASSERT_EQ(opened.status, CardConnection::OpenStatus::Ok) << opened.error;
        connection_ = std::move(opened.connection);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        vpcd_ = ends[0];
        ::testing::internal::CaptureStdout();
        std::promise<void> ended;
        ended_ = ended.get_future();
        server_ = std::thread([this, fd = ends[1], ended = std::move(ended)]() mutable {
            end_ = serveVpcd(fd, *connection_, options_, stop_);
            ended.set_value();
        });
    }

    // Length and data go in two writes, as vpcd may send them, and the card reads them in two:
    // the data is written only once the card has taken the length off the socket.
    void send(const Bytes& data) {
        const uint8_t length[2] = {static_cast<uint8_t>(data.size() >> 8),
                                   static_cast<uint8_t>(data.size())};
        ASSERT_EQ(::write(vpcd_, length, 2), 2);
        waitUntilTaken();
        ASSERT_EQ(::write(vpcd_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }

    // Until the card has read everything written to it (the socket's queue holds no byte of it).
    void waitUntilTaken() {
        for (int waited = 0; waited < 5000; ++waited) {
            int unread = 0;
            ASSERT_EQ(::ioctl(vpcd_, SIOCOUTQ, &unread), 0);
            if (unread == 0) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FAIL() << "the card did not read the length within 5 s";
    }

    // The next frame from the card; nothing when it closed the connection.
    std::optional<Bytes> receive() {
        Bytes header(2);
        if (!readExact(header)) {
            return std::nullopt;
        }
        Bytes data(static_cast<size_t>(header[0] << 8 | header[1]));
        if (!readExact(data)) {
            return std::nullopt;
        }
        return data;
    }

    std::optional<Bytes> exchange(const Bytes& command) {
        send(command);
        return receive();
    }

    // Waits for the serve loop to end; returns how and what it printed.
    std::pair<ServeEnd, std::string> finish() {
        server_.join();
        std::fflush(stdout);
        return {end_, ::testing::internal::GetCapturedStdout()};
    }

    Bytes uidAnswer() const {
        Bytes answer(state_.uid.begin(), state_.uid.end());
        answer.insert(answer.end(), {0x90, 0x00});
        return answer;
    }

    test::TempDir dir_;
    std::string path_;
    CardState state_;
    ServeOptions options_;
    std::unique_ptr<CardConnection> connection_;
    std::atomic<bool> stop_{false};
    std::future<void> ended_;
    int vpcd_ = -1;

  private:
    bool readExact(Bytes& out) {
        size_t done = 0;
        while (done < out.size()) {
            pollfd waiting{vpcd_, POLLIN, 0};
            if (::poll(&waiting, 1, 5000) <= 0) {
                ADD_FAILURE() << "the card did not answer within 5 s";
                return false;
            }
            ssize_t n = ::read(vpcd_, out.data() + done, out.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    std::thread server_;
    ServeEnd end_ = ServeEnd::Failed;
};

TEST_F(VpcdServeTest, AnswersAtrAndCommandsUntilVpcdCloses) {
    serve();
    send(kPowerOn);
    EXPECT_EQ(exchange(kGetAtr), Bytes(kDesfireAtr.begin(), kDesfireAtr.end()));
    EXPECT_EQ(exchange(kGetUid), uidAnswer());
    std::optional<Bytes> version = exchange(kGetVersion);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->size(), 9u);
    EXPECT_EQ((Bytes{(*version)[0], (*version)[1], (*version)[7], (*version)[8]}),
              (Bytes{0x04, 0x01, 0x91, 0xAF}));
    ::shutdown(vpcd_, SHUT_WR);
    auto [end, output] = finish();
    EXPECT_EQ(end, ServeEnd::PeerClosed);
    EXPECT_EQ(output, "Power on\nvpcd closed the connection\n");
}

TEST_F(VpcdServeTest, SavesTheCardFileBeforeAnsweringAChange) {
    serve();
    EXPECT_EQ(exchange(kSelectPicc), kOk);
    EXPECT_EQ(exchange(kCreateApplication), kOk);
    ReadResult saved = readCardFile(path_);
    ASSERT_EQ(saved.status, ReadStatus::Ok) << saved.error;
    ASSERT_EQ(saved.card->applications.size(), 1u);
    EXPECT_EQ(saved.card->applications[0].aid, 0x5A4D43u);
    ::shutdown(vpcd_, SHUT_WR);
    EXPECT_EQ(finish().first, ServeEnd::PeerClosed);
}

// Two commands per session are answered; a reset starts a new session; the third command of a
// session closes the connection and never reaches the card.
TEST_F(VpcdServeTest, LeavesTheReaderWhenRemoveAfterFramesIsPassed) {
    state_.removeAfterFrames = 2;
    serve();
    send(kPowerOn);
    EXPECT_EQ(exchange(kGetUid), uidAnswer());
    EXPECT_EQ(exchange(kGetUid), uidAnswer());
    send(kReset);
    EXPECT_EQ(exchange(kGetAtr), Bytes(kDesfireAtr.begin(), kDesfireAtr.end()));
    EXPECT_EQ(exchange(kGetUid), uidAnswer());
    EXPECT_EQ(exchange(kSelectPicc), kOk);
    EXPECT_EQ(exchange(kCreateApplication), std::nullopt);
    auto [end, output] = finish();
    EXPECT_EQ(end, ServeEnd::CardRemoved);
    EXPECT_EQ(output, "Power on\nReset\nCard removed after 2 frames\n");
    ReadResult saved = readCardFile(path_);
    ASSERT_EQ(saved.status, ReadStatus::Ok) << saved.error;
    EXPECT_TRUE(saved.card->applications.empty());
}

// A card file that another program rewrote while it was served is never overwritten: the card
// leaves the reader instead.
TEST_F(VpcdServeTest, NeverSavesOverACardFileAnotherProgramChanged) {
    CardState other = state_;
    other.uid[6] ^= 0x01;
    serve();
    EXPECT_EQ(exchange(kSelectPicc), kOk);
    test::writeCard(path_, other);
    EXPECT_EQ(exchange(kCreateApplication), std::nullopt);
    ::shutdown(vpcd_, SHUT_WR);
    auto [end, output] = finish();
    EXPECT_EQ(end, ServeEnd::Failed);
    EXPECT_EQ(output, "Card file '" + path_ +
                          "' cannot be saved: another program changed it since it was read; "
                          "the card leaves the reader\n");
    ReadResult file = readCardFile(path_);
    ASSERT_EQ(file.status, ReadStatus::Ok) << file.error;
    EXPECT_EQ(*file.card, other);
}

TEST_F(VpcdServeTest, NotDesfireAnswersOnlyGetVersionWithIllegalCommand) {
    options_.notDesfire = true;
    options_.verbose = true;
    serve();
    EXPECT_EQ(exchange(kGetVersion), (Bytes{0x91, 0x1C}));
    EXPECT_EQ(exchange(kGetUid), uidAnswer());
    ::shutdown(vpcd_, SHUT_WR);
    auto [end, output] = finish();
    EXPECT_EQ(end, ServeEnd::PeerClosed);
    EXPECT_EQ(output,
              "> 9060000000\n< 911C\n> FFCA000000\n< 041122334455669000\n"
              "vpcd closed the connection\n");
}

TEST_F(VpcdServeTest, EndsOnStopAndOnAFrameCutShort) {
    serve();
    send(kPowerOn);
    EXPECT_EQ(exchange(kGetAtr), Bytes(kDesfireAtr.begin(), kDesfireAtr.end()));
    stop_ = true;
    auto [stopped, output] = finish();
    EXPECT_EQ(stopped, ServeEnd::Stopped);
    EXPECT_EQ(output, "Power on\n");
    EXPECT_EQ(receive(), std::nullopt);  // the socket is closed

    ::close(vpcd_);
    stop_ = false;
    serve();
    const uint8_t partial[4] = {0x00, 0x05, 0x90, 0x60};
    ASSERT_EQ(::write(vpcd_, partial, sizeof partial), 4);
    ::shutdown(vpcd_, SHUT_WR);
    EXPECT_EQ(finish().first, ServeEnd::PeerClosed);
}

// vpcd goes on sending commands but reads no answer: once the card's answers fill the socket,
// a stop must still end serving at once, not when vpcd reads again.
TEST_F(VpcdServeTest, EndsOnStopWhileVpcdReadsNoAnswer) {
    serve();
    ASSERT_EQ(::fcntl(vpcd_, F_SETFL, O_NONBLOCK), 0);
    // Frames go out until the socket takes no more: the card has stopped reading, its answers
    // having filled the other way. Whether it is already stuck in send or about to be, the stop
    // must end it the same way.
    const Bytes frame{0x00, 0x05, 0xFF, 0xCA, 0x00, 0x00, 0x00};
    size_t sent = 0;  // bytes of the endless stream of frames
    for (bool full = false; !full;) {
        const size_t at = sent % frame.size();
        const ssize_t n = ::write(vpcd_, frame.data() + at, frame.size() - at);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else {
            pollfd writable{vpcd_, POLLOUT, 0};
            full = ::poll(&writable, 1, 200) == 0;
        }
    }
    stop_ = true;
    // Ends on its own, vpcd still reading nothing; the shutdown after a generous wait only keeps
    // a card stuck in send from hanging the test.
    const bool endedAlone = ended_.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!endedAlone) {
        ::shutdown(vpcd_, SHUT_RDWR);
    }
    auto [end, output] = finish();
    EXPECT_TRUE(endedAlone) << "serving went on while vpcd read nothing";
    EXPECT_EQ(end, ServeEnd::Stopped);
    EXPECT_EQ(output, "");
}

TEST(ConnectToVpcdTest, WaitsUntilVpcdListens) {
    test::HeldPort vpcd;
    ASSERT_NE(vpcd.port(), 0);
    const std::string waiting =
        "Waiting for vpcd at 127.0.0.1:" + std::to_string(vpcd.port()) + " (is pcscd running?)";
    std::atomic<bool> stop{false};
    int fd = -1;
    test::StdoutPipe output;
    std::thread card(
        [&] { fd = connectToVpcd("127.0.0.1", vpcd.port(), std::chrono::seconds(60), stop); });
    const bool toldItWaits = output.waitForLine(waiting);
    EXPECT_TRUE(vpcd.listen());
    card.join();
    EXPECT_TRUE(toldItWaits);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(output.finish(), waiting + "\n");
    ::close(fd);
}

TEST(ConnectToVpcdTest, GivesUpAfterTheWait) {
    test::HeldPort vpcd;
    std::atomic<bool> stop{false};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(connectToVpcd("127.0.0.1", vpcd.port(), std::chrono::milliseconds(0), stop), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Cannot connect to vpcd at 127.0.0.1:" + std::to_string(vpcd.port()) +
                  ": Connection refused\n");
}

}  // namespace
}  // namespace zendor::vpcd
