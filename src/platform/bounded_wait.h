// Waiting for another program to let go of what it holds (a file a virus scanner opened, a card
// another program uses): tries again after growing pauses, never longer in all than a bound, so
// that a thing held for good is reported after a moment instead of looking like a hang. The
// sleep is given, so that tests count the pauses, or act at one, instead of taking them.
#pragma once

#include <chrono>
#include <functional>

namespace zendor::platform {

struct WaitSchedule {
    std::chrono::milliseconds first;    // the first pause; each next one is twice the last
    std::chrono::milliseconds longest;  // no pause is longer
    std::chrono::milliseconds total;    // all pauses together; the last one is cut to fit
};

// What a file another program holds open is given: a scanner lets go within milliseconds, a
// sync client within a second or so.
constexpr WaitSchedule kHeldFileWait{std::chrono::milliseconds(10), std::chrono::milliseconds(500),
                                     std::chrono::milliseconds(2000)};

// No waiting at all: one try.
constexpr WaitSchedule kNoWait{std::chrono::milliseconds(0), std::chrono::milliseconds(0),
                               std::chrono::milliseconds(0)};

using SleepFor = std::function<void(std::chrono::milliseconds)>;

// The system's sleep.
void sleepFor(std::chrono::milliseconds time);

// One budget of waiting: everything that waits for the same thing (the steps of one save) draws
// on one, so that they wait the bound together, not each.
class BoundedWait {
  public:
    explicit BoundedWait(WaitSchedule schedule, SleepFor sleep = sleepFor);

    // Sleeps the next pause and says true; says false at once when the bound is used up.
    bool pause();
    // The pauses taken so far.
    std::chrono::milliseconds waited() const { return waited_; }

  private:
    WaitSchedule schedule_;
    SleepFor sleep_;
    std::chrono::milliseconds next_;
    std::chrono::milliseconds waited_{0};
};

}  // namespace zendor::platform
