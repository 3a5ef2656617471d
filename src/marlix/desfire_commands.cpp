// The DESFire half of the card library: one small function per command, which checks its
// arguments, builds the command bytes, sends them through transceive and reads the answer.
// Padding, CRC, MAC and ciphering are desfire's protect and check steps; chaining and statuses
// live in apdu.
//
// The communication setting passed to ReadData and WriteData is the one spoken: the card uses
// plain transfer for a file reached through a free access right (E) even when the file says
// enciphered, and a caller reading such a file passes 0. Keys are sent exactly as given: their
// version bits (bit 0 of bytes 0-7) are the caller's.
#include <algorithm>
#include <optional>
#include <vector>

#include "card/marlix_desfire.h"
#include "desfire/protocol.h"
#include "desfire/secure_messaging.h"
#include "marlix/apdu.h"
#include "marlix/authentication.h"
#include "marlix/c_boundary.h"
#include "marlix/session.h"
#include "marlix/status.h"

namespace zendor::marlix {
namespace {

namespace ins = desfire::ins;
using desfire::appendLe24;
using desfire::Direction;
using desfire::kCommEnciphered;
using desfire::kCommPlain;
using desfire::kMax24;
using desfire::readLe24;

// The interface names the settings for the tool; the shared protocol code has its own.
static_assert(int{DESFIRE_COMM_PLAIN} == kCommPlain &&
              int{DESFIRE_COMM_MACED} == desfire::kCommMaced &&
              int{DESFIRE_COMM_ENCIPHERED} == kCommEnciphered);

int16_t command(uint8_t code, std::span<const uint8_t> data) {
    std::vector<uint8_t> answer;
    return transceive(code, data, answer, 0);
}

std::vector<uint8_t> dataHeader(uint8_t fileNo, uint32_t offset, uint32_t length) {
    std::vector<uint8_t> header{fileNo};
    appendLe24(header, offset);
    appendLe24(header, length);
    return header;
}

zendor::desfire::Key16 key16(const uint8_t* bytes) {
    zendor::desfire::Key16 key{};
    std::copy_n(bytes, key.size(), key.begin());
    return key;
}

bool validTransfer(uint32_t offset, uint32_t length) {
    return length > 0 && length <= kMax24 && offset <= kMax24;
}

// A card answers exactly length bytes; fewer are handed on with their count, which the caller
// checks. More are a malformed answer (transceive stops at length).
int16_t readPlain(std::span<const uint8_t> header, uint32_t length, uint8_t* buffer,
                  uint32_t* bytesRead) {
    std::vector<uint8_t> answer;
    int16_t result = transceive(ins::kReadData, header, answer, length);
    if (result == kOk) {
        std::copy(answer.begin(), answer.end(), buffer);
        *bytesRead = static_cast<uint32_t>(answer.size());
    }
    return result;
}

int16_t readSecured(uint8_t comm, std::span<const uint8_t> header, uint32_t length, uint8_t* buffer,
                    uint32_t* bytesRead) {
    const SecureSession& secure = readerSession().secure;
    if (!secure.authenticated) {
        return kNotAuthenticated;
    }
    const size_t expected = desfire::transferLength(comm, length);
    std::vector<uint8_t> answer;
    int16_t result = transceive(ins::kReadData, header, answer, expected);
    if (result != kOk) {
        return result;
    }
    std::optional<std::vector<uint8_t>> data;
    if (answer.size() != expected) {
        result = kBadAnswer;
    } else if (data = desfire::check(Direction::ToHost, comm, secure.sessionKey, answer, length);
               !data) {
        result = kCryptogramCheck;
    }
    if (result != kOk) {
        endAuthentication();
        return result;
    }
    std::copy(data->begin(), data->end(), buffer);
    *bytesRead = length;
    return kOk;
}

// Appends the data part of WriteData in the communication setting comm to payload.
// Fails: kUnsupportedComm, kNotAuthenticated (nothing appended).
int16_t writePayload(uint8_t comm, std::span<const uint8_t> data, std::vector<uint8_t>& payload) {
    if (!desfire::isCommSetting(comm)) {
        return kUnsupportedComm;
    }
    const SecureSession& secure = readerSession().secure;
    if (comm != kCommPlain && !secure.authenticated) {
        return kNotAuthenticated;
    }
    const std::vector<uint8_t> sent =
        desfire::protect(Direction::ToCard, comm, secure.sessionKey, data);
    payload.insert(payload.end(), sent.begin(), sent.end());
    return kOk;
}

}  // namespace
}  // namespace zendor::marlix

using namespace zendor::marlix;

extern "C" int16_t DesFireCard_SelectApplication(uint32_t aid) {
    return guarded([&] {
        if (aid > kMax24) {
            return static_cast<int16_t>(kBadArgument);
        }
        // Selecting ends the authentication on the card, even when the AID is the same one.
        endAuthentication();
        std::vector<uint8_t> data;
        appendLe24(data, aid);
        return command(ins::kSelectApplication, data);
    });
}

extern "C" int16_t DesFireCard_Authenticate(uint8_t keyNo, const uint8_t* key) {
    return guarded([&] {
        if (key == nullptr) {
            return static_cast<int16_t>(kBadArgument);
        }
        return authenticate(keyNo, std::span<const uint8_t, 16>(key, 16));
    });
}

