// The DESFire command library's interface. Every call returns a signed 16-bit status: 0 success,
// a status of the reader layer (marlix.h), one of this library's own below, or -(1000 + s) when
// the card answered with DESFire status byte s. Any command ends a running authentication when it
// fails. Every call that reaches the card can also fail with:
//   MARLIX_E_NO_READER (no activated card), MARLIX_E_NO_ANSWER (the card left the field),
//   MARLIX_E_CARD_REMOVED, MARLIX_E_BAD_ANSWER (malformed or oversize answer, broken chaining),
//   MARLIX_E_ISO_STATUS (status word not 91xx), MARLIX_E_CARD_FILE (virtual card file not
//   written), MARLIX_E_READER, MARLIX_E_INTERNAL, DESFIRE_E_LENGTH (the card counted the bytes
//   otherwise).
#pragma once

#include <cstdint>

#include "card/marlix.h"

extern "C" {

// Statuses of the DESFire layer: our own checks of the protocol, then the card's status bytes
// that callers tell apart, each -(1000 + s).
enum DesFireStatus {
    DESFIRE_E_CRYPTOGRAM_CHECK = -106,   // the card's cryptogram failed its CRC or padding check
    DESFIRE_E_NOT_AUTHENTICATED = -109,  // a MACed or enciphered transfer without a session key
    DESFIRE_E_UNSUPPORTED_COMM = -111,   // a communication setting other than 0, 1 and 3

    DESFIRE_CARD_STATUS_BASE = -1000,         // -(1000 + s) for the card's status byte s
    DESFIRE_E_OUT_OF_EEPROM = -1014,          // 0x0E no memory left for the application or file
    DESFIRE_E_INTEGRITY = -1030,              // 0x1E the card found a CRC or padding wrong
    DESFIRE_E_NO_SUCH_KEY = -1064,            // 0x40
    DESFIRE_E_LENGTH = -1126,                 // 0x7E
    DESFIRE_E_PERMISSION_DENIED = -1157,      // 0x9D the key or access settings forbid it
    DESFIRE_E_PARAMETER = -1158,              // 0x9E
    DESFIRE_E_APPLICATION_NOT_FOUND = -1160,  // 0xA0
    DESFIRE_E_AUTHENTICATION = -1174,         // 0xAE wrong key, or not authenticated as needed
    DESFIRE_E_BOUNDARY = -1190,               // 0xBE beyond the end of the file
    DESFIRE_E_COUNT = -1206,                  // 0xCE no room for another application
    DESFIRE_E_DUPLICATE = -1222,              // 0xDE the AID or file number exists
    DESFIRE_E_FILE_NOT_FOUND = -1240,         // 0xF0
};

// Communication settings of a file and of a transfer: how its data travels.
enum DesFireComm {
    DESFIRE_COMM_PLAIN = 0,
    DESFIRE_COMM_MACED = 1,       // the data, then a 4-byte MAC under the session key
    DESFIRE_COMM_ENCIPHERED = 3,  // the data with its CRC, enciphered under the session key
};

// File information of GetFileSettings; the first field is the size of a data file.
typedef struct DesFireFileInfo {
    uint32_t size;
} DesFireFileInfo;

// Points the library at the card with this identifier; every later command goes to it.
// Fails: MARLIX_E_NO_READER (no activated card).
int16_t DesFireCard_SelectCid(uint8_t cid);

// Selects an application (0: the card level).
// Fails: MARLIX_E_BAD_ARGUMENT (an AID above 24 bits), DESFIRE_E_APPLICATION_NOT_FOUND.
int16_t DesFireCard_SelectApplication(uint32_t aid);

// Legacy authentication with a 16-byte DES/2K3DES key (single DES when both halves are equal).
// Fails: MARLIX_E_BAD_ARGUMENT (null key), DESFIRE_E_AUTHENTICATION (wrong key),
//   DESFIRE_E_NO_SUCH_KEY, DESFIRE_E_CRYPTOGRAM_CHECK (the card's proof did not check out: it does
//   not hold this key).
int16_t DesFireCard_Authenticate(uint8_t keyNo, const uint8_t* key);

// Changes key keyNo to newKey. oldKey: null to change the key used to authenticate; otherwise the
// current value of the other key being changed.
// Fails: MARLIX_E_BAD_ARGUMENT (null newKey, or null oldKey for another key),
//   DESFIRE_E_NOT_AUTHENTICATED, DESFIRE_E_AUTHENTICATION (the key settings want another key),
//   DESFIRE_E_PERMISSION_DENIED (keys or master key frozen), DESFIRE_E_NO_SUCH_KEY,
//   DESFIRE_E_INTEGRITY (oldKey is not the key's current value).
int16_t DesFireCard_ChangeKey(uint8_t keyNo, const uint8_t* newKey, const uint8_t* oldKey);

// Deletes every application and file (card level, authenticated with the card master key).
// Fails: DESFIRE_E_AUTHENTICATION (not so authenticated, or an application selected).
int16_t DesFireCard_FormatPICC(void);

// Creates an application whose keys are all the all-zero key.
// Fails: MARLIX_E_BAD_ARGUMENT (an AID above 24 bits), DESFIRE_E_DUPLICATE, DESFIRE_E_COUNT,
//   DESFIRE_E_OUT_OF_EEPROM, DESFIRE_E_PARAMETER (AID 0 or a key count out of 1-14),
//   DESFIRE_E_AUTHENTICATION (the card master key is needed), DESFIRE_E_PERMISSION_DENIED (not at
//   the card level).
int16_t DesFireCard_CreateApplication(uint32_t aid, uint8_t keySettings, uint8_t keyCount);

// Creates a standard data file in the selected application.
// Fails: MARLIX_E_BAD_ARGUMENT (a size above 24 bits), DESFIRE_E_DUPLICATE,
//   DESFIRE_E_OUT_OF_EEPROM, DESFIRE_E_PARAMETER (file number, setting or size),
//   DESFIRE_E_AUTHENTICATION (the application master key is needed),
//   DESFIRE_E_PERMISSION_DENIED (no application selected).
int16_t DesFireCard_CreateStdDataFile(uint8_t fileNo, uint8_t comm, uint16_t accessRights,
                                      uint32_t size);

// Describes a file of the selected application.
// Fails: MARLIX_E_BAD_ARGUMENT (a null pointer), MARLIX_E_BAD_ANSWER (too short for its type),
//   DESFIRE_E_FILE_NOT_FOUND, DESFIRE_E_AUTHENTICATION, DESFIRE_E_PERMISSION_DENIED.
int16_t DesFireCard_GetFileSettings(uint8_t fileNo, uint8_t* fileType, uint8_t* comm,
                                    uint16_t* accessRights, DesFireFileInfo* info);

// Reads length bytes at offset into buffer; *bytesRead receives the count. comm 3 deciphers and
// checks the card's CRC and padding, comm 1 its MAC; nothing is handed back when they fail.
// Fails: MARLIX_E_BAD_ARGUMENT (a null pointer, length 0, a field above 24 bits),
//   DESFIRE_E_UNSUPPORTED_COMM, DESFIRE_E_NOT_AUTHENTICATED (comm 1 and 3),
//   DESFIRE_E_CRYPTOGRAM_CHECK, DESFIRE_E_FILE_NOT_FOUND, DESFIRE_E_AUTHENTICATION and
//   DESFIRE_E_PERMISSION_DENIED (no read right), DESFIRE_E_BOUNDARY (beyond the end of the file).
int16_t DesFireCard_ReadData(uint8_t fileNo, uint8_t comm, uint32_t offset, uint32_t length,
                             uint8_t* buffer, uint32_t* bytesRead);

// Writes length bytes of data at offset, enciphered (comm 3), MACed (1) or plain (0); chained over
// as many frames as the card's frame size needs.
// Fails: MARLIX_E_BAD_ARGUMENT (a null pointer, length 0, a field above 24 bits),
//   DESFIRE_E_UNSUPPORTED_COMM, DESFIRE_E_NOT_AUTHENTICATED (comm 1 and 3),
//   DESFIRE_E_FILE_NOT_FOUND, DESFIRE_E_AUTHENTICATION and DESFIRE_E_PERMISSION_DENIED (no write
//   right), DESFIRE_E_BOUNDARY (beyond the end of the file), DESFIRE_E_INTEGRITY (the card found
//   the MAC or CRC wrong).
int16_t DesFireCard_WriteData(uint8_t fileNo, uint8_t comm, uint32_t offset, uint32_t length,
                              const uint8_t* data);

// Commits the writes to backup data files of the selected application. The card's "no changes"
// answer counts as success. Fails: only as every call can.
int16_t DesFireCard_CommitTransaction(void);

}  // extern "C"
