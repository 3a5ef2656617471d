// The PC/SC transport: one context for the open reader, one exclusive card handle while a card
// is active.
//
// Exclusive, because a DESFire session lives in the card: another program's command in between
// (a select, a GetVersion) ends our authentication, and its reset ends everything. Programs that
// look at a card for a moment (a system service when a card is put down, a scanner) are waited
// for at connection time instead; once connected, nothing is tried again.
//
// The reader has already activated the card (anticollision, RATS) by the time PC/SC shows it,
// and PC/SC does not pass on ATQA and SAK. So activation asks the card itself: DESFire
// GetVersion tells a DESFire from anything else, the reader's GET DATA gives the UID, and the
// ATQA and SAK every DESFire has are reported.
#include "marlix/pcsc_transport.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "desfire/protocol.h"
#include "marlix/pcsc_api.h"
#include "marlix/pcsc_failure.h"
#include "marlix/status.h"
#include "platform/bounded_wait.h"

namespace zendor::marlix {
namespace {

using namespace std::chrono_literals;

constexpr std::array<uint8_t, 5> kGetUid{0xFF, 0xCA, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 5> kGetVersion{desfire::kClaNative, desfire::ins::kGetVersion, 0x00,
                                             0x00, 0x00};
constexpr std::array<uint8_t, 5> kNextFrame{desfire::kClaNative, desfire::ins::kAdditionalFrame,
                                            0x00, 0x00, 0x00};
// GetVersion answers in three parts: hardware, software, production data.
constexpr int kGetVersionFrames = 3;
constexpr uint8_t kVendorNxp = 0x04;
constexpr uint8_t kTypeDesfire = 0x01;
constexpr std::array<uint8_t, 2> kDesfireAtqa{0x44, 0x03};
constexpr uint8_t kDesfireSak = 0x20;

// How long a card another program holds is asked for again: growing pauses, two seconds in all.
// A program that looks at a card just put down lets it go well within that; a card held for good
// is reported without a long wait.
constexpr platform::WaitSchedule kCardHeldWait{100ms, 800ms, 2000ms};

bool isSuccess(LONG rv) {
    return rv == SCARD_S_SUCCESS;
}

// Connecting to the card of one reader; the failures that no status of ours tells say why in a
// line of their own (pcsc_failure.h).
int16_t connectStatus(LONG rv, const std::string& reader) {
    switch (rv) {
        case SCARD_E_NO_SMARTCARD:
        case SCARD_W_REMOVED_CARD:
            return kNoCard;
        case SCARD_E_SHARING_VIOLATION:
            return kReaderBusy;
        case SCARD_W_UNRESPONSIVE_CARD:
        case SCARD_W_UNPOWERED_CARD:
            return kNoAnswer;
        case SCARD_W_SECURITY_VIOLATION:
            pcsc::explainConnectFailure(rv, reader);
            return kAccessDenied;
        default:
            pcsc::explainConnectFailure(rv, reader);
            return kReaderError;
    }
}

int16_t transmitStatus(LONG rv) {
    switch (rv) {
        case SCARD_W_REMOVED_CARD:
        case SCARD_E_NO_SMARTCARD:
            return kCardRemoved;
        case SCARD_E_NOT_TRANSACTED:
        case SCARD_W_UNRESPONSIVE_CARD:
            return kNoAnswer;
        case SCARD_E_INSUFFICIENT_BUFFER:
            return kBadAnswer;
        default:
            return kReaderError;
    }
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// 'A', 'B', ... of the readers whose name contains part (all of them for an empty part).
std::string quotedList(const std::vector<std::string>& readers, std::string_view part) {
    std::string list;
    std::string wanted = lowerCase(part);
    for (const std::string& reader : readers) {
        if (lowerCase(reader).find(wanted) != std::string::npos) {
            list += (list.empty() ? "'" : ", '") + reader + "'";
        }
    }
    return list;
}

bool endsWith(const std::vector<uint8_t>& answer, uint8_t sw1, uint8_t sw2) {
    return answer.size() >= 2 && answer[answer.size() - 2] == sw1 && answer.back() == sw2;
}

// The PC/SC resource manager context; released with the transport.
class Context {
  public:
    explicit Context(SCARDCONTEXT handle) : handle_(handle) {}
    Context(Context&& other) noexcept : handle_(std::exchange(other.handle_, std::nullopt)) {}
    Context& operator=(Context&&) = delete;
    ~Context() {
        if (handle_) {
            SCardReleaseContext(*handle_);
        }
    }
    SCARDCONTEXT get() const { return *handle_; }

  private:
    std::optional<SCARDCONTEXT> handle_;
};

// An exclusive connection to the card in one reader.
//
// Letting go resets the card (SCARD_RESET_CARD): the reader re-activates it, so the selected
// application, the authentication and any backup-file write not committed end with our
// connection, as they do when a card is deselected, and nothing of our session reaches the next
// program that uses the card. It also ends a chained command left half-way by a fault.
class CardHandle {
  public:
    CardHandle(SCARDHANDLE handle, DWORD protocol) : handle_(handle), protocol_(protocol) {}
    CardHandle(CardHandle&& other) noexcept
        : handle_(other.handle_), protocol_(other.protocol_), connected_(other.connected_) {
        other.connected_ = false;
    }
    CardHandle& operator=(CardHandle&&) = delete;
    ~CardHandle() {
        if (connected_) {
            SCardDisconnect(handle_, SCARD_RESET_CARD);
        }
    }

    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) const {
        response.clear();
        if (command.size() > pcsc::kMaxBufferSize) {
            return kBadArgument;
        }
        // The header is made here, not taken from the library's SCARD_PCI_* globals: Windows
        // exports those as DLL data, which the fake API linked in the library's place for the
        // tests cannot stand in for. It holds the same: the protocol and the header's size.
        const SCARD_IO_REQUEST pci{protocol_, sizeof(SCARD_IO_REQUEST)};
        std::array<uint8_t, pcsc::kMaxBufferSize> buffer{};
        DWORD length = buffer.size();
        LONG rv = SCardTransmit(handle_, &pci, command.data(), static_cast<DWORD>(command.size()),
                                nullptr, buffer.data(), &length);
        if (!isSuccess(rv)) {
            return transmitStatus(rv);
        }
        if (length < 2) {
            return kNoAnswer;
        }
        response.assign(buffer.begin(), buffer.begin() + length);
        return kOk;
    }

    std::vector<uint8_t> atr() const {
        std::array<uint8_t, pcsc::kMaxAtrSize> buffer{};
        DWORD atrLength = buffer.size();
        DWORD state = 0;
        DWORD protocol = 0;
        DWORD nameLength = 0;
        if (!isSuccess(SCardStatus(handle_, nullptr, &nameLength, &state, &protocol, buffer.data(),
                                   &atrLength))) {
            return {};
        }
        return {buffer.begin(), buffer.begin() + std::min<DWORD>(atrLength, buffer.size())};
    }

  private:
    SCARDHANDLE handle_;
    DWORD protocol_;
    bool connected_ = true;
};

// Runs GetVersion to its end, so the card is not left in the middle of the command, and tells
// whether the hardware part names a DESFire.
int16_t checkDesfire(const CardHandle& card) {
    std::vector<uint8_t> answer;
    int16_t result = card.transmit(kGetVersion, answer);
    if (result != kOk) {
        return result;
    }
    bool desfire = answer.size() == 9 && answer[0] == kVendorNxp && answer[1] == kTypeDesfire;
    for (int frame = 1; endsWith(answer, desfire::kSw1Desfire, desfire::st::kAdditionalFrame);
         ++frame) {
        if (frame == kGetVersionFrames) {
            return kNotDesfire;  // more parts than a DESFire sends; the reset at release ends it
        }
        result = card.transmit(kNextFrame, answer);
        if (result != kOk) {
            return result;
        }
    }
    return desfire && endsWith(answer, desfire::kSw1Desfire, desfire::st::kOk) ? kOk : kNotDesfire;
}

int16_t readUid(const CardHandle& card, Activation& out) {
    std::vector<uint8_t> answer;
    int16_t result = card.transmit(kGetUid, answer);
    if (result != kOk) {
        return result;
    }
    if (!endsWith(answer, 0x90, 0x00)) {
        return kIsoStatus;
    }
    size_t length = answer.size() - 2;
    if (length != 4 && length != 7 && length != 10) {
        return kBadAnswer;
    }
    std::copy_n(answer.begin(), length, out.uid.begin());
    out.uidLength = static_cast<uint8_t>(length);
    return kOk;
}

std::vector<std::string> listReaders(SCARDCONTEXT context, LONG& rv) {
    // The list can grow between asking its size and fetching it; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD length = 0;
        rv = SCardListReaders(context, nullptr, nullptr, &length);
        if (!isSuccess(rv)) {
            return {};
        }
        std::vector<char> names(length);
        rv = SCardListReaders(context, nullptr, names.data(), &length);
        if (rv == SCARD_E_INSUFFICIENT_BUFFER) {
            continue;
        }
        if (!isSuccess(rv)) {
            return {};
        }
        // A multi-string: names each ending with a null, the whole ending with one more.
        std::vector<std::string> readers;
        for (size_t at = 0; at < names.size() && names[at] != '\0';) {
            std::string name(&names[at]);
            at += name.size() + 1;
            readers.push_back(std::move(name));
        }
        return readers;
    }
    return {};
}

class PcscTransport final : public Transport {
  public:
    // readerName empty: the first reader that holds a card, chosen at each activation.
    PcscTransport(Context context, std::string readerName, Sleep sleep)
        : context_(std::move(context)),
          readerName_(std::move(readerName)),
          sleep_(std::move(sleep)) {}