extern "C" int16_t DesFireCard_ChangeKey(uint8_t keyNo, const uint8_t* newKey,
                                         const uint8_t* oldKey) {
    return guarded([&] {
        const SecureSession& secure = readerSession().secure;
        if (newKey == nullptr) {
            return static_cast<int16_t>(kBadArgument);
        }
        if (!secure.authenticated) {
            return static_cast<int16_t>(kNotAuthenticated);
        }
        // Another key than the authenticated one can only be changed knowing its value.
        const bool ownKey = (keyNo & 0x0F) == (secure.keyNo & 0x0F);
        if (!ownKey && oldKey == nullptr) {
            return static_cast<int16_t>(kBadArgument);
        }
        std::vector<uint8_t> data{keyNo};
        const std::vector<uint8_t> cryptogram = zendor::desfire::protectNewKey(
            secure.sessionKey, key16(newKey), ownKey ? std::nullopt : std::optional(key16(oldKey)));
        data.insert(data.end(), cryptogram.begin(), cryptogram.end());
        int16_t result = command(ins::kChangeKey, data);
        // The card ends the authentication once the key it rests on has changed.
        if (result == kOk && ownKey) {
            endAuthentication();
        }
        return result;
    });
}

extern "C" int16_t DesFireCard_FormatPICC(void) {
    return guarded([&] {
        int16_t result = command(ins::kFormatPicc, {});
        endAuthentication();
        return result;
    });
}

extern "C" int16_t DesFireCard_CreateApplication(uint32_t aid, uint8_t keySettings,
                                                 uint8_t keyCount) {
    return guarded([&] {
        if (aid > kMax24) {
            return static_cast<int16_t>(kBadArgument);
        }
        std::vector<uint8_t> data;
        appendLe24(data, aid);
        data.push_back(keySettings);
        data.push_back(keyCount);
        return command(ins::kCreateApplication, data);
    });
}

extern "C" int16_t DesFireCard_CreateStdDataFile(uint8_t fileNo, uint8_t comm,
                                                 uint16_t accessRights, uint32_t size) {
    return guarded([&] {
        if (size > kMax24) {
            return static_cast<int16_t>(kBadArgument);
        }
        std::vector<uint8_t> data{fileNo, comm, static_cast<uint8_t>(accessRights & 0xFF),
                                  static_cast<uint8_t>(accessRights >> 8)};
        appendLe24(data, size);
        return command(ins::kCreateStdDataFile, data);
    });
}

extern "C" int16_t DesFireCard_GetFileSettings(uint8_t fileNo, uint8_t* fileType, uint8_t* comm,
                                               uint16_t* accessRights, DesFireFileInfo* info) {
    return guarded([&] {
        if (fileType == nullptr || comm == nullptr || accessRights == nullptr || info == nullptr) {
            return static_cast<int16_t>(kBadArgument);
        }
        std::vector<uint8_t> answer;
        const uint8_t data[] = {fileNo};
        int16_t result =
            transceive(ins::kGetFileSettings, data, answer, zendor::desfire::kMaxResponseData);
        if (result != kOk) {
            return result;
        }
        // Type Comm AR(2), then for data and backup files Size(3); other types go on with
        // fields of their own, of which nothing is handed on.
        const bool dataFile = !answer.empty() && answer[0] <= 1;
        if (answer.size() < (dataFile ? 7u : 4u)) {
            return static_cast<int16_t>(kBadAnswer);
        }
        *fileType = answer[0];
        *comm = answer[1];
        *accessRights = static_cast<uint16_t>(answer[2] | answer[3] << 8);
        info->size = dataFile ? readLe24(std::span(answer).subspan(4, 3)) : 0;
        return static_cast<int16_t>(kOk);
    });
}

extern "C" int16_t DesFireCard_ReadData(uint8_t fileNo, uint8_t comm, uint32_t offset,
                                        uint32_t length, uint8_t* buffer, uint32_t* bytesRead) {
    return guarded([&] {
        if (bytesRead != nullptr) {
            *bytesRead = 0;
        }
        // Length 0 (to the end of the file) is refused: the caller's buffer has no size here.
        if (buffer == nullptr || bytesRead == nullptr || !validTransfer(offset, length)) {
            return static_cast<int16_t>(kBadArgument);
        }
        const std::vector<uint8_t> header = dataHeader(fileNo, offset, length);
        if (comm == kCommPlain) {
            return readPlain(header, length, buffer, bytesRead);
        }
        if (!zendor::desfire::isCommSetting(comm)) {
            return static_cast<int16_t>(kUnsupportedComm);
        }
        return readSecured(comm, header, length, buffer, bytesRead);
    });
}

extern "C" int16_t DesFireCard_WriteData(uint8_t fileNo, uint8_t comm, uint32_t offset,
                                         uint32_t length, const uint8_t* data) {
    return guarded([&] {
        if (data == nullptr || !validTransfer(offset, length)) {
            return static_cast<int16_t>(kBadArgument);
        }
        std::vector<uint8_t> payload = dataHeader(fileNo, offset, length);
        int16_t result = writePayload(comm, std::span(data, length), payload);
        if (result != kOk) {
            return result;
        }
        return command(ins::kWriteData, payload);
    });
}

extern "C" int16_t DesFireCard_CommitTransaction(void) {
    return guarded([&] {
        int16_t result = command(ins::kCommitTransaction, {});
        return result == cardStatus(zendor::desfire::st::kNoChanges) ? static_cast<int16_t>(kOk)
                                                                     : result;
    });
}
