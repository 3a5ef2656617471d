// The one wait for another program: growing pauses, never more in all than the bound, and the
// sleep given rather than taken, so that nothing here sleeps.
#include "platform/bounded_wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace zendor::platform {
namespace {

using std::chrono::milliseconds;

std::vector<milliseconds> pausesOf(const WaitSchedule& schedule) {
    std::vector<milliseconds> slept;
    BoundedWait wait(schedule, [&](milliseconds pause) { slept.push_back(pause); });
    while (wait.pause()) {
        EXPECT_LT(slept.size(), 1000u) << "a wait that never ends";
        if (slept.size() >= 1000) {
            break;
        }
    }
    milliseconds total{0};
    for (milliseconds pause : slept) {
        total += pause;
    }
    EXPECT_EQ(wait.waited(), total);
    EXPECT_FALSE(wait.pause()) << "a used-up wait stays used up";
    return slept;
}

TEST(BoundedWait, PausesGrowUpToTheLongestAndFillTheBoundExactly) {
    const struct {
        const char* what;
        WaitSchedule schedule;
        std::vector<milliseconds> pauses;
    } cases[] = {
        {"a held file",
         kHeldFileWait,
         {milliseconds(10), milliseconds(20), milliseconds(40), milliseconds(80), milliseconds(160),
          milliseconds(320), milliseconds(500), milliseconds(500), milliseconds(370)}},
        {"a card another program uses",
         {milliseconds(100), milliseconds(800), milliseconds(2000)},
         {milliseconds(100), milliseconds(200), milliseconds(400), milliseconds(800),
          milliseconds(500)}},
        {"a bound below the first pause",
         {milliseconds(100), milliseconds(800), milliseconds(30)},
         {milliseconds(30)}},
        {"no waiting", kNoWait, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pausesOf(c.schedule), c.pauses) << c.what;
    }
}

// One budget for the steps of one save: what the first step used, the next one does not get.
TEST(BoundedWait, StepsSharingOneBudgetWaitTheBoundTogether) {
    milliseconds slept{0};
    BoundedWait wait(kHeldFileWait, [&](milliseconds pause) { slept += pause; });
    for (int step = 0; step < 3; ++step) {
        while (wait.pause()) {
        }
    }
    EXPECT_EQ(slept, kHeldFileWait.total);
}

}  // namespace
}  // namespace zendor::platform
