// The virtual card against any command a host may send. Input: a start byte (bits 0-1 the card,
// bits 2-3 who is authenticated), then items: a byte below 0x80 is the length of a raw APDU that
// follows; a byte from 0x80 is, less 0x80, the first byte of an operation of the card library
// (host_operations.h) whose second byte follows. The library produces the enciphered and MACed
// frames that random bytes never would. Every frame is checked by CheckedCard.
#include <cstdint>

#include "card/marlix_desfire.h"
#include "fuzz/checked_card.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/host_operations.h"

namespace zendor::fuzz {
namespace {

// Card level with the card's master key, the Master Card application's key 0, or key 1 of
// application 123456; a start card that lacks them simply stays unauthenticated.
void authenticate(uint8_t start, const vcard::CardState& card) {
    switch (start >> 2 & 3) {
        case 1:
            DesFireCard_SelectApplication(0);
            DesFireCard_Authenticate(0, card.piccKey.data());
            break;
        case 2:
            DesFireCard_SelectApplication(0x5A4D43);
            DesFireCard_Authenticate(0, kFuzzKeys[1].data());
            break;
        case 3:
            DesFireCard_SelectApplication(0x123456);
            DesFireCard_Authenticate(1, kFuzzKeys[1].data());
            break;
        default:
            break;
    }
}

}  // namespace
}  // namespace zendor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor::fuzz;
    ByteReader input(std::span(data, size));
    const uint8_t start = input.byte();
    CheckedCard checked(startCard(start));
    openFuzzReader([&checked] { return checkedCardTransport(checked); });
    authenticate(start, checked.state());
    while (!input.empty()) {
        const uint8_t item = input.byte();
        if (item < 0x80) {
            checked.exchange(input.bytes(item));
        } else {
            runHostOperation(static_cast<uint8_t>(item - 0x80), input.byte());
        }
    }
    closeFuzzReader();
    return 0;
}
