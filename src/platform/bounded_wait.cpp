#include "platform/bounded_wait.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace zendor::platform {

void sleepFor(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

BoundedWait::BoundedWait(WaitSchedule schedule, SleepFor sleep)
    : schedule_(schedule), sleep_(std::move(sleep)), next_(schedule.first) {}

bool BoundedWait::pause() {
    const auto pause = std::min({next_, schedule_.longest, schedule_.total - waited_});
    if (pause <= std::chrono::milliseconds(0)) {
        return false;
    }
    sleep_(pause);
    waited_ += pause;
    next_ = std::min(next_ * 2, schedule_.longest);
    return true;
}

}  // namespace zendor::platform
