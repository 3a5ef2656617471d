// The connection to the reader and the one DESFire card on it, for the whole run.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zendor::card {

// The card identifier the tool gives the card: the ATS request, the DESFire library and the
// deselect all use it.
constexpr uint8_t kCardIdentifier = 0xFF;
constexpr size_t kCardUidSize = 7;

// Opens the reader on deviceName (null: the library's default), activates the card, accepts it
// only as a DESFire (UID byte 0 = 0x04, ATQA 44 03), enters ISO/IEC 14443-4 and points the DESFire
// library at it; stores the 7-byte UID into uid unless uid is null. Prints one line on failure:
//   "Reader %s not found"          the reader could not be opened (nothing without a name)
//   "Card found, not a Desfire"    activation said so, or the UID/ATQA test failed
//   "No card on the reader"        no card in the field
//   "Card select error (%d)"       any other activation status
//   "Desfire activation failed (%d)"  the ATS request failed
// Succeeds at once, touching nothing, when the connection is already open.
bool openReaderConnection(uint8_t* uid, const char* deviceName);

// Deselects the card and closes the reader when the connection is open. Always succeeds.
bool closeReaderConnection();

// Whether the connection is open.
bool readerConnectionIsOpen();

}  // namespace zendor::card
