#include "cli/console_front_end.h"

#include "app/traffic_recorder.h"
#include "engine/terminal.h"
#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/messages.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace vemla {
namespace {

void Message(TMessage caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(MessageText(caption)).c_str(),
                 Cp1251ToUtf8(text).c_str());
}

// The longest wait of the loop with no timer pending: it only bounds the wait, nothing is
// polled.
constexpr int64_t IdleWait = 60'000;
// After a take that found reports, the next look comes this much later.
constexpr int64_t BatchInterval = 5;

} // namespace

int RunConsole(const TStartup& startup, TEvent& stopEvent) {
    if (!startup.Config.MissingFile.empty())
        Message(TMessage::CaptionWarning, MissingConfigWarning(startup.Config.MissingFile));
    TTrafficRecorder recorder;
    recorder.Configure(ReadConfiguration(startup.Config.FileName, startup.Overrides));
    recorder.SetCoding(StoredCoding(startup.Desktop));
    if (startup.Echo) recorder.EchoTo(std::make_unique<TEchoWriter>(1, 2));
    TTimerQueue timers;
    TEvent reportsWaiting;
    TReportQueue reports([&reportsWaiting] { reportsWaiting.Set(); });
    auto handle = [&](std::vector<TEngineReport> taken) {
        for (const TEngineReport& report : taken)
            if (TResult<> recorded = RecordReport(report, recorder, timers); !recorded.Ok())
                Message(TMessage::CaptionError, recorded.Error);
        return taken.size();
    };

    TTerminal terminal(reports,
                       ReadEngineSettings(startup.Config.FileName, startup.Overrides, reports),
                       &stopEvent);
    if (!startup.TimedSends.empty()) terminal.StartTimedSends(startup.TimedSends);
    // --duration: the loop ends then, as a signal would end it.
    const int64_t end = startup.Duration ? SteadyMilliseconds() + startup.Duration->count()
                                         : std::numeric_limits<int64_t>::max();
    while (!stopEvent.IsSet() && SteadyMilliseconds() < end) {
        // Reset before taking: a report made after the take sets it again.
        reportsWaiting.Reset();
        const size_t taken = handle(reports.Take());
        while (auto due = timers.TakeDue(SteadyMilliseconds()))
            terminal.SleepExpired(*due->first);
        // After a take that found reports no wake-up comes: the next look is a little later,
        // so that records are taken in batches, not one lock of the queue per record while the
        // reader shares the cores (in a flood a batch is a few hundred records).
        int64_t wait = taken > 0 ? BatchInterval : IdleWait;
        if (std::optional<int64_t> next = timers.NextDue())
            wait = std::clamp<int64_t>(*next - SteadyMilliseconds(), 0, wait);
        wait = std::clamp<int64_t>(end - SteadyMilliseconds(), 0, wait);
        if (wait > 0) reportsWaiting.WaitFor(std::chrono::milliseconds(wait), stopEvent);
    }
    // Whatever the line delivered up to now reaches the final log; nothing after it.
    terminal.Stop();
    while (handle(reports.Take()) != 0) {
    }
    if (TResult<> flushed = recorder.Finish(); !flushed.Ok())
        Message(TMessage::CaptionError, flushed.Error);
    return 0;
}

} // namespace vemla
