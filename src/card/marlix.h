// The reader library's interface: open a reader, activate one ISO/IEC 14443-A card, enter
// ISO/IEC 14443-4, deselect, close. Statuses are signed 16-bit, 0 is success.
#pragma once

#include <cstdint>

extern "C" {

// Opens the reader named by deviceName (null: the system's default reader).
// Non-zero: no reader could be opened on that device.
int16_t MARLIX_ReaderOpen(const char* deviceName);

// Activates one card. atqa receives 2 bytes in the order the card sends them; uid is a buffer
// of *uidLength bytes (in: capacity, out: UID length); sak receives the SAK.
// -1: no card in the field; -131: a card that is not a DESFire; other non-zero: activation error.
int16_t MARLIX_TclA_ActivateAny(uint8_t* atqa, uint8_t* uid, uint8_t* uidLength, uint8_t* sak);

// Requests the ATS of the activated card (cid: card identifier). ats is a buffer of *atsLength
// bytes (in: capacity, out: ATS length). 0: the card speaks ISO/IEC 14443-4.
int16_t MARLIX_TclA_GetAts(uint8_t cid, uint8_t* ats, uint8_t* atsLength);

// Deselects the card.
int16_t MARLIX_TclA_Deselect(uint8_t cid);

// Closes the reader.
int16_t MARLIX_ReaderClose(void);

}  // extern "C"
