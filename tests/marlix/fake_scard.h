// A fake of the PC/SC SCard* API, linked in place of the system's library: readers, cards and
// their answers are set by the test, and every call the program makes is logged.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "marlix/pcsc_api.h"

namespace zendor::test {

struct FakeReader {
    std::string name;
    LONG connectResult = SCARD_S_SUCCESS;  // SCARD_E_NO_SMARTCARD: an empty reader
    DWORD protocol = SCARD_PROTOCOL_T1;
    std::vector<uint8_t> atr{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
    int heldConnects = 0;  // connects refused as if another program held the card, before the rest
};

// One answer of the card to SCardTransmit, or the error the call returns.
struct FakeAnswer {
    std::vector<uint8_t> bytes;
    LONG result = SCARD_S_SUCCESS;
};

struct FakeScard {
    LONG establishResult = SCARD_S_SUCCESS;
    LONG listResult = SCARD_S_SUCCESS;  // what SCardListReaders answers, when not success
    std::vector<FakeReader> readers;
    int listGrowths = 0;  // times the list outgrows the size just reported
    std::deque<FakeAnswer> answers;

    // Run at every sleep, after it is logged: the world changing while the program waits.
    std::function<void()> duringSleep;

    // What the program did, one line a call: "connect NAME share 1 protocols 3",
    // "transmit T1 9060000000", "disconnect 1", "release", "sleep 100".
    std::vector<std::string> calls;
    int openContexts = 0;
    int openCards = 0;
    std::chrono::milliseconds slept{0};
};

// The fake's whole state; a test starts with fakeScard() = {}.
FakeScard& fakeScard();

// The wait the transport is given in place of a real one: it logs, counts and returns at once.
void fakeSleep(std::chrono::milliseconds time);

}  // namespace zendor::test
