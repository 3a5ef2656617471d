// Virtual card files for tests: a DESFire with a known UID, or any variation of it.
#pragma once

#include <string>

#include "support/temp_dir.h"
#include "vcard/card_json.h"
#include "vcard/card_state.h"

namespace zendor::test {

inline vcard::CardState knownDesfire() {
    vcard::CardState card;
    card.uid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    return card;
}

inline void writeCard(const std::string& path, const vcard::CardState& card) {
    writeFile(path, vcard::formatCardJson(card));
}

}  // namespace zendor::test
