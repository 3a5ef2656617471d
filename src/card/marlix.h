// The reader library's interface: open a reader, activate one ISO/IEC 14443-A card, enter
// ISO/IEC 14443-4, deselect, close. Statuses are signed 16-bit, 0 is success.
#pragma once

#include <cstdint>

extern "C" {

// Statuses of the reader layer. Every call also answers MARLIX_E_INTERNAL when the library itself
// fails (no random numbers, cipher, memory) rather than let anything escape. The DESFire library
// (marlix_desfire.h) returns them too, beside its own and the card's. None falls in -1000..-1255,
// the band of the card's status bytes.
enum MarlixStatus {
    MARLIX_OK = 0,
    MARLIX_E_NO_CARD = -1,          // no card in the field / on the reader
    MARLIX_E_NO_READER = -101,      // no reader open, or the command needs an activated card
    MARLIX_E_NO_ANSWER = -102,      // the card did not answer (it left the field)
    MARLIX_E_CARD_REMOVED = -103,   // the reader reports the card removed
    MARLIX_E_BAD_ANSWER = -104,     // an answer too short, too long or of the wrong length
    MARLIX_E_ISO_STATUS = -105,     // an ISO status word other than 91xx
    MARLIX_E_CARD_BUSY = -107,      // the virtual card file is held by another connection
    MARLIX_E_CARD_FILE = -108,      // the virtual card file could not be read or written
    MARLIX_E_BAD_ARGUMENT = -110,   // a null buffer or a length out of range
    MARLIX_E_READER = -112,         // any other fault of the PC/SC service or the reader
    MARLIX_E_INTERNAL = -114,       // the library itself failed: random numbers, cipher, memory
    MARLIX_E_READER_BUSY = -120,    // another program holds the card in the PC/SC reader
    MARLIX_E_ACCESS_DENIED = -121,  // the PC/SC service refuses this user the card
    MARLIX_E_NOT_DESFIRE = -131,    // the card is not a DESFire
};

// Opens the reader named by deviceName (null: the system's default reader).
// Fails: MARLIX_E_NO_READER (no reader could be opened on that device).
int16_t MARLIX_ReaderOpen(const char* deviceName);

// Activates one card. atqa receives 2 bytes in the order the card sends them; uid is a buffer
// of *uidLength bytes (in: capacity, out: UID length); sak receives the SAK.
// Fails: MARLIX_E_NO_READER (none open), MARLIX_E_BAD_ARGUMENT (a null pointer),
//   MARLIX_E_NO_CARD (no card in the field), MARLIX_E_NOT_DESFIRE (a card that is not a DESFire),
//   MARLIX_E_READER_BUSY (another program holds it), MARLIX_E_ACCESS_DENIED (the PC/SC service
//   will not give this user the card), MARLIX_E_CARD_BUSY and MARLIX_E_CARD_FILE
//   (virtual card file held elsewhere or unusable), MARLIX_E_ISO_STATUS (the reader refused the
//   UID), MARLIX_E_BAD_ANSWER, MARLIX_E_NO_ANSWER, MARLIX_E_CARD_REMOVED, MARLIX_E_READER.
int16_t MARLIX_TclA_ActivateAny(uint8_t* atqa, uint8_t* uid, uint8_t* uidLength, uint8_t* sak);

// Requests the ATS of the activated card (cid: card identifier). ats is a buffer of *atsLength
// bytes (in: capacity, out: ATS length). 0: the card speaks ISO/IEC 14443-4.
// Fails: MARLIX_E_NO_READER (no activated card), MARLIX_E_BAD_ARGUMENT, MARLIX_E_NO_CARD (the card
//   was let go).
int16_t MARLIX_TclA_GetAts(uint8_t cid, uint8_t* ats, uint8_t* atsLength);

// Deselects the card.
// Fails: MARLIX_E_NO_READER (none open).
int16_t MARLIX_TclA_Deselect(uint8_t cid);

// Closes the reader; closing none is success.
int16_t MARLIX_ReaderClose(void);

// What a file that the open reader keeps is to it.
enum MarlixFileRole {
    MARLIX_FILE_CARD = 1,  // the file a virtual card is kept in
    MARLIX_FILE_LOCK = 2,  // the lock file that keeps other connections off that card
};

// One of the files the open reader keeps (index 0, 1, ...), so that a program can leave them
// alone: the card's file and its lock file for a virtual card, none for a PC/SC reader. role
// receives a MarlixFileRole; path is a buffer of *pathLength bytes (in: capacity, out: length of
// the name) that receives the name and a final NUL. Past the last file *pathLength is 0.
// Fails: MARLIX_E_NO_READER (none open), MARLIX_E_BAD_ARGUMENT (a null pointer, or a buffer too
//   small for the name and its NUL).
int16_t MARLIX_ReaderGetFile(uint8_t index, uint8_t* role, char* path, uint16_t* pathLength);

}  // extern "C"
