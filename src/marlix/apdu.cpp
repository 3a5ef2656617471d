// Wrapping and chaining of native DESFire commands.
//
//   host -> card   90 INS 00 00 Lc d0..d53 00      first part of the command data
//                  90 AF  00 00 Lc d54..   00      further parts; the card answers a bare 91 AF
//   card -> host   r0..r58 91 AF                   more follows: the host sends 90 AF 00 00 00
//                  r..     91 st                   last part, st the command's status
#include "marlix/apdu.h"

#include <algorithm>

#include "desfire/protocol.h"
#include "marlix/session.h"
#include "marlix/status.h"

namespace zendor::marlix {
namespace {

using desfire::kMaxCommandData;
using desfire::kMaxResponseData;

std::vector<uint8_t> wrap(uint8_t ins, std::span<const uint8_t> data) {
    std::vector<uint8_t> apdu{desfire::kClaNative, ins, 0x00, 0x00};
    if (!data.empty()) {
        apdu.push_back(static_cast<uint8_t>(data.size()));
        apdu.insert(apdu.end(), data.begin(), data.end());
    }
    apdu.push_back(0x00);
    return apdu;
}

// Sends the command data frame by frame; on kOk the last frame's answer is in answer/status.
int16_t sendCommand(uint8_t ins, std::span<const uint8_t> data, std::vector<uint8_t>& answer,
                    uint8_t& status) {
    size_t sent = 0;
    uint8_t frameIns = ins;
    while (true) {
        const size_t part = std::min(kMaxCommandData, data.size() - sent);
        int16_t result = transmitFrame(frameIns, data.subspan(sent, part), answer, status);
        if (result != kOk) {
            return result;
        }
        sent += part;
        if (sent == data.size()) {
            return kOk;
        }
        // The card must ask for the rest with a bare AF; an error status ends the command.
        if (status != desfire::st::kAdditionalFrame) {
            return status == desfire::st::kOk ? static_cast<int16_t>(kBadAnswer)
                                              : cardStatus(status);
        }
        if (!answer.empty()) {
            return kBadAnswer;
        }
        frameIns = desfire::ins::kAdditionalFrame;
    }
}

// Gathers the answer frames that follow the command.
int16_t receiveAnswer(std::vector<uint8_t> frame, uint8_t status, std::vector<uint8_t>& answer,
                      size_t maxAnswer) {
    while (true) {
        if (status != desfire::st::kOk && status != desfire::st::kAdditionalFrame) {
            return cardStatus(status);
        }
        if (frame.size() > maxAnswer - answer.size()) {
            return kBadAnswer;
        }
        answer.insert(answer.end(), frame.begin(), frame.end());
        if (status == desfire::st::kOk) {
            return kOk;
        }
        // A continuation without data would let a broken card keep us asking for ever.
        if (frame.empty()) {
            return kBadAnswer;
        }
        int16_t result = transmitFrame(desfire::ins::kAdditionalFrame, {}, frame, status);
        if (result != kOk) {
            return result;
        }
    }
}

}  // namespace

int16_t transmitFrame(uint8_t ins, std::span<const uint8_t> data, std::vector<uint8_t>& answer,
                      uint8_t& status) {
    answer.clear();
    ReaderSession& session = readerSession();
    if (!session.transport || !session.cardActive) {
        return kNoReader;
    }
    if (data.size() > kMaxCommandData) {
        return kBadArgument;
    }
    std::vector<uint8_t> response;
    int16_t result = session.transport->transmit(wrap(ins, data), response);
    if (result != kOk) {
        return result;
    }
    if (response.size() < 2) {
        return kBadAnswer;
    }
    if (response[response.size() - 2] != desfire::kSw1Desfire) {
        return kIsoStatus;
    }
    if (response.size() - 2 > kMaxResponseData) {
        return kBadAnswer;
    }
    status = response.back();
    answer.assign(response.begin(), response.end() - 2);
    return kOk;
}

int16_t transceive(uint8_t ins, std::span<const uint8_t> data, std::vector<uint8_t>& answer,
                   size_t maxAnswer) {
    answer.clear();
    std::vector<uint8_t> frame;
    uint8_t status = 0;
    int16_t result = sendCommand(ins, data, frame, status);
    if (result == kOk) {
        result = receiveAnswer(std::move(frame), status, answer, maxAnswer);
    }
    if (result != kOk) {
        answer.clear();
        if (result != cardStatus(desfire::st::kNoChanges)) {
            endAuthentication();
        }
    }
    return result;
}

}  // namespace zendor::marlix
