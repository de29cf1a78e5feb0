#include "engine/send_schedule.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using TTime = TSendSchedule::TTime;

// Each step: a moment (ms after the start) and the packets due then.
struct TStep {
    int At;
    std::vector<size_t> Due;
};

TEST(SendSchedule, PeriodsCountsAndALineSlowerThanThePeriod) {
    struct {
        const char* Name;
        std::vector<TTimedSend> Sends;
        std::vector<TStep> Steps;
        std::optional<int> NextDue; // after the last step
    } cases[] = {
        {"once", {{"a", 0ms, 0}}, {{0, {0}}, {50, {}}}, std::nullopt},
        {"three at 10 ms",
         {{"a", 10ms, 3}},
         {{0, {0}}, {9, {}}, {10, {0}}, {20, {0}}, {30, {}}},
         std::nullopt},
        {"in order when due together",
         {{"a", 10ms, 0}, {"b", 10ms, 0}},
         {{0, {0, 1}}, {10, {0, 1}}},
         20},
        // Late by less than a period: the next keeps its place, nothing drifts.
        {"late, no drift", {{"a", 10ms, 0}}, {{0, {0}}, {15, {0}}}, 20},
        // Woken late: caught up, the grid kept.
        {"caught up", {{"a", 10ms, 0}}, {{0, {0}}, {35, {0}}}, 20},
        // Slower on the wire than its period, or late beyond the limit (a suspended machine):
        // back to back from the moment it went, no burst of the missed ones.
        {"slower line", {{"a", 10ms, 0, true}}, {{0, {0}}, {35, {0}}}, 35},
        {"suspended", {{"a", 10ms, 0}}, {{0, {0}}, {5000, {0}}}, 5000},
        {"own periods",
         {{"a", 10ms, 0}, {"b", 25ms, 2}},
         {{0, {0, 1}}, {10, {0}}, {25, {0, 1}}},
         30},
    };
    for (const auto& c : cases) {
        const TTime start{};
        TSendSchedule schedule;
        schedule.Replace(0, c.Sends, start);
        for (const TStep& step : c.Steps)
            EXPECT_EQ(schedule.TakeDue(start + std::chrono::milliseconds(step.At)), step.Due)
                << c.Name << " at " << step.At;
        std::optional<TTime> next = schedule.NextDue();
        EXPECT_EQ(next.has_value(), c.NextDue.has_value()) << c.Name;
        if (next && c.NextDue) {
            EXPECT_EQ(*next, start + std::chrono::milliseconds(*c.NextDue)) << c.Name;
        }
    }

    // Lists side by side: one replaced or stopped leaves the other's place and count.
    const TTime start{};
    TSendSchedule schedule;
    schedule.Replace(0, {{"a", 10ms, 2}}, start);
    schedule.Replace(1, {{"b", 10ms, 0}}, start + 5ms);
    EXPECT_EQ(schedule.TakeDue(start), std::vector<size_t>{0});
    EXPECT_EQ(schedule.Send(1).Bytes, "b");
    schedule.Replace(1, {}, start + 7ms);
    EXPECT_EQ(schedule.TakeDue(start + 10ms), std::vector<size_t>{0});
    EXPECT_FALSE(schedule.NextDue().has_value());
}

} // namespace
} // namespace vemla