    int16_t activate(Activation& out) override {
        card_.reset();
        std::optional<CardHandle> card;
        int16_t result = connect(card);
        if (result != kOk) {
            return result;
        }
        // GetVersion before GET DATA: a card that is no DESFire at all (a contact card in a
        // contact reader) may refuse GET DATA, and is still to be told apart as such.
        result = checkDesfire(*card);
        if (result == kOk) {
            result = readUid(*card, out);
        }
        if (result != kOk) {
            return result;
        }
        out.atqa = kDesfireAtqa;
        out.sak = kDesfireSak;
        card_.emplace(std::move(*card));
        return kOk;
    }

    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        if (!card_) {
            return kNoCard;
        }
        std::vector<uint8_t> atr = card_->atr();
        std::span<const uint8_t> historical = atrHistoricalBytes(atr);
        size_t n = std::min(ats.size(), historical.size());
        std::copy_n(historical.begin(), n, ats.begin());
        length = static_cast<uint8_t>(n);
        return kOk;
    }

    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        if (!card_) {
            response.clear();
            return kNoCard;
        }
        return card_->transmit(command, response);
    }

    void deselect() override { card_.reset(); }

  private:
    int16_t connectTo(const std::string& reader, std::optional<CardHandle>& card) {
        SCARDHANDLE handle = 0;
        DWORD protocol = 0;
        LONG rv = SCardConnect(context_.get(), reader.c_str(), SCARD_SHARE_EXCLUSIVE,
                               SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &handle, &protocol);
        if (!isSuccess(rv)) {
            return connectStatus(rv, reader);
        }
        card.emplace(handle, protocol);
        return kOk;
    }

