// The DESFire command library's interface. Every call returns a signed 16-bit status: 0 success,
// -(1000 + s) when the card answered with DESFire status byte s, other negative values for
// faults of the reader or the protocol (listed in marlix/status.h). Every call can also fail with:
//   -101  no activated card          -102  no answer (the card left the field)
//   -103  card removed               -104  malformed or oversize answer
//   -105  ISO status word not 91xx   -110  a null pointer or a length out of range
// and any command ends a running authentication when it fails.
#pragma once

#include <cstdint>

extern "C" {

// File information of GetFileSettings; the first field is the size of a data file.
typedef struct DesFireFileInfo {
    uint32_t size;
} DesFireFileInfo;

// Points the library at the card with this identifier; every later command goes to it.
int16_t DesFireCard_SelectCid(uint8_t cid);

// Selects an application (0: the card level). -1160: no such application.
int16_t DesFireCard_SelectApplication(uint32_t aid);

// Legacy authentication with a 16-byte DES/2K3DES key (single DES when both halves are equal).
// -1174: wrong key; -1064 (0x40): no such key; -106: the card's proof did not check out.
int16_t DesFireCard_Authenticate(uint8_t keyNo, const uint8_t* key);

// Changes key keyNo to newKey. oldKey: null to change the key used to authenticate; otherwise the
// current value of the other key being changed.
int16_t DesFireCard_ChangeKey(uint8_t keyNo, const uint8_t* newKey, const uint8_t* oldKey);

// Deletes every application and file (card level, authenticated with the card master key).
int16_t DesFireCard_FormatPICC(void);

// Creates an application whose keys are all the all-zero key.
int16_t DesFireCard_CreateApplication(uint32_t aid, uint8_t keySettings, uint8_t keyCount);

// Creates a standard data file in the selected application.
int16_t DesFireCard_CreateStdDataFile(uint8_t fileNo, uint8_t comm, uint16_t accessRights,
                                      uint32_t size);

// Describes a file of the selected application. -1240: no such file.
int16_t DesFireCard_GetFileSettings(uint8_t fileNo, uint8_t* fileType, uint8_t* comm,
                                    uint16_t* accessRights, DesFireFileInfo* info);

// Reads length bytes at offset into buffer; *bytesRead receives the count. comm 3 deciphers and
// checks the card's CRC and padding (-106 on a mismatch, nothing handed back); comm 3 and 1 need
// an authentication (-109).
int16_t DesFireCard_ReadData(uint8_t fileNo, uint8_t comm, uint32_t offset, uint32_t length,
                             uint8_t* buffer, uint32_t* bytesRead);

// Writes length bytes of data at offset, enciphered (comm 3), MACed (1) or plain (0); chained over
// as many frames as the card's frame size needs. -1157: no write right; -1214 (0xBE): beyond the
// end of the file.
int16_t DesFireCard_WriteData(uint8_t fileNo, uint8_t comm, uint32_t offset, uint32_t length,
                              const uint8_t* data);

// Commits the writes to backup data files of the selected application. The card's "no changes"
// answer counts as success.
int16_t DesFireCard_CommitTransaction(void);

}  // extern "C"
