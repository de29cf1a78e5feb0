#include "app/report_queue.h"
#include "trigger_language/trigger.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace vemla {
namespace {

std::unique_ptr<TTrafficRecord> Record(std::string data) {
    return std::make_unique<TTrafficRecord>(TTrafficRecord{0, TTrafficKind::Received, data});
}

// What a taker sees: each record's text, "state" for a port state, "T<id>" for a change.
std::vector<std::string> Names(const std::vector<TEngineReport>& reports) {
    std::vector<std::string> names;
    for (const TEngineReport& report : reports) {
        if (report.Kind == TEngineReport::TKind::Traffic) names.push_back(report.Record->Data);
        if (report.Kind == TEngineReport::TKind::PortState) names.push_back("state");
        if (report.Kind == TEngineReport::TKind::TriggerChanged)
            names.push_back("T" + std::to_string(report.Trigger->Id));
    }
    return names;
}

TEST(ReportQueue, ReportsComeInTheirOrderAndWakeOnlyAnIdleTaker) {
    int wakes = 0;
    TReportQueue queue([&] { ++wakes; });
    std::thread reader([&] {
        for (int i = 0; i < 3000; ++i) {
            if (i == 1000) queue.NotifyPortState(TPortState::Open);
            queue.PostTraffic(Record(std::to_string(i)));
        }
    });
    reader.join();
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        if (i == 1000) expected.push_back("state");
        expected.push_back(std::to_string(i));
    }
    EXPECT_EQ(Names(queue.Take()), expected);
    EXPECT_EQ(wakes, 1);
    // A taker that found reports comes back by itself: no wake-up until it finds none.
    queue.PostTraffic(Record("a"));
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(Names(queue.Take()), std::vector<std::string>{"a"});
    EXPECT_TRUE(queue.Take().empty());
    queue.PostTraffic(Record("b"));
    EXPECT_EQ(wakes, 2);

    // A SWITCH storm: one change waits per trigger; once taken, a trigger reports again.
    TTrigger one, two;
    one.Id = 1;
    two.Id = 2;
    for (int i = 0; i < 1000; ++i) {
        queue.NotifyTriggerChanged(one);
        queue.NotifyTriggerChanged(two);
    }
    EXPECT_EQ(Names(queue.Take()), (std::vector<std::string>{"b", "T1", "T2"}));
    queue.NotifyTriggerChanged(one);
    EXPECT_EQ(Names(queue.Take()), std::vector<std::string>{"T1"});
}

// The thread sanitizer's shadow memory grows with every allocation: no figure of ours then.
#if defined(__SANITIZE_THREAD__)
constexpr bool ResidentMemoryIsOurs = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool ResidentMemoryIsOurs = false;
#else
constexpr bool ResidentMemoryIsOurs = true;
#endif
#else
constexpr bool ResidentMemoryIsOurs = true;
#endif

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

TEST(ReportQueue, RecordsNotTakenFillItByWhatTheyHold) {
    TReportQueue queue(nullptr);
    queue.PostTraffic(Record(std::string(TReportQueue::BacklogLimit, 'x')));
    EXPECT_FALSE(queue.HasRoom());
    queue.Take();
    EXPECT_TRUE(queue.HasRoom());
    // A flood of one-byte packets: what the records really hold counts, not their bytes.
    const long before = ResidentKiB();
    size_t posted = 0;
    while (queue.HasRoom() && ++posted <= TReportQueue::BacklogLimit)
        queue.PostTraffic(Record("x"));
    if (before > 0 && ResidentMemoryIsOurs) {
        EXPECT_LT(ResidentKiB() - before, 32 * 1024) << posted;
    }
    queue.Take();
    EXPECT_TRUE(queue.HasRoom());
    // Reports never taken go with the queue (the sanitizer build sees a leak otherwise).
    queue.PostTraffic(Record(std::string(1000, 'y')));
}

} // namespace
} // namespace vemla
