// Records every frame the library exchanges with the card, and works out the fewest frames and
// bytes that the same command sequence needs at the card's frame sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zendor::bench {

// One command APDU and the card's answer, both whole (header, Lc, Le, status words).
struct Frame {
    std::vector<uint8_t> command;
    std::vector<uint8_t> response;
};

// What a run or a part of it cost on the air.
struct FrameFigures {
    size_t frames = 0;
    size_t commandBytes = 0;   // command APDUs, whole
    size_t responseBytes = 0;  // answers, status words included
};

// One native command and the chaining frames that carry it, up to the answer that ends it. A
// frame 0xAF that carries data after an answer that carried data starts a transfer of its own
// (the second step of an authentication), since neither side could have sent it sooner.
struct Transfer {
    std::string_view name;
    size_t commandData = 0;   // native bytes after INS, over all frames
    size_t responseData = 0;  // answer bytes before the status words, over all frames
    FrameFigures used;
};

// The transfers of a frame sequence, in order.
std::vector<Transfer> splitTransfers(std::span<const Frame> frames);

// The least a transfer of that many native bytes needs: each frame carries at most 54 bytes to
// the card and 59 back, and the answer to the last command frame carries the first part back.
FrameFigures minimumFigures(size_t commandData, size_t responseData);

// Transfers of one command name added up, in the order the names first appear.
struct CommandTotals {
    std::string_view name;
    size_t count = 0;
    size_t commandData = 0;
    size_t responseData = 0;
    FrameFigures used;
    FrameFigures minimum;
};
std::vector<CommandTotals> totalsByCommand(std::span<const Transfer> transfers);
CommandTotals overallTotals(std::span<const CommandTotals> commands);

// While it lives, every transport the library opens is wrapped and its frames appended to
// frames; the library's own transports come back when it ends.
class FrameLog {
  public:
    FrameLog();
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    std::vector<Frame> frames;
};

}  // namespace zendor::bench
