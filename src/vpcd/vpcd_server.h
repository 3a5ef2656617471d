// The card side of vpcd, the virtual reader driver that pcscd loads: the card connects to vpcd
// as a TCP client and answers what vpcd sends.
//
// Framing, both ways: a 2-byte big-endian length, then that many bytes. vpcd always speaks
// first; the card only answers.
//
//   vpcd -> card          card -> vpcd
//   00 01 00  power off   nothing
//   00 01 01  power on    nothing
//   00 01 02  reset       nothing
//   00 01 04  get ATR     00 06 3B 81 80 01 80 80
//   LL LL C-APDU          LL LL R-APDU (data, SW1, SW2)
//
// Closing the connection is how a card leaves the reader.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "vcard/card_connection.h"

namespace zendor::vpcd {

// What a contactless reader makes of a DESFire EV1's ATS: historical byte 80.
constexpr std::array<uint8_t, 6> kDesfireAtr{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};

struct ServeOptions {
    std::string cardName;     // the card file as the user named it, for messages
    bool notDesfire = false;  // test aid: GetVersion answers 91 1C, as a card that is no DESFire
    bool verbose = false;     // print every command and answer
};

enum class ServeEnd {
    PeerClosed,   // vpcd closed the connection: pcscd has stopped
    CardRemoved,  // removeAfterFrames: the card left the reader
    Stopped,      // stop was set
    Failed,       // a socket fault, or the card file could not be saved (a line was printed)
};

// Serves the card of the connection on the connected socket fd until one of the ends above, and
// closes fd. The connection saves every change before its answer goes out. Power off, power on
// and reset restart the card's session, and with it the count of frames for removeAfterFrames:
// when the count passes it, the socket is closed before the frame reaches the card. stop is
// looked at at least every 200 ms, also while an answer waits for a peer that does not read.
ServeEnd serveVpcd(int fd, vcard::CardConnection& card, const ServeOptions& options,
                   const std::atomic<bool>& stop);

// A TCP connection to vpcd at host:port, or -1. While nobody listens there it tries again until
// wait has passed (printing one line that it waits); -1 at once when stop is set. Prints the
// reason of a failure.
int connectToVpcd(const std::string& host, uint16_t port, std::chrono::milliseconds wait,
                  const std::atomic<bool>& stop);

}  // namespace zendor::vpcd
