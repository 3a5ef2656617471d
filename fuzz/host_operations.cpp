// The library's calls with parameters from a small table each: valid ones, the edges of the
// card's limits and a few refusals.
#include "fuzz/host_operations.h"

#include <algorithm>
#include <string>
#include <vector>

#include "card/marlix.h"
#include "card/marlix_desfire.h"
#include "fuzz/fuzz_support.h"
#include "marlix/authentication.h"
#include "marlix/reader.h"
#include "marlix/status.h"

namespace zendor::fuzz {

const std::array<std::array<uint8_t, 16>, 4> kFuzzKeys{{
    {},
    {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE,
     0xFF},
    {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
     0x08},
    {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
     0xB7},
}};

namespace {

using marlix::readerSession;

struct Span {
    uint32_t offset;
    uint32_t length;
};

constexpr std::array<uint32_t, 4> kAids{0x000000, 0x5A4D43, 0x123456, 0x1000000};
constexpr std::array<uint8_t, 4> kKeyNumbers{0, 1, 0x0D, 0x20};
constexpr std::array<uint8_t, 4> kComms{3, 0, 1, 2};
constexpr std::array<Span, 8> kSpans{
    {{0, 512}, {0, 16}, {0, 32}, {5, 20}, {511, 1}, {0, 513}, {0, 0}, {0x1000000, 1}}};
constexpr std::array<uint32_t, 4> kFileSizes{512, 16, 32, 0x1000000};

const uint8_t* key(size_t index) {
    return kFuzzKeys[index % kFuzzKeys.size()].data();
}

bool isCardStatus(int16_t status) {
    // 0x00 is success and 0xAF asks for the next frame: neither is ever a failure.
    return status <= marlix::cardStatus(0x01) && status >= marlix::cardStatus(0xFF) &&
           status != marlix::cardStatus(0xAF);
}

bool isOwnStatus(int16_t status) {
    return status < 0 && status > -1000 && marlix::findStatus(status) != nullptr;
}

// Refusals of the arguments, made before anything is sent: they leave the session as it was.
bool refusedBeforeSending(int16_t status) {
    return status == marlix::kBadArgument || status == marlix::kNotAuthenticated ||
           status == marlix::kUnsupportedComm;
}

int16_t readData(uint8_t p, uint8_t q) {
    const uint8_t comm = kComms[q & 3];
    const Span span = kSpans[(q >> 2) & 7];
    std::vector<uint8_t> buffer(span.length);
    uint32_t bytesRead = 0xDEADBEEF;
    const int16_t status = DesFireCard_ReadData(static_cast<uint8_t>(p % 6), comm, span.offset,
                                                span.length, buffer.data(), &bytesRead);
    if (status == 0) {
        require(bytesRead <= span.length, "a read stays within its length");
        require(comm == 0 || bytesRead == span.length, "a secured read is whole");
    } else {
        require(bytesRead == 0, "a failed read reports no bytes");
    }
    return status;
}

int16_t writeData(uint8_t p, uint8_t q) {
    const Span span = kSpans[(q >> 2) & 7];
    std::vector<uint8_t> data(std::min<uint32_t>(span.length, 0x10000));
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + q);
    }
    if (data.size() < span.length) {
        return marlix::kBadArgument;  // never hand the library less than it is told
    }
    return DesFireCard_WriteData(static_cast<uint8_t>(p % 6), kComms[q & 3], span.offset,
                                 span.length, data.data());
}

int16_t reactivate() {
    MARLIX_TclA_Deselect(0xFF);
    std::array<uint8_t, 2> atqa{};
    std::array<uint8_t, 10> uid{};
    uint8_t uidLength = static_cast<uint8_t>(uid.size());
    uint8_t sak = 0;
    int16_t status = MARLIX_TclA_ActivateAny(atqa.data(), uid.data(), &uidLength, &sak);
    if (status != 0) {
        return status;
    }
    std::array<uint8_t, 32> ats{};
    uint8_t atsLength = static_cast<uint8_t>(ats.size());
    status = MARLIX_TclA_GetAts(0xFF, ats.data(), &atsLength);
    require(status != 0 || atsLength <= ats.size(), "the ATS fits its buffer");
    return status;
}

