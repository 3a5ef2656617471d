#include "vcard/virtual_card.h"

#include <openssl/rand.h>

#include "desfire/protocol.h"

namespace zendor::vcard {

struct VirtualCard::Session {
    RandomSource random;
};

namespace {

std::vector<uint8_t> statusWord(uint8_t sw1, uint8_t sw2) {
    return {sw1, sw2};
}

}  // namespace

VirtualCard::VirtualCard(CardState& state) : state_(state), session_(std::make_unique<Session>()) {
    session_->random = [](std::span<uint8_t> out) {
        RAND_bytes(out.data(), static_cast<int>(out.size()));
    };
}

VirtualCard::~VirtualCard() = default;

void VirtualCard::setRandomSource(RandomSource source) {
    session_->random = std::move(source);
}

void VirtualCard::reset() {}

VirtualCard::Answer VirtualCard::process(std::span<const uint8_t> apdu) {
    Answer answer;
    // GET DATA of the PC/SC reader: P1 00 is the UID; the ATS variant is not offered.
    if (apdu.size() >= 4 && apdu[0] == 0xFF && apdu[1] == 0xCA) {
        if (apdu[2] != 0x00 || apdu[3] != 0x00) {
            answer.bytes = statusWord(0x6A, 0x81);
            return answer;
        }
        answer.bytes.assign(state_.uid.begin(), state_.uid.end());
        answer.bytes.push_back(0x90);
        answer.bytes.push_back(0x00);
        return answer;
    }
    if (apdu.size() < 4 || apdu[0] != desfire::kClaNative) {
        answer.bytes = statusWord(0x6E, 0x00);
        return answer;
    }
    answer.bytes = statusWord(desfire::kSw1Desfire, desfire::st::kIllegalCommand);
    return answer;
}

}  // namespace zendor::vcard
