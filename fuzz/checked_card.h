// Card ends for the host-protocol and virtual-card targets: a transport that answers with the
// fuzzer's bytes, and a virtual card in memory whose every frame is checked (its state change
// flag tells the truth, its memory adds up, its file can hold whatever state it reaches).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "marlix/transport.h"
#include "vcard/card_state.h"
#include "vcard/virtual_card.h"

namespace zendor::fuzz {

// Starting cards. Every key of theirs is one of kFuzzKeys.
//   factory       a fresh card: all-zero card master key, no application
//   master        a Master Card: card master key kFuzzKeys[piccKey]; application 5A4D43 (key
//                 settings EF, key 0 = kFuzzKeys[1]) with files 1 (512 bytes) and 2 (16 bytes),
//                 both enciphered, rights FF0F
//   applications  the Master Card beside application 123456 (key settings 0F, keys 0 and 1 =
//                 kFuzzKeys[0] and kFuzzKeys[1]) with files of every kind: 1 enciphered key 0,
//                 2 MACed key 0, 3 enciphered read free write key 1, 4 backup plain free,
//                 5 backup enciphered key 1
vcard::CardState factoryCard();
vcard::CardState masterCard(size_t piccKey);
vcard::CardState applicationsCard();

// By the low two bits of start: factory, master (card master key kFuzzKeys[0]), master (card
// master key kFuzzKeys[3]), applications.
vcard::CardState startCard(uint8_t start);

// A virtual card in memory; exchange() checks every frame.
class CheckedCard {
  public:
    explicit CheckedCard(vcard::CardState start);

    std::vector<uint8_t> exchange(std::span<const uint8_t> command);
    void reset() { card_.reset(); }
    const vcard::CardState& state() const { return state_; }

    // Appends every answer, length-prefixed as ScriptedTransport reads it, to answers.
    void recordInto(std::vector<uint8_t>* answers) { recording_ = answers; }

  private:
    vcard::CardState state_;
    vcard::VirtualCard card_;
    uint64_t memory_;  // free memory plus what the applications take: constant
    std::vector<uint8_t>* recording_ = nullptr;
};

// The library's transport onto a CheckedCard that outlives it.
std::unique_ptr<marlix::Transport> checkedCardTransport(CheckedCard& checked);

// Answers from the input: per command frame a length byte n and n bytes; n = 0xFE is no answer
// (as is the end of the input), n = 0xFF a card removed. The card activates as a DESFire.
std::unique_ptr<marlix::Transport> scriptedTransport(ByteReader& answers);

constexpr uint8_t kScriptNoAnswer = 0xFE;
constexpr uint8_t kScriptCardRemoved = 0xFF;

}  // namespace zendor::fuzz
