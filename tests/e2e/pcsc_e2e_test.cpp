// End to end through the real PC/SC stack: zendor-vcard serves card files on a vpcd reader of
// pcscd, and the library's PC/SC transport and zendorcfg use them as they would a real reader's
// card. pcsc_e2e.sh provides the PC/SC service; without one this program exits 77 (skipped).
#include <PCSC/winscard.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <optional>
#include <thread>

#include "card/marlix.h"
#include "marlix/pcsc_transport.h"
#include "marlix/status.h"
#include "platform/bounded_wait.h"
#include "support/card_files.h"
#include "support/run_tool.h"
#include "vcard/card_file.h"

namespace zendor {
namespace {

using namespace std::chrono_literals;

// The vpcd reader the tests use, and the port its card connects to.
struct Slot {
    std::string reader;
    uint16_t port = 0;
};

Slot& chosenSlot() {
    static Slot slot;
    return slot;
}

// A PC/SC context of the test's own, to watch readers without touching their cards.
class ReaderWatch {
  public:
    ReaderWatch() {
        ok_ = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_) ==
              SCARD_S_SUCCESS;
    }
    ~ReaderWatch() {
        if (ok_) {
            SCardReleaseContext(context_);
        }
    }
    bool ok() const { return ok_; }

    std::vector<std::string> readers() const {
        DWORD length = 0;
        if (!ok_ || SCardListReaders(context_, nullptr, nullptr, &length) != SCARD_S_SUCCESS) {
            return {};
        }
        std::vector<char> names(length);
        if (SCardListReaders(context_, nullptr, names.data(), &length) != SCARD_S_SUCCESS) {
            return {};
        }
        std::vector<std::string> list;
        for (size_t at = 0; at < names.size() && names[at] != '\0'; at += list.back().size() + 1) {
            list.emplace_back(&names[at]);
        }
        return list;
    }

    bool holdsCard(const std::string& reader) const {
        SCARD_READERSTATE state{};
        state.szReader = reader.c_str();
        state.dwCurrentState = SCARD_STATE_UNAWARE;
        return ok_ && SCardGetStatusChange(context_, 0, &state, 1) == SCARD_S_SUCCESS &&
               (state.dwEventState & SCARD_STATE_PRESENT) != 0;
    }

    // pcscd looks for a new card every 400 ms.
    bool waitFor(const std::string& reader, bool card, std::chrono::milliseconds limit) const {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (holdsCard(reader) != card) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(100ms);
        }
        return true;
    }

  private:
    SCARDCONTEXT context_ = 0;
    bool ok_ = false;
};

// zendor-vcard serve as a child process, stopped by its process id whatever happens.
class ServeProcess {
  public:
    ServeProcess(const std::string& card, const std::string& log, std::vector<std::string> extra) {
        std::vector<std::string> args{
            ZENDOR_VCARD_PATH, "serve", card, "--port", std::to_string(chosenSlot().port),
            "--wait",          "10"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (const char* pids = std::getenv("ZENDOR_E2E_PIDS"); pids != nullptr && pid_ > 0) {
            std::ofstream(pids, std::ios::app) << pid_ << "\n";
        }
    }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;
    ~ServeProcess() { stop(); }

    bool started() const { return pid_ > 0; }

    // Its exit status once it has ended by itself within the limit; -1 otherwise.
    int exitStatus(std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0) {
            int raw = 0;
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return -1;
            }
            std::this_thread::sleep_for(50ms);
        }
        return status_;
    }

    // SIGTERM, then its exit status.
    int stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (exitStatus(5s) == -1 && pid_ > 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
            }
        }
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Kept, once, when a transport that waits with signalThenSleep is refused a card and waits.
std::atomic<std::promise<void>*> refusedSignal{nullptr};

void signalThenSleep(std::chrono::milliseconds time) {
    if (std::promise<void>* refused = refusedSignal.exchange(nullptr)) {
        refused->set_value();
    }
    platform::sleepFor(time);
}

// pcscd's socket as the client library sees it (PCSCLITE_CSOCK_NAME names another).
std::string pcscdSocket() {
    const char* named = std::getenv("PCSCLITE_CSOCK_NAME");
    return named != nullptr ? named : "/run/pcscd/pcscd.comm";
}

