// The library's statuses under the names its own code uses, and the one table that names and
// explains each failure. Every number is the one the two C interface headers give it; the
// manual page and docs/readers.md list the table's texts, and a test holds all of them together.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "card/marlix.h"
#include "card/marlix_desfire.h"

namespace zendor::marlix {

enum Status : int16_t {
    kOk = MARLIX_OK,
    kNoCard = MARLIX_E_NO_CARD,
    kNoReader = MARLIX_E_NO_READER,
    kNoAnswer = MARLIX_E_NO_ANSWER,
    kCardRemoved = MARLIX_E_CARD_REMOVED,
    kBadAnswer = MARLIX_E_BAD_ANSWER,
    kIsoStatus = MARLIX_E_ISO_STATUS,
    kCryptogramCheck = DESFIRE_E_CRYPTOGRAM_CHECK,
    kCardBusy = MARLIX_E_CARD_BUSY,
    kCardFileError = MARLIX_E_CARD_FILE,
    kNotAuthenticated = DESFIRE_E_NOT_AUTHENTICATED,
    kBadArgument = MARLIX_E_BAD_ARGUMENT,
    kUnsupportedComm = DESFIRE_E_UNSUPPORTED_COMM,
    kReaderError = MARLIX_E_READER,
    kInternalError = MARLIX_E_INTERNAL,
    kReaderBusy = MARLIX_E_READER_BUSY,
    kAccessDenied = MARLIX_E_ACCESS_DENIED,
    kNotDesfire = MARLIX_E_NOT_DESFIRE,
};

// Card status byte s as a library status.
constexpr int16_t cardStatus(uint8_t s) {
    return static_cast<int16_t>(DESFIRE_CARD_STATUS_BASE - s);
}

struct StatusRow {
    int16_t status;
    std::string_view name;  // as the interface header names it
    std::string_view text;  // one sentence, as the manual page and docs/readers.md explain it
};

// Every failure status the interface headers name: the library's own, then the card's status
// bytes that callers tell apart.
std::span<const StatusRow> statusTable();

// The row of a status; null for success, a card status byte without a name, or an unknown number.
const StatusRow* findStatus(int16_t status);

}  // namespace zendor::marlix
