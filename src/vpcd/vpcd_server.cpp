// The vpcd protocol loop around a VirtualCard, and the connection to vpcd.
#include "vpcd/vpcd_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "desfire/protocol.h"
#include "text/hex.h"

namespace zendor::vpcd {

using vcard::CardConnection;
namespace {

constexpr int kPollMs = 200;

enum Control : uint8_t { kPowerOff = 0, kPowerOn = 1, kReset = 2, kGetAtr = 4 };

enum class ReadResult { Ok, Closed, Stopped, Failed };
enum class Readiness { Ready, Stopped, Failed };

// Waits until fd can take events, looking at stop between polls: neither a silent peer nor one
// that stopped reading holds off a stop.
Readiness waitFor(int fd, short events, const std::atomic<bool>& stop) {
    while (true) {
        pollfd waiting{fd, events, 0};
        int ready = ::poll(&waiting, 1, kPollMs);
        if (ready > 0) {
            return Readiness::Ready;
        }
        if (ready < 0 && errno != EINTR) {
            return Readiness::Failed;
        }
        if (stop) {
            return Readiness::Stopped;
        }
    }
}

// Reads exactly out.size() bytes: vpcd may send the length and the data separately. Stops only
// while vpcd is silent: what it has sent is still answered.
ReadResult readExact(int fd, std::span<uint8_t> out, const std::atomic<bool>& stop) {
    size_t done = 0;
    while (done < out.size()) {
        switch (waitFor(fd, POLLIN, stop)) {
            case Readiness::Ready:
                break;
            case Readiness::Stopped:
                return ReadResult::Stopped;
            case Readiness::Failed:
                return ReadResult::Failed;
        }
        ssize_t n = ::recv(fd, out.data() + done, out.size() - done, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return ReadResult::Closed;
        }
        if (n < 0 && errno != EINTR) {
            return ReadResult::Failed;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return ReadResult::Ok;
}

enum class SendResult { Sent, Closed, Stopped };

SendResult sendFrame(int fd, std::span<const uint8_t> data, const std::atomic<bool>& stop) {
    std::vector<uint8_t> frame{static_cast<uint8_t>(data.size() >> 8),
                               static_cast<uint8_t>(data.size() & 0xFF)};
    frame.insert(frame.end(), data.begin(), data.end());
    size_t done = 0;
    while (done < frame.size()) {
        switch (waitFor(fd, POLLOUT, stop)) {
            case Readiness::Ready:
                break;
            case Readiness::Stopped:
                return SendResult::Stopped;
            case Readiness::Failed:
                return SendResult::Closed;
        }
        ssize_t n =
            ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            return SendResult::Closed;
        }
        done += static_cast<size_t>(n);
    }
    return SendResult::Sent;
}

void printBytes(const char* direction, std::span<const uint8_t> bytes) {
    std::printf("%s %s\n", direction, text::toHex(bytes).c_str());
}

bool isGetVersion(std::span<const uint8_t> apdu) {
    return apdu.size() >= 2 && apdu[0] == desfire::kClaNative &&
           apdu[1] == desfire::ins::kGetVersion;
}

// One card session on the socket; the members live as long as the connection.
class VpcdSession {
  public:
    VpcdSession(int fd, CardConnection& card, const ServeOptions& options,
                const std::atomic<bool>& stop)
        : fd_(fd), card_(card), options_(options), stop_(stop) {}

    ServeEnd run() {
        const std::atomic<bool>& stop = stop_;
        std::vector<uint8_t> frame;
        while (true) {
            if (std::optional<ServeEnd> end = readFrame(frame, stop)) {
                return *end;
            }
            std::optional<ServeEnd> end = frame.size() == 1 ? control(frame[0]) : command(frame);
            if (end) {
                return *end;
            }
        }
    }

  private:
    std::optional<ServeEnd> readFrame(std::vector<uint8_t>& frame, const std::atomic<bool>& stop) {
        std::array<uint8_t, 2> header{};
        ReadResult read = readExact(fd_, header, stop);
        if (read == ReadResult::Ok) {
            frame.resize(static_cast<size_t>(header[0] << 8 | header[1]));
            read = readExact(fd_, frame, stop);
        }
        switch (read) {
            case ReadResult::Ok:
                return std::nullopt;
            case ReadResult::Closed:
                std::printf("vpcd closed the connection\n");
                return ServeEnd::PeerClosed;
            case ReadResult::Stopped:
                return ServeEnd::Stopped;
            case ReadResult::Failed:
                break;
        }
        std::printf("Connection to vpcd failed: %s\n", std::strerror(errno));
        return ServeEnd::Failed;
    }

    std::optional<ServeEnd> control(uint8_t code) {
        switch (code) {
            case kPowerOff:
            case kPowerOn:
            case kReset:
                std::printf("%s\n", code == kPowerOff  ? "Power off"
                                    : code == kPowerOn ? "Power on"
                                                       : "Reset");
                card_.restartSession();
                return std::nullopt;
            case kGetAtr:
                return send(kDesfireAtr);
            default:
                std::printf("vpcd sent an unknown control code %02X; ignored\n", code);
                return std::nullopt;
        }
    }

    std::optional<ServeEnd> command(std::span<const uint8_t> apdu) {
        if (options_.notDesfire && isGetVersion(apdu)) {
            logCommand(apdu);
            return answer({desfire::kSw1Desfire, desfire::st::kIllegalCommand});
        }
        std::vector<uint8_t> response;
        CardConnection::TransmitStatus status = card_.transmit(apdu, response);
        if (status == CardConnection::TransmitStatus::NoAnswer) {
            std::printf("Card removed after %u frames\n", *card_.card().removeAfterFrames);
            return ServeEnd::CardRemoved;
        }
        logCommand(apdu);
        if (status == CardConnection::TransmitStatus::Ok) {
            return answer(response);
        }
        // A host never sees an answer for a change the file does not hold.
        std::printf("Card file '%s' cannot be saved: %s; the card leaves the reader\n",
                    options_.cardName.c_str(), card_.lastError().c_str());
        return ServeEnd::Failed;
    }

    void logCommand(std::span<const uint8_t> apdu) const {
        if (options_.verbose) {
            printBytes(">", apdu);
        }
    }

    std::optional<ServeEnd> answer(const std::vector<uint8_t>& bytes) {
        if (options_.verbose) {
            printBytes("<", bytes);
        }
        return send(bytes);
    }

    std::optional<ServeEnd> send(std::span<const uint8_t> bytes) {
        switch (sendFrame(fd_, bytes, stop_)) {
            case SendResult::Sent:
                return std::nullopt;
            case SendResult::Stopped:
                return ServeEnd::Stopped;
            case SendResult::Closed:
                break;
        }
        std::printf("vpcd closed the connection\n");
        return ServeEnd::PeerClosed;
    }

    int fd_;
    CardConnection& card_;
    const ServeOptions& options_;
    const std::atomic<bool>& stop_;
};

}  // namespace

ServeEnd serveVpcd(int fd, CardConnection& card, const ServeOptions& options,
                   const std::atomic<bool>& stop) {
    ServeEnd end = VpcdSession(fd, card, options, stop).run();
    ::close(fd);
    return end;
}

int connectToVpcd(const std::string& host, uint16_t port, std::chrono::milliseconds wait,
                  const std::atomic<bool>& stop) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int rv = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rv != 0) {
        std::printf("Cannot find host '%s': %s\n", host.c_str(), ::gai_strerror(rv));
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    while (!stop) {
        int lastError = 0;
        for (addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
            int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) {
                lastError = errno;
                continue;
            }
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
                int on = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                return fd;
            }
            lastError = errno;
            ::close(fd);
        }
        if (lastError != ECONNREFUSED || std::chrono::steady_clock::now() >= deadline) {
            std::printf("Cannot connect to vpcd at %s:%u: %s\n", host.c_str(), port,
                        std::strerror(lastError));
            return -1;
        }
        if (!told) {
            std::printf("Waiting for vpcd at %s:%u (is pcscd running?)\n", host.c_str(), port);
            std::fflush(stdout);  // seen now, also through a pipe, not when the wait is over
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return -1;
}

}  // namespace zendor::vpcd