bool readAll(int fd, void* data, size_t size) {
    for (auto* at = static_cast<char*>(data); size > 0;) {
        ssize_t n = ::read(fd, at, size);
        if (n <= 0) {
            return false;
        }
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size) {
    for (const auto* at = static_cast<const char*>(data); size > 0;) {
        ssize_t n = ::write(fd, at, size);
        if (n <= 0) {
            return false;
        }
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A socket that a client library pointed at it (PCSCLITE_CSOCK_NAME) takes for pcscd's. It
// passes the first connection's requests on to pcscd, and once pcscd has answered
// SCARD_ESTABLISH_CONTEXT it goes away with that connection, as pcscd's socket and connections
// do when pcscd stops: the client's next call finds no service, at a moment no clock decides.
// pcsc-lite's requests are a header (size, command) and size bytes; the answers to the two it
// passes on are as long as their requests, and anything else ends the connection at once.
class VanishingSocket {
  public:
    explicit VanishingSocket(std::string path) : path_(std::move(path)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0) {
            return;
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~VanishingSocket() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(listener_);
        ::unlink(path_.c_str());
    }
    VanishingSocket(const VanishingSocket&) = delete;
    VanishingSocket& operator=(const VanishingSocket&) = delete;

    bool listening() const { return thread_.joinable(); }
    bool vanished() const { return vanished_; }

  private:
    static constexpr uint32_t kEstablishContext = 0x01;
    static constexpr uint32_t kVersion = 0x11;

    // Waits for fd to be readable, giving up when the test ends.
    bool readable(int fd) const {
        pollfd wanted{fd, POLLIN, 0};
        while (!stop_) {
            if (::poll(&wanted, 1, 100) > 0) {
                return true;
            }
        }
        return false;
    }

    void serve() {
        if (!readable(listener_)) {
            return;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, pcscdSocket().c_str(), sizeof address.sun_path - 1);
        if (client >= 0 && server >= 0 &&
            ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            relay(client, server);
        }
        ::close(server);
        ::close(client);
    }

    void relay(int client, int server) {
        while (readable(client)) {
            std::array<uint32_t, 2> header{};  // size, command
            if (!readAll(client, header.data(), sizeof header) || header[0] > 64 ||
                (header[1] != kVersion && header[1] != kEstablishContext)) {
                return;
            }
            std::vector<char> message(header[0]);
            if (!readAll(client, message.data(), message.size()) ||
                !writeAll(server, header.data(), sizeof header) ||
                !writeAll(server, message.data(), message.size()) ||
                !readAll(server, message.data(), message.size())) {
                return;
            }
            if (header[1] == kEstablishContext) {
                // As pcscd stopping does: its socket goes, and so does every connection to it.
                // Closed for reading before the answer, so that whatever the client sends after
                // reading it fails, however soon (a request sent and never answered is another
                // failure to pcsc-lite).
                ::shutdown(client, SHUT_RD);
                ::unlink(path_.c_str());
                vanished_ = true;
                writeAll(client, message.data(), message.size());
                return;
            }
            if (!writeAll(client, message.data(), message.size())) {
                return;
            }
        }
    }

    std::string path_;
    int listener_ = -1;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> vanished_ = false;
    std::thread thread_;
};

class PcscEndToEndTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (serve_) {
            serve_->stop();
            EXPECT_TRUE(watch_.waitFor(reader(), false, 5s)) << "the card stayed on the reader";
        }
    }

    const std::string& reader() const { return chosenSlot().reader; }

    // Serves the card and waits until pcscd shows it on the reader.
    void serve(const vcard::CardState& card, std::vector<std::string> extra = {}) {
        test::writeCard(card_, card);
        serve_.emplace(card_, log_, std::move(extra));
        ASSERT_TRUE(serve_->started());
        ASSERT_TRUE(watch_.waitFor(reader(), true, 5s)) << test::readFile(log_);
    }

    test::ToolRun zendorcfg(const std::string& device, std::vector<std::string> args) {
        args.insert(args.begin(), {"-d", device});
        return test::runTool(ZENDORCFG_PATH, args);
    }

    // How many lines of the serve log begin with prefix.
    size_t logLines(std::string_view prefix) const {
        std::istringstream log(test::readFile(log_));
        size_t count = 0;
        for (std::string line; std::getline(log, line);) {
            count += line.starts_with(prefix) ? 1 : 0;
        }
        return count;
    }

    ReaderWatch watch_;
    test::TempDir dir_;
    std::string card_ = dir_.file("card.json");
    std::string simCard_ = dir_.file("sim-card.json");
    std::string log_ = dir_.file("serve.log");
    std::optional<ServeProcess> serve_;
};

TEST_F(PcscEndToEndTest, ActivatesTheServedCardAsADesfire) {
    const vcard::CardState card = test::knownDesfire();
    serve(card);
    std::string lower = reader();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    std::vector<std::string> names{reader(), "pcsc:" + reader(), lower};
    // The first reader with a card is ours only when no other reader holds one.
    std::vector<std::string> all = watch_.readers();
    if (std::count_if(all.begin(), all.end(), [&](auto& r) { return watch_.holdsCard(r); }) == 1) {
        names.push_back("pcsc:");
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_EQ(MARLIX_ReaderOpen(name.c_str()), 0);
        uint8_t atqa[2] = {};
        uint8_t uid[12] = {};
        uint8_t uidLength = sizeof uid;
        uint8_t sak = 0;
        ASSERT_EQ(MARLIX_TclA_ActivateAny(atqa, uid, &uidLength, &sak), 0);
        EXPECT_EQ(std::vector<uint8_t>(atqa, atqa + 2), (std::vector<uint8_t>{0x44, 0x03}));
        EXPECT_EQ(sak, 0x20);
        EXPECT_EQ(std::vector<uint8_t>(uid, uid + uidLength),
                  std::vector<uint8_t>(card.uid.begin(), card.uid.end()));
        uint8_t ats[32] = {};
        uint8_t atsLength = sizeof ats;
        EXPECT_EQ(MARLIX_TclA_GetAts(0xFF, ats, &atsLength), 0);
        EXPECT_EQ(std::vector<uint8_t>(ats, ats + atsLength), std::vector<uint8_t>{0x80});
        MARLIX_ReaderClose();
    }
    // Letting go resets the card, which ends its session.
    EXPECT_EQ(logLines("Reset"), names.size()) << test::readFile(log_);
}

// pcscd refuses the second connection while the first holds the card; the second waits about
// two seconds for it, and a third gets it when the first lets go within that time.
TEST_F(PcscEndToEndTest, TheCardBelongsToOneProgramAtATime) {
    serve(test::knownDesfire());
    marlix::DeviceName device{marlix::DeviceName::Kind::PcscReader, reader()};
    std::unique_ptr<marlix::Transport> first = marlix::openPcscTransport(device);
    std::unique_ptr<marlix::Transport> second = marlix::openPcscTransport(device);
    ASSERT_TRUE(first && second);
    marlix::Activation activation;
    ASSERT_EQ(first->activate(activation), marlix::kOk);
    auto start = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(second->activate(activation), marlix::kReaderBusy);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Another program is using the card on reader '" + reader() + "'\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);

    // The first lets go once a third has been refused the card and waits to try again: no
    // clock orders the two.
    std::unique_ptr<marlix::Transport> third = marlix::openPcscTransport(device, signalThenSleep);
    ASSERT_TRUE(third);
    std::promise<void> refused;
    std::future<void> wasRefused = refused.get_future();
    refusedSignal = &refused;
    std::thread letGo([&first, &wasRefused] {
        if (wasRefused.wait_for(10s) == std::future_status::ready) {
            first->deselect();
        }
    });
    EXPECT_EQ(third->activate(activation), marlix::kOk);
    letGo.join();
    refusedSignal = nullptr;
    EXPECT_EQ(wasRefused.wait_for(0s), std::future_status::ready) << "the third was never refused";
}

