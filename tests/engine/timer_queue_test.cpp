#include "engine/timer_queue.h"
#include "trigger_language/trigger.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(TimerQueue, OneTimerPerTriggerExpiringInTheOrderTheyFallDue) {
    TTrigger a, b, c, d;
    TTimerQueue timers;
    EXPECT_FALSE(timers.NextDue());
    timers.Start(a, 50, 1000);
    timers.Start(b, 20, 1000);
    timers.Start(c, 20, 1000); // due with b, started after it
    timers.Start(a, 10, 1005); // replaces a's first timer
    timers.Start(d, -5, 1000); // a negative time is none
    EXPECT_EQ(timers.NextDue(), 1000);
    struct {
        int64_t Until;
        TTrigger* Trigger; // null: nothing due by then
        int64_t Due;
    } expected[] = {
        {1000, &d, 1000}, {1000, nullptr, 0}, {1019, &a, 1015},   {1019, nullptr, 0},
        {5000, &b, 1020}, {5000, &c, 1020},   {5000, nullptr, 0},
    };
    for (const auto& step : expected) {
        auto due = timers.TakeDue(step.Until);
        ASSERT_EQ(due.has_value(), step.Trigger != nullptr) << step.Until;
        if (due) {
            EXPECT_EQ(*due, std::pair(step.Trigger, step.Due));
        }
    }
    EXPECT_TRUE(timers.Empty());
}

} // namespace
} // namespace vemla
