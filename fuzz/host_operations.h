// The card library driven by two bytes at a time: the first picks one of the library's calls and
// a parameter, the second a further parameter. Each call is checked against the library's
// promises (statuses in their bands, reads within their buffer, no authentication left behind
// by a failure). Used by the host-protocol and the virtual-card targets, and by the seed maker.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "marlix/transport.h"

namespace zendor::fuzz {

// The keys the operations use; the virtual-card states below carry some of them.
extern const std::array<std::array<uint8_t, 16>, 4> kFuzzKeys;

// Calls, by the first byte modulo kCallCount.
enum HostCall : uint8_t {
    kSelectApplication,
    kAuthenticate,
    kChangeKey,
    kFormatPicc,
    kCreateApplication,
    kCreateStdDataFile,
    kGetFileSettings,
    kReadData,
    kWriteData,
    kCommitTransaction,
    kSelectCid,
    kReactivate,
    kCallCount
};

// The first byte of the operation that makes `call` with parameter p (0 to 20).
constexpr uint8_t operation(HostCall call, uint8_t p) {
    return static_cast<uint8_t>(p * kCallCount + call);
}

// Opens the library on a reader whose transport is made by makeTransport and activates the card
// on it, with RndA fixed so that a run can be replayed. Returns the status of the activation.
int16_t openFuzzReader(std::function<std::unique_ptr<marlix::Transport>()> makeTransport);

// Closes the reader and forgets the transport factory.
void closeFuzzReader();

// Runs one operation and checks the outcome; returns the library's status.
int16_t runHostOperation(uint8_t first, uint8_t second);

}  // namespace zendor::fuzz