TEST_F(PcscEndToEndTest, ZendorcfgRefusesWhatIsNoDesfireCardOnAKnownReader) {
    vcard::CardState foreignUid = test::knownDesfire();
    foreignUid.uid[0] = 0x08;
    std::string allReaders;
    for (const std::string& name : watch_.readers()) {
        allReaders += (allReaders.empty() ? "'" : ", '") + name + "'";
    }
    struct Case {
        std::string what;
        std::optional<vcard::CardState> card;  // none: the reader stays empty
        std::vector<std::string> serveArgs;
        std::optional<std::string> device;  // none: the test's reader
        std::string output;
    };
    const std::vector<Case> cases{
        {"no card", std::nullopt, {}, std::nullopt, "No card on the reader\nExiting\n"},
        {"not a DESFire",
         test::knownDesfire(),
         {"--not-desfire"},
         std::nullopt,
         "Card found, not a Desfire\nExiting\n"},
        {"DESFire answers, UID not NXP's",
         foreignUid,
         {},
         std::nullopt,
         "Card found, not a Desfire\nExiting\n"},
        {"unknown reader",
         std::nullopt,
         {},
         "No Such Reader",
         "No reader's name contains 'No Such Reader'; PC/SC readers: " + allReaders +
             "\nReader No Such Reader not found\nExiting\n"},
        {"empty reader name", std::nullopt, {}, "", "Reader  not found\nExiting\n"},
        {"name of several readers",
         std::nullopt,
         {},
         "virtual PCD 00",
         "Reader name 'virtual PCD 00' fits several readers: 'Virtual PCD 00 00', "
         "'Virtual PCD 00 01'\nReader virtual PCD 00 not found\nExiting\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.card) {
            serve(*c.card, c.serveArgs);
        }
        test::ToolRun run = zendorcfg(c.device.value_or(reader()), {"-r"});
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.status, 1);
        if (serve_) {
            EXPECT_EQ(serve_->stop(), 0);
            EXPECT_TRUE(watch_.waitFor(reader(), false, 5s));
            serve_.reset();
        }
    }
}

