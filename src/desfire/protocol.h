// DESFire native command codes and status bytes, shared by the host library and the virtual card.
#pragma once

#include <cstdint>

namespace zendor::desfire {

constexpr uint8_t kClaNative = 0x90;  // ISO 7816-4 wrapping of native commands
constexpr uint8_t kSw1Desfire = 0x91;

// Largest data part of one wrapped frame: host to card (Lc) and card to host (before 91 st).
constexpr size_t kMaxCommandData = 54;
constexpr size_t kMaxResponseData = 59;

namespace ins {
constexpr uint8_t kAuthenticate = 0x0A;
constexpr uint8_t kChangeKeySettings = 0x54;
constexpr uint8_t kGetKeySettings = 0x45;
constexpr uint8_t kChangeKey = 0xC4;
constexpr uint8_t kGetKeyVersion = 0x64;
constexpr uint8_t kCreateApplication = 0xCA;
constexpr uint8_t kDeleteApplication = 0xDA;
constexpr uint8_t kGetApplicationIds = 0x6A;
constexpr uint8_t kSelectApplication = 0x5A;
constexpr uint8_t kFormatPicc = 0xFC;
constexpr uint8_t kGetVersion = 0x60;
constexpr uint8_t kGetFreeMemory = 0x6E;
constexpr uint8_t kGetFileIds = 0x6F;
constexpr uint8_t kGetFileSettings = 0xF5;
constexpr uint8_t kCreateStdDataFile = 0xCD;
constexpr uint8_t kCreateBackupDataFile = 0xCB;
constexpr uint8_t kDeleteFile = 0xDF;
constexpr uint8_t kReadData = 0xBD;
constexpr uint8_t kWriteData = 0x3D;
constexpr uint8_t kCommitTransaction = 0xC7;
constexpr uint8_t kAbortTransaction = 0xA7;
constexpr uint8_t kAdditionalFrame = 0xAF;
}  // namespace ins

namespace st {
constexpr uint8_t kOk = 0x00;
constexpr uint8_t kNoChanges = 0x0C;
constexpr uint8_t kOutOfEeprom = 0x0E;
constexpr uint8_t kIllegalCommand = 0x1C;
constexpr uint8_t kIntegrityError = 0x1E;
constexpr uint8_t kNoSuchKey = 0x40;
constexpr uint8_t kLengthError = 0x7E;
constexpr uint8_t kPermissionDenied = 0x9D;
constexpr uint8_t kParameterError = 0x9E;
constexpr uint8_t kApplicationNotFound = 0xA0;
constexpr uint8_t kAuthenticationError = 0xAE;
constexpr uint8_t kAdditionalFrame = 0xAF;
constexpr uint8_t kBoundaryError = 0xBE;
constexpr uint8_t kCommandAborted = 0xCA;
constexpr uint8_t kCountError = 0xCE;
constexpr uint8_t kDuplicateError = 0xDE;
constexpr uint8_t kFileNotFound = 0xF0;
}  // namespace st

}  // namespace zendor::desfire
