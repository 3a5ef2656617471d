// The seam between the library and the card: one APDU transport per open reader, either a PC/SC
// reader or the virtual card in process.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zendor::marlix {

// What activation tells about the card.
struct Activation {
    std::array<uint8_t, 2> atqa{};  // in the order the card sends them
    std::array<uint8_t, 10> uid{};
    uint8_t uidLength = 0;
    uint8_t sak = 0;
};

// A file the transport keeps while it is open (MarlixFileRole, card/marlix.h).
struct KeptFile {
    uint8_t role = 0;
    std::string path;
};

class Transport {
  public:
    virtual ~Transport() = default;

    // Brings one card into the field and identifies it. 0, kNoCard, kNotDesfire or another
    // status of our own (status.h).
    virtual int16_t activate(Activation& out) = 0;

    // Enters ISO/IEC 14443-4; fills ats with at most ats.size() bytes and sets length.
    virtual int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) = 0;

    // Sends one command APDU; on 0, response holds the answer with its two status bytes.
    // kNoAnswer, kCardRemoved, kBadAnswer or kReaderError on faults.
    virtual int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) = 0;

    // Lets the card go (ends the connection to it); the reader stays open.
    virtual void deselect() = 0;

    // The files behind this reader that nothing else of the run may write: none for a reader.
    virtual std::vector<KeptFile> keptFiles() const { return {}; }
};

}  // namespace zendor::marlix