// Without pcscd, and with a pcscd that stops after it has answered: each its own line, then the
// tool's own. The client library is pointed at a socket of the test's (PCSCLITE_CSOCK_NAME).
TEST_F(PcscEndToEndTest, ZendorcfgSaysWhetherTheServiceIsMissingOrWentAway) {
    const std::string socket = dir_.file("pcscd.comm");
    auto zendorcfgOn = [&](const std::string& socketPath) {
        return test::runTool("/usr/bin/env", {"PCSCLITE_CSOCK_NAME=" + socketPath, ZENDORCFG_PATH,
                                              "-d", reader(), "-r"});
    };
    test::ToolRun missing = zendorcfgOn(socket);
    EXPECT_EQ(missing.output,
              "No PC/SC service (is pcscd running?)\nReader " + reader() + " not found\nExiting\n");
    EXPECT_EQ(missing.status, 1);

    VanishingSocket vanishing(socket);
    ASSERT_TRUE(vanishing.listening());
    test::ToolRun wentAway = zendorcfgOn(socket);
    EXPECT_TRUE(vanishing.vanished());
    EXPECT_EQ(wentAway.output,
              "The PC/SC service stopped while in use (is pcscd running?)\nReader " + reader() +
                  " not found\nExiting\n");
    EXPECT_EQ(wentAway.status, 1);
}

// The same card, once on the reader and once as a sim: device, must come out the same.
TEST_F(PcscEndToEndTest, CreateAndReadGiveWhatTheVirtualCardGives) {
    serve(test::knownDesfire());
    test::writeCard(simCard_, test::knownDesfire());
    for (const char* action : {"-c", "-r"}) {
        SCOPED_TRACE(action);
        test::ToolRun onReader = zendorcfg(reader(), {action, ZENDOR_EXAMPLE_INI});
        test::ToolRun onSim = zendorcfg("sim:" + simCard_, {action, ZENDOR_EXAMPLE_INI});
        EXPECT_EQ(onReader.status, 0) << onReader.output;
        EXPECT_TRUE(onReader.output.ends_with("OK !\n")) << onReader.output;
        EXPECT_EQ(onReader.output, onSim.output);
        EXPECT_EQ(test::readFile(card_), test::readFile(simCard_));
    }
}

