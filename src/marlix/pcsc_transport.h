// PC/SC readers through the WinSCard API (pcsc-lite on Linux).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "marlix/device_name.h"
#include "marlix/transport.h"
#include "platform/bounded_wait.h"

namespace zendor::marlix {

// The reader the device names (a name, or any reader holding a card); null when the PC/SC
// service or the reader is not there. It prints the line that the tool's own "not found" line
// (none without a name) cannot tell: the service refuses this user, no PC/SC service, the
// service stopped, a PC/SC failure by its name, no reader, or the readers there are.
//
// The transport's activate() connects exclusively and answers:
//   kNoCard       no card in the reader (or, for "any reader", in none of them)
//   kReaderBusy   another program still holds the card after about two seconds of tries (a
//                 system service or a scanner looks at a new card for a moment); it prints
//                 one line naming the reader first
//   kAccessDenied the PC/SC service refuses this user the card (pcscd's access rules); it
//                 prints one line naming the reader first
//   kNotDesfire   the card does not answer GetVersion as a DESFire does
//   kIsoStatus    the reader refused GET DATA for the UID
//   kBadAnswer    a UID of a length no ISO 14443-A card has
//   kNoAnswer, kCardRemoved as transmit() does
//   kReaderError  any other failure, after a line that names it (the service stopped, or the
//                 PC/SC code)
// transmit() answers kCardRemoved (card gone), kNoAnswer (no or a 1-byte answer, or the reader
// could not transact), kBadAnswer (answer larger than a short APDU's), kReaderError otherwise.
// Nothing is tried again once the card is connected: a command that fails mid-session ends it.
//
// sleep is how activation waits between tries; tests pass one that only counts. sysRoot is
// where sysfs is mounted: when no reader is listed, or none has the name, a line names the USB
// readers that the kernel's own NFC driver holds (Linux; Windows looks at nothing).
using Sleep = platform::SleepFor;
std::unique_ptr<Transport> openPcscTransport(const DeviceName& device,
                                             Sleep sleep = platform::sleepFor,
                                             const std::string& sysRoot = "/sys");

// How a reader name picks one reader out of the PC/SC list: the reader of exactly that name,
// else the only one whose name contains it, ignoring case. An empty name picks none.
struct ReaderPick {
    enum class Outcome { Found, None, Several };
    Outcome outcome = Outcome::None;
    std::string reader;  // with Found
};
ReaderPick pickReader(std::span<const std::string> readers, std::string_view name);

// The historical bytes of an ATR (ISO 7816-3); empty when the ATR is cut short. A contactless
// reader puts the card's ATS historical bytes there.
std::span<const uint8_t> atrHistoricalBytes(std::span<const uint8_t> atr);

}  // namespace zendor::marlix
