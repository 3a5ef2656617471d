// A MIFARE DESFire EV1 in legacy mode, card side: answers wrapped native commands (CLA 90) and
// the PC/SC reader's GET DATA, applying the card's key settings and access rights.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "vcard/card_state.h"

namespace zendor::vcard {

class VirtualCard {
  public:
    // The card works on state in place; state must outlive the card.
    explicit VirtualCard(CardState& state);
    ~VirtualCard();
    VirtualCard(const VirtualCard&) = delete;
    VirtualCard& operator=(const VirtualCard&) = delete;

    struct Answer {
        std::vector<uint8_t> bytes;  // response data followed by SW1 SW2
        bool stateChanged = false;   // the persistent state changed: save it
    };

    // One command APDU in, one response APDU out.
    Answer process(std::span<const uint8_t> apdu);

    // Power cycle or deselect: forgets the selected application, the authentication, chained
    // commands in progress and backup-file writes not committed.
    void reset();

    // Where RndB comes from; defaults to the system's random generator. Tests fix it for known
    // answers.
    using RandomSource = std::function<void(std::span<uint8_t>)>;
    void setRandomSource(RandomSource source);

  private:
    struct Session;
    CardState& state_;
    std::unique_ptr<Session> session_;
};

}  // namespace zendor::vcard