    // The named reader's card, or the card of the first reader that holds one; heldIn names the
    // reader whose card another program holds.
    int16_t connectOnce(std::optional<CardHandle>& card, std::string& heldIn) {
        if (!readerName_.empty()) {
            heldIn = readerName_;
            return connectTo(readerName_, card);
        }
        LONG rv = SCARD_S_SUCCESS;
        std::vector<std::string> readers = listReaders(context_.get(), rv);
        if (!isSuccess(rv) && rv != SCARD_E_NO_READERS_AVAILABLE) {
            pcsc::explainListFailure(rv);
            return kReaderError;
        }
        for (const std::string& reader : readers) {
            int16_t result = connectTo(reader, card);
            if (result != kNoCard) {
                heldIn = reader;
                return result;  // this reader holds a card, whether we got it or not
            }
        }
        return kNoCard;
    }

    // Each try chooses afresh, so a reader plugged in or out or a card taken away while we wait
    // counts as at a first try.
    int16_t connect(std::optional<CardHandle>& card) {
        std::string heldIn;
        platform::BoundedWait wait(kCardHeldWait, sleep_);
        int16_t result = connectOnce(card, heldIn);
        while (result == kReaderBusy && wait.pause()) {
            result = connectOnce(card, heldIn);
        }
        if (result == kReaderBusy) {
            std::printf("Another program is using the card on reader '%s'\n", heldIn.c_str());
        }
        return result;
    }

