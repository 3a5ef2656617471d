// The statuses' names and texts, for diagnostics and documentation.
#include "marlix/status.h"

#include <array>

namespace zendor::marlix {
namespace {

constexpr std::array<StatusRow, 29> kStatuses{{
    {MARLIX_E_NO_CARD, "MARLIX_E_NO_CARD",
     "No card in the field or on the reader (without a reader name, on any reader)."},
    {MARLIX_E_NO_READER, "MARLIX_E_NO_READER",
     "No reader open, or the command needs an activated card."},
    {MARLIX_E_NO_ANSWER, "MARLIX_E_NO_ANSWER",
     "The card did not answer: it left the field during the command, the reader could not "
     "complete the exchange, or the answer was shorter than two bytes."},
    {MARLIX_E_CARD_REMOVED, "MARLIX_E_CARD_REMOVED",
     "The reader reports that the card was removed."},
    {MARLIX_E_BAD_ANSWER, "MARLIX_E_BAD_ANSWER",
     "A malformed answer: too short, too long, or of the wrong length."},
    {MARLIX_E_ISO_STATUS, "MARLIX_E_ISO_STATUS",
     "An ISO status word other than 91xx: the reader or a card that is not a DESFire refused the "
     "command (for example GET DATA)."},
    {DESFIRE_E_CRYPTOGRAM_CHECK, "DESFIRE_E_CRYPTOGRAM_CHECK",
     "The card's cryptogram failed its CRC or padding check."},
    {MARLIX_E_CARD_BUSY, "MARLIX_E_CARD_BUSY",
     "The virtual card file is held by another connection."},
    {MARLIX_E_CARD_FILE, "MARLIX_E_CARD_FILE",
     "The virtual card file could not be read or written."},
    {DESFIRE_E_NOT_AUTHENTICATED, "DESFIRE_E_NOT_AUTHENTICATED",
     "A MACed or enciphered transfer without authentication."},
    {MARLIX_E_BAD_ARGUMENT, "MARLIX_E_BAD_ARGUMENT",
     "A bad argument: a missing buffer or a length out of range."},
    {DESFIRE_E_UNSUPPORTED_COMM, "DESFIRE_E_UNSUPPORTED_COMM",
     "A communication setting other than plain, MACed or enciphered."},
    {MARLIX_E_READER, "MARLIX_E_READER", "Any other fault of the PC/SC service or the reader."},
    {MARLIX_E_INTERNAL, "MARLIX_E_INTERNAL",
     "The card library itself failed (random numbers, cipher, memory)."},
    {MARLIX_E_READER_BUSY, "MARLIX_E_READER_BUSY",
     "Another program still held the card in the PC/SC reader after about two "
     "seconds of waiting."},
    {MARLIX_E_ACCESS_DENIED, "MARLIX_E_ACCESS_DENIED",
     "The PC/SC service refused this user the card (its access rules)."},
    {MARLIX_E_NOT_DESFIRE, "MARLIX_E_NOT_DESFIRE", "The card is not a DESFire."},

    {DESFIRE_E_OUT_OF_EEPROM, "DESFIRE_E_OUT_OF_EEPROM", "0x0E, out of EEPROM: the card is full."},
    {DESFIRE_E_INTEGRITY, "DESFIRE_E_INTEGRITY",
     "0x1E, integrity error: the card found a CRC, MAC or padding wrong."},
    {DESFIRE_E_NO_SUCH_KEY, "DESFIRE_E_NO_SUCH_KEY", "0x40, no such key in the application."},
    {DESFIRE_E_LENGTH, "DESFIRE_E_LENGTH",
     "0x7E, length error: the card counted the bytes otherwise."},
    {DESFIRE_E_PERMISSION_DENIED, "DESFIRE_E_PERMISSION_DENIED", "0x9D, permission denied."},
    {DESFIRE_E_PARAMETER, "DESFIRE_E_PARAMETER",
     "0x9E, parameter error: a file number, setting, size or key count out of range."},
    {DESFIRE_E_APPLICATION_NOT_FOUND, "DESFIRE_E_APPLICATION_NOT_FOUND",
     "0xA0, application not found."},
    {DESFIRE_E_AUTHENTICATION, "DESFIRE_E_AUTHENTICATION",
     "0xAE, authentication error: wrong key."},
    {DESFIRE_E_BOUNDARY, "DESFIRE_E_BOUNDARY", "0xBE, boundary error: beyond the end of the file."},
    {DESFIRE_E_COUNT, "DESFIRE_E_COUNT", "0xCE, count error: no room for another application."},
    {DESFIRE_E_DUPLICATE, "DESFIRE_E_DUPLICATE",
     "0xDE, duplicate: the application or file exists already."},
    {DESFIRE_E_FILE_NOT_FOUND, "DESFIRE_E_FILE_NOT_FOUND", "0xF0, file not found."},
}};

constexpr bool isCardStatusBand(int16_t status) {
    return status <= cardStatus(0x00) && status >= cardStatus(0xFF);
}

// Ours lie between 0 and the band of the card's status bytes, the card's inside it; none repeats.
constexpr bool rowIsSound(const StatusRow& row) {
    if (isCardStatusBand(row.status)) {
        return row.name.starts_with("DESFIRE_E_");
    }
    return row.status < 0 && row.status > cardStatus(0x00);
}

constexpr bool statusesApart() {
    for (size_t i = 0; i < kStatuses.size(); ++i) {
        if (!rowIsSound(kStatuses[i])) {
            return false;
        }
        for (size_t j = i + 1; j < kStatuses.size(); ++j) {
            if (kStatuses[j].status == kStatuses[i].status) {
                return false;
            }
        }
    }
    return true;
}
static_assert(statusesApart());

}  // namespace

std::span<const StatusRow> statusTable() {
    return kStatuses;
}

const StatusRow* findStatus(int16_t status) {
    for (const StatusRow& row : kStatuses) {
        if (row.status == status) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace zendor::marlix