// removeAfterFrames cuts the chained WriteData of the master file; the PC/SC transport sends
// four frames of its own to activate the card (GetVersion in three parts, GET DATA), which the
// sim: device does not, so its card leaves four frames earlier.
TEST_F(PcscEndToEndTest, ACardPulledAwayMidWriteFailsAsTheVirtualCardDoes) {
    serve(test::knownDesfire(), {"--verbose"});
    ASSERT_EQ(zendorcfg(reader(), {"-c", ZENDOR_EXAMPLE_INI}).status, 0);
    ASSERT_EQ(serve_->stop(), 0);
    ASSERT_TRUE(watch_.waitFor(reader(), false, 5s));
    std::istringstream frames(test::readFile(log_));
    uint32_t activationFrames = 0;
    uint32_t cut = 0;
    uint32_t frame = 0;
    bool inWrite = false;
    for (std::string line; std::getline(frames, line) && cut == 0;) {
        if (!line.starts_with("> ")) {
            continue;
        }
        ++frame;
        if (line == "> FFCA000000") {
            activationFrames = frame;
        }
        if (line.starts_with("> 903D")) {
            inWrite = true;
        } else if (inWrite && line.starts_with("> 90AF")) {
            cut = frame;  // the second part of a chained write: the card leaves after it
        }
    }
    ASSERT_EQ(activationFrames, 4u);
    ASSERT_GT(cut, activationFrames);

    vcard::CardState card = test::knownDesfire();
    card.removeAfterFrames = cut;
    vcard::CardState simCard = test::knownDesfire();
    simCard.removeAfterFrames = cut - activationFrames;
    serve(card);
    test::writeCard(simCard_, simCard);
    test::ToolRun onReader = zendorcfg(reader(), {"-c", ZENDOR_EXAMPLE_INI});
    test::ToolRun onSim = zendorcfg("sim:" + simCard_, {"-c", ZENDOR_EXAMPLE_INI});
    EXPECT_EQ(onReader.status, 1);
    EXPECT_EQ(onReader.output, onSim.output);
    EXPECT_EQ(serve_->exitStatus(5s), 0);
    EXPECT_EQ(logLines("Card removed after " + std::to_string(cut) + " frames"), 1u);
    EXPECT_TRUE(watch_.waitFor(reader(), false, 5s)) << "the card stayed on the reader";
    vcard::ReadResult left = vcard::readCardFile(card_);
    vcard::ReadResult simLeft = vcard::readCardFile(simCard_);
    ASSERT_EQ(left.status, vcard::ReadStatus::Ok) << left.error;
    ASSERT_EQ(simLeft.status, vcard::ReadStatus::Ok) << simLeft.error;
    left.card->removeAfterFrames = simLeft.card->removeAfterFrames;
    EXPECT_EQ(*left.card, *simLeft.card);
}

// The first vpcd reader without a card; pcscd may need a moment to list its readers.
std::optional<Slot> freeSlot(std::string& reason) {
    ReaderWatch watch;
    if (!watch.ok()) {
        reason = "no PC/SC service";
        return std::nullopt;
    }
    const Slot slots[] = {{"Virtual PCD 00 00", 35963}, {"Virtual PCD 00 01", 35964}};
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(200ms)) {
        std::vector<std::string> readers = watch.readers();
        bool listed = false;
        for (const Slot& slot : slots) {
            if (std::find(readers.begin(), readers.end(), slot.reader) == readers.end()) {
                continue;
            }
            listed = true;
            if (!watch.holdsCard(slot.reader)) {
                return slot;
            }
        }
        if (listed) {
            reason = "both vpcd readers hold a card already";
            return std::nullopt;
        }
    }
    reason = "pcscd lists no reader \"Virtual PCD 00 00\" (is vsmartcard-vpcd installed?)";
    return std::nullopt;
}

}  // namespace
}  // namespace zendor

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string reason;
    std::optional<zendor::Slot> slot = zendor::freeSlot(reason);
    if (!slot) {
        std::printf("SKIPPED: %s\n", reason.c_str());
        return 77;
    }
    zendor::chosenSlot() = *slot;
    std::printf("Using reader \"%s\" (vpcd port %u)\n", slot->reader.c_str(), slot->port);
    return RUN_ALL_TESTS();
}
