// Statuses of our own, for faults that are not a DESFire status byte. A card status s is
// reported as -(1000 + s); ours stay out of -1000..-1255 and never repeat.
#pragma once

#include <cstdint>
#include <string_view>

namespace zendor::marlix {

enum Status : int16_t {
    kOk = 0,
    kNoCard = -1,              // no card in the field / on the reader
    kNoReader = -101,          // no reader open, or the command needs an activated card
    kNoAnswer = -102,          // the card did not answer (it left the field)
    kCardRemoved = -103,       // the reader reports the card removed
    kBadAnswer = -104,         // an answer too short, too long or of the wrong length
    kIsoStatus = -105,         // an ISO status word other than 91xx
    kCryptogramCheck = -106,   // the card's cryptogram failed its CRC or padding check
    kCardBusy = -107,          // the virtual card file is held by another connection
    kCardFileError = -108,     // the virtual card file could not be written
    kNotAuthenticated = -109,  // an enciphered transfer without a session key
    kBadArgument = -110,       // a null buffer or a length out of range
    kUnsupportedComm = -111,   // a communication setting other than plain, MACed, enciphered
    kReaderError = -112,       // any other fault of the PC/SC service or the reader
    kInternalError = -114,     // the library itself failed: no random numbers, cipher, memory
    kReaderBusy = -120,        // another program holds the card in the PC/SC reader
    kNotDesfire = -131,        // the card is not a DESFire
};

// Card status byte s as a library status.
constexpr int16_t cardStatus(uint8_t s) {
    return static_cast<int16_t>(-(1000 + s));
}

// A short name of a status, for diagnostics and documentation.
std::string_view statusName(int16_t status);

}  // namespace zendor::marlix
