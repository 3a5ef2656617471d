// The fake SCard* API. Answers as pcsc-lite does where the transport cares: the reader list as a
// multi-string, SCARD_E_NO_READERS_AVAILABLE for none, SCARD_E_INSUFFICIENT_BUFFER for a buffer too
// small, SCARD_E_UNKNOWN_READER for a name it does not know.
#include "marlix/fake_scard.h"

#include <algorithm>

#include "support/hex.h"

namespace zendor::test {
namespace {

constexpr SCARDCONTEXT kContext = 0x5C;

std::string readerList() {
    std::string list;
    for (const FakeReader& reader : fakeScard().readers) {
        list += reader.name;
        list += '\0';
    }
    list += '\0';
    return list;
}

FakeReader* readerOf(SCARDHANDLE card) {
    std::vector<FakeReader>& readers = fakeScard().readers;
    const auto index = static_cast<size_t>(card);
    return index >= 1 && index <= readers.size() ? &readers[index - 1] : nullptr;
}

std::string pciName(const SCARD_IO_REQUEST* pci) {
    if (pci == nullptr || pci->cbPciLength != sizeof(SCARD_IO_REQUEST)) {
        return "BAD";
    }
    return pci->dwProtocol == SCARD_PROTOCOL_T0   ? "T0"
           : pci->dwProtocol == SCARD_PROTOCOL_T1 ? "T1"
                                                  : "RAW";
}

}  // namespace

FakeScard& fakeScard() {
    static FakeScard fake;
    return fake;
}

void fakeSleep(std::chrono::milliseconds time) {
    fakeScard().calls.push_back("sleep " + std::to_string(time.count()));
    fakeScard().slept += time;
    if (fakeScard().duringSleep) {
        fakeScard().duringSleep();
    }
}

}  // namespace zendor::test

using zendor::test::FakeReader;
using zendor::test::fakeScard;

extern "C" {

LONG SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
    if (fakeScard().establishResult != SCARD_S_SUCCESS) {
        return fakeScard().establishResult;
    }
    ++fakeScard().openContexts;
    *context = zendor::test::kContext;
    return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT) {
    --fakeScard().openContexts;
    fakeScard().calls.push_back("release");
    return SCARD_S_SUCCESS;
}

LONG SCardListReaders(SCARDCONTEXT, LPCSTR, LPSTR readers, LPDWORD length) {
    if (fakeScard().listResult != SCARD_S_SUCCESS) {
        return fakeScard().listResult;
    }
    if (fakeScard().readers.empty()) {
        return SCARD_E_NO_READERS_AVAILABLE;
    }
    const std::string list = zendor::test::readerList();
    const DWORD needed = static_cast<DWORD>(list.size());
    if (readers == nullptr) {
        *length = needed;
        return SCARD_S_SUCCESS;
    }
    // A reader plugged in between asking the size and fetching the list.
    if (fakeScard().listGrowths > 0 || *length < needed) {
        fakeScard().listGrowths = std::max(0, fakeScard().listGrowths - 1);
        *length = needed;
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    std::copy(list.begin(), list.end(), readers);
    *length = needed;
    return SCARD_S_SUCCESS;
}

LONG SCardConnect(SCARDCONTEXT, LPCSTR name, DWORD shareMode, DWORD protocols, LPSCARDHANDLE card,
                  LPDWORD activeProtocol) {
    fakeScard().calls.push_back("connect " + std::string(name) + " share " +
                                std::to_string(shareMode) + " protocols " +
                                std::to_string(protocols));
    std::vector<FakeReader>& readers = fakeScard().readers;
    auto reader = std::find_if(readers.begin(), readers.end(),
                               [name](const FakeReader& r) { return r.name == name; });
    if (reader == readers.end()) {
        return SCARD_E_UNKNOWN_READER;
    }
    if (reader->heldConnects > 0) {
        --reader->heldConnects;
        return SCARD_E_SHARING_VIOLATION;
    }
    if (reader->connectResult != SCARD_S_SUCCESS) {
        return reader->connectResult;
    }
    ++fakeScard().openCards;
    *card = static_cast<SCARDHANDLE>(reader - readers.begin() + 1);
    *activeProtocol = reader->protocol;
    return SCARD_S_SUCCESS;
}

LONG SCardDisconnect(SCARDHANDLE, DWORD disposition) {
    --fakeScard().openCards;
    fakeScard().calls.push_back("disconnect " + std::to_string(disposition));
    return SCARD_S_SUCCESS;
}

LONG SCardTransmit(SCARDHANDLE, const SCARD_IO_REQUEST* sendPci, LPCBYTE command,
                   DWORD commandLength, SCARD_IO_REQUEST*, LPBYTE answer, LPDWORD answerLength) {
    fakeScard().calls.push_back("transmit " + zendor::test::pciName(sendPci) + " " +
                                zendor::test::toHex(std::span(command, commandLength)));
    if (fakeScard().answers.empty()) {
        return SCARD_E_NOT_TRANSACTED;
    }
    zendor::test::FakeAnswer next = std::move(fakeScard().answers.front());
    fakeScard().answers.pop_front();
    if (next.result != SCARD_S_SUCCESS) {
        return next.result;
    }
    if (next.bytes.size() > *answerLength) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    std::copy(next.bytes.begin(), next.bytes.end(), answer);
    *answerLength = static_cast<DWORD>(next.bytes.size());
    return SCARD_S_SUCCESS;
}

LONG SCardStatus(SCARDHANDLE card, LPSTR, LPDWORD, LPDWORD state, LPDWORD protocol, LPBYTE atr,
                 LPDWORD atrLength) {
    const FakeReader* reader = zendor::test::readerOf(card);
    if (reader == nullptr) {
        return SCARD_E_INVALID_HANDLE;
    }
    *state = SCARD_SPECIFIC;
    *protocol = reader->protocol;
    const DWORD length = static_cast<DWORD>(reader->atr.size());
    if (length > *atrLength) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    std::copy(reader->atr.begin(), reader->atr.end(), atr);
    *atrLength = length;
    return SCARD_S_SUCCESS;
}

}  // extern "C"