    // Declared first: the card handle must go before the context it was made in.
    Context context_;
    std::string readerName_;
    Sleep sleep_;
    std::optional<CardHandle> card_;
};

}  // namespace

ReaderPick pickReader(std::span<const std::string> readers, std::string_view name) {
    ReaderPick pick;
    if (name.empty()) {
        return pick;
    }
    for (const std::string& reader : readers) {
        if (reader == name) {
            return {ReaderPick::Outcome::Found, reader};
        }
    }
    std::string wanted = lowerCase(name);
    for (const std::string& reader : readers) {
        if (lowerCase(reader).find(wanted) == std::string::npos) {
            continue;
        }
        if (pick.outcome == ReaderPick::Outcome::Found) {
            return {ReaderPick::Outcome::Several, {}};
        }
        pick = {ReaderPick::Outcome::Found, reader};
    }
    return pick;
}

std::span<const uint8_t> atrHistoricalBytes(std::span<const uint8_t> atr) {
    if (atr.size() < 2) {
        return {};
    }
    size_t historical = atr[1] & 0x0F;
    uint8_t indicators = atr[1] >> 4;  // which of TAi, TBi, TCi, TDi follow
    size_t at = 2;
    while (true) {
        at += static_cast<size_t>(std::popcount(static_cast<unsigned>(indicators & 0x07)));
        if ((indicators & 0x08) == 0) {
            break;
        }
        if (at >= atr.size()) {
            return {};
        }
        indicators = atr[at] >> 4;
        ++at;
    }
    if (at + historical > atr.size()) {
        return {};
    }
    return atr.subspan(at, historical);
}

std::unique_ptr<Transport> openPcscTransport(const DeviceName& device, Sleep sleep,
                                             const std::string& sysRoot) {
    bool named = device.kind == DeviceName::Kind::PcscReader;
    if (named && device.target.empty()) {
        return nullptr;
    }
    SCARDCONTEXT handle = 0;
    LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &handle);
    // The tool says nothing of a default reader it cannot open: without these lines a run
    // without -d would end with no reason at all.
    if (!isSuccess(rv)) {
        pcsc::explainEstablishFailure(rv);
        return nullptr;
    }
    Context context(handle);
    std::vector<std::string> readers = listReaders(context.get(), rv);
    if (!isSuccess(rv) && rv != SCARD_E_NO_READERS_AVAILABLE) {
        pcsc::explainListFailure(rv);
        return nullptr;
    }
    if (readers.empty()) {
        std::printf("No PC/SC reader is connected\n");
        pcsc::explainMissingReader(sysRoot);
        return nullptr;
    }
    if (!named) {
        return std::make_unique<PcscTransport>(std::move(context), std::string(), sleep);
    }
    ReaderPick pick = pickReader(readers, device.target);
    // The names to choose from, since the tool's own line says only that none was found.
    if (pick.outcome == ReaderPick::Outcome::Several) {
        std::printf("Reader name '%s' fits several readers: %s\n", device.target.c_str(),
                    quotedList(readers, device.target).c_str());
    } else if (pick.outcome == ReaderPick::Outcome::None) {
        std::printf("No reader's name contains '%s'; PC/SC readers: %s\n", device.target.c_str(),
                    quotedList(readers, {}).c_str());
        pcsc::explainMissingReader(sysRoot);
    }
    if (pick.outcome != ReaderPick::Outcome::Found) {
        return nullptr;
    }
    return std::make_unique<PcscTransport>(std::move(context), std::move(pick.reader), sleep);
}

}  // namespace zendor::marlix
