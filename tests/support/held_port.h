// A loopback TCP port for a test that plays a server. POSIX only.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace zendor::test {

// A loopback port held but not listened on: connections to it are refused, and no other
// program can take it while the test runs; listen() opens it when the test is ready.
class HeldPort {
  public:
    HeldPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~HeldPort() { ::close(fd_); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;

    uint16_t port() const { return port_; }
    bool listen() { return ::listen(fd_, 1) == 0; }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace zendor::test
