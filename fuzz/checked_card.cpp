// The card ends of the card-facing targets.
#include "fuzz/checked_card.h"

#include <algorithm>
#include <string>

#include "desfire/protocol.h"
#include "fuzz/host_operations.h"
#include "marlix/status.h"
#include "vcard/card_json.h"

namespace zendor::fuzz {
namespace {

using vcard::Application;
using vcard::CardState;
using vcard::DataFile;

constexpr std::array<uint8_t, 7> kUid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
constexpr std::array<uint8_t, 6> kAts{0x06, 0x75, 0x77, 0x81, 0x02, 0x80};

// What the card takes for an application and its files: 64 bytes, and 32-byte units per file.
uint64_t memoryTaken(const Application& app) {
    uint64_t total = 64;
    for (const DataFile& file : app.files) {
        total += (file.data.size() + 31) / 32 * 32;
    }
    return total;
}

uint64_t memoryTaken(const CardState& card) {
    uint64_t total = 0;
    for (const Application& app : card.applications) {
        total += memoryTaken(app);
    }
    return total;
}

DataFile dataFile(uint8_t fileNo, uint8_t type, uint8_t comm, uint16_t rights, size_t size) {
    return DataFile{fileNo, type, comm, rights, std::vector<uint8_t>(size, 0)};
}

Application masterApplication() {
    return Application{0x5A4D43,
                       0xEF,
                       {kFuzzKeys[1]},
                       {dataFile(1, vcard::kStandardDataFile, vcard::kCommEnciphered, 0xFF0F, 512),
                        dataFile(2, vcard::kStandardDataFile, vcard::kCommEnciphered, 0xFF0F, 16)}};
}

CardState withMemoryAccounted(CardState card) {
    card.freeMemory = static_cast<uint32_t>(vcard::kFactoryFreeMemory - memoryTaken(card));
    return card;
}

bool isGetData(std::span<const uint8_t> command) {
    return command.size() >= 2 && command[0] == 0xFF && command[1] == 0xCA;
}

class CheckedCardTransport final : public marlix::Transport {
  public:
    explicit CheckedCardTransport(CheckedCard& checked) : checked_(checked) {}

    int16_t activate(marlix::Activation& out) override {
        checked_.reset();
        out.atqa = checked_.state().atqa;
        std::copy(checked_.state().uid.begin(), checked_.state().uid.end(), out.uid.begin());
        out.uidLength = static_cast<uint8_t>(checked_.state().uid.size());
        out.sak = checked_.state().sak;
        return marlix::kOk;
    }

    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        length = static_cast<uint8_t>(std::min(ats.size(), kAts.size()));
        std::copy_n(kAts.begin(), length, ats.begin());
        return marlix::kOk;
    }

    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        response = checked_.exchange(command);
        return marlix::kOk;
    }

    void deselect() override { checked_.reset(); }

  private:
    CheckedCard& checked_;
};

class ScriptedTransport final : public marlix::Transport {
  public:
    explicit ScriptedTransport(ByteReader& answers) : answers_(answers) {}

    int16_t activate(marlix::Activation& out) override {
        out.atqa = {0x44, 0x03};
        std::copy(kUid.begin(), kUid.end(), out.uid.begin());
        out.uidLength = static_cast<uint8_t>(kUid.size());
        out.sak = 0x20;
        return marlix::kOk;
    }

    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        length = static_cast<uint8_t>(std::min(ats.size(), kAts.size()));
        std::copy_n(kAts.begin(), length, ats.begin());
        return marlix::kOk;
    }

    int16_t transmit(std::span<const uint8_t>, std::vector<uint8_t>& response) override {
        response.clear();
        if (answers_.empty()) {
            return marlix::kNoAnswer;
        }
        const uint8_t length = answers_.byte();
        if (length == kScriptNoAnswer) {
            return marlix::kNoAnswer;
        }
        if (length == kScriptCardRemoved) {
            return marlix::kCardRemoved;
        }
        const std::span<const uint8_t> answer = answers_.bytes(length);
        response.assign(answer.begin(), answer.end());
        return marlix::kOk;
    }

    void deselect() override {}

  private:
    ByteReader& answers_;
};

}  // namespace

CardState factoryCard() {
    CardState card;
    card.uid = kUid;
    return card;
}

CardState masterCard(size_t piccKey) {
    CardState card = factoryCard();
    card.piccKey = kFuzzKeys[piccKey % kFuzzKeys.size()];
    card.applications = {masterApplication()};
    return withMemoryAccounted(std::move(card));
}

CardState applicationsCard() {
    CardState card = factoryCard();
    Application other{0x123456,
                      0x0F,
                      {kFuzzKeys[0], kFuzzKeys[1]},
                      {dataFile(1, vcard::kStandardDataFile, vcard::kCommEnciphered, 0x0000, 32),
                       dataFile(2, vcard::kStandardDataFile, vcard::kCommMaced, 0x0000, 32),
                       dataFile(3, vcard::kStandardDataFile, vcard::kCommEnciphered, 0xE1F0, 32),
                       dataFile(4, vcard::kBackupDataFile, vcard::kCommPlain, 0xEEEE, 32),
                       dataFile(5, vcard::kBackupDataFile, vcard::kCommEnciphered, 0x1111, 64)}};
    card.applications = {masterApplication(), std::move(other)};
    return withMemoryAccounted(std::move(card));
}

CardState startCard(uint8_t start) {
    switch (start & 3) {
        case 0:
            return factoryCard();
        case 1:
            return masterCard(0);
        case 2:
            return masterCard(3);
        default:
            return applicationsCard();
    }
}

CheckedCard::CheckedCard(CardState start)
    : state_(std::move(start)), card_(state_), memory_(state_.freeMemory + memoryTaken(state_)) {
    // RndB fixed, so that a run replays and recorded answers stay valid.
    card_.setRandomSource([](std::span<uint8_t> out) {
        std::fill(out.begin(), out.end(), 0xB7);
        return true;
    });
}

std::vector<uint8_t> CheckedCard::exchange(std::span<const uint8_t> command) {
    const CardState before = state_;
    vcard::VirtualCard::Answer answer = card_.process(command);
    require(answer.stateChanged == (state_ != before), "the card says when its state changed");
    require(answer.bytes.size() >= 2, "every answer has a status word");
    require(isGetData(command) || answer.bytes.size() <= desfire::kMaxResponseData + 2,
            "an answer fits one frame");
    require(state_.freeMemory + memoryTaken(state_) == memory_, "the card's memory adds up");
    if (answer.stateChanged) {
        std::string error;
        const std::optional<CardState> saved =
            vcard::parseCardJson(vcard::formatCardJson(state_), error);
        if (!saved || *saved != state_) {
            require(false, "the card file holds the card's state: " + error);
        }
    }
    if (recording_ != nullptr) {
        require(answer.bytes.size() < kScriptNoAnswer, "a recorded answer fits its length byte");
        recording_->push_back(static_cast<uint8_t>(answer.bytes.size()));
        recording_->insert(recording_->end(), answer.bytes.begin(), answer.bytes.end());
    }
    return answer.bytes;
}

std::unique_ptr<marlix::Transport> checkedCardTransport(CheckedCard& checked) {
    return std::make_unique<CheckedCardTransport>(checked);
}

std::unique_ptr<marlix::Transport> scriptedTransport(ByteReader& answers) {
    return std::make_unique<ScriptedTransport>(answers);
}

}  // namespace zendor::fuzz
