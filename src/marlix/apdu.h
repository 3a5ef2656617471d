// The one transmit path of native DESFire commands: ISO 7816-4 wrapping (CLA 90), frame
// chaining with status 0xAF in both directions, and the card's status mapped to ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zendor::marlix {

// One wrapped frame, 90 INS 00 00 [Lc data] 00. On kOk, answer holds the data part of the
// response and cardStatus the DESFire status byte (SW2).
// Fails: kNoReader (no card activated), kBadArgument (more than 54 data bytes), the transport's
// faults (kNoAnswer, kCardRemoved, kReaderError, ...), kBadAnswer (no status word, or more than
// 59 data bytes), kIsoStatus (SW1 other than 91).
int16_t transmitFrame(uint8_t ins, std::span<const uint8_t> data, std::vector<uint8_t>& answer,
                      uint8_t& cardStatus);

// A whole native command: data cut into frames of at most 54 bytes, the card's answer frames
// gathered while it says 0xAF. kOk when the final status is 00, with answer filled; otherwise
// answer is empty and the result is:
//   cardStatus(s) for a final status byte s other than 00 (0x0C "no changes" included),
//   kBadAnswer when the answer would exceed maxAnswer bytes or the card breaks the chaining
//   (data or a final status before the command is complete, an empty continuation frame),
//   or a fault of transmitFrame.
// Any result but kOk and "no changes" ends the authentication: the card may have dropped it, so
// the host must not go on using the session key.
int16_t transceive(uint8_t ins, std::span<const uint8_t> data, std::vector<uint8_t>& answer,
                   size_t maxAnswer);

}  // namespace zendor::marlix