int16_t call(uint8_t first, uint8_t q) {
    const uint8_t p = first / kCallCount;
    switch (static_cast<HostCall>(first % kCallCount)) {
        case kSelectApplication:
            return DesFireCard_SelectApplication(kAids[p % kAids.size()]);
        case kAuthenticate: {
            const uint8_t keyNo = kKeyNumbers[p % kKeyNumbers.size()];
            const int16_t status = DesFireCard_Authenticate(keyNo, key(q));
            const marlix::SecureSession& secure = readerSession().secure;
            require(status != 0 || (secure.authenticated && secure.keyNo == keyNo),
                    "a successful authentication holds its key number");
            return status;
        }
        case kChangeKey:
            return DesFireCard_ChangeKey(p % 2, key(q), (q & 0x80) != 0 ? key(q >> 2) : nullptr);
        case kFormatPicc:
            return DesFireCard_FormatPICC();
        case kCreateApplication:
            return DesFireCard_CreateApplication(kAids[p % kAids.size()], (q & 1) ? 0x0F : 0xEF,
                                                 static_cast<uint8_t>(1 + (q >> 1) % 15));
        case kCreateStdDataFile:
            return DesFireCard_CreateStdDataFile(static_cast<uint8_t>(p % 6), kComms[q & 3],
                                                 (q & 4) ? 0xEEEE : 0xFF0F,
                                                 kFileSizes[(q >> 3) & 3]);
        case kGetFileSettings: {
            uint8_t type = 0, comm = 0;
            uint16_t rights = 0;
            DesFireFileInfo info{};
            return DesFireCard_GetFileSettings(static_cast<uint8_t>(p % 6), &type, &comm, &rights,
                                               &info);
        }
        case kReadData:
            return readData(p, q);
        case kWriteData:
            return writeData(p, q);
        case kCommitTransaction:
            return DesFireCard_CommitTransaction();
        case kSelectCid:
            return DesFireCard_SelectCid(q);
        case kReactivate:
        case kCallCount:
            break;
    }
    return reactivate();
}

}  // namespace

int16_t openFuzzReader(std::function<std::unique_ptr<marlix::Transport>()> makeTransport) {
    marlix::setRandomSource([](std::span<uint8_t> out) {
        std::fill(out.begin(), out.end(), uint8_t{0x5A});
        return true;
    });
    marlix::setTransportFactory(
        [makeTransport](const marlix::DeviceName&) { return makeTransport(); });
    require(MARLIX_ReaderOpen("sim:fuzz") == 0, "the reader opens");
    return reactivate();
}

void closeFuzzReader() {
    MARLIX_ReaderClose();
    marlix::setTransportFactory({});
}

int16_t runHostOperation(uint8_t first, uint8_t second) {
    const int16_t status = call(first, second);
    if (status != 0 && !isCardStatus(status) && !isOwnStatus(status)) {
        require(false, "status " + std::to_string(status) + " is in a documented band");
    }
    // A failure may have cost the card its authentication: the library must not go on with it.
    // Not so for a plain answer that the card gave with success but that is too short to read
    // (GetFileSettings): the card's session is untouched by it.
    const bool malformedPlainAnswer =
        first % kCallCount == kGetFileSettings && status == marlix::kBadAnswer;
    const bool mayKeep = status == 0 || status == marlix::cardStatus(0x0C) ||
                         refusedBeforeSending(status) || malformedPlainAnswer;
    if (!mayKeep && readerSession().secure.authenticated) {
        require(false, "a failure (status " + std::to_string(status) +
                           ") leaves no authentication behind");
    }
    return status;
}

}  // namespace zendor::fuzz
