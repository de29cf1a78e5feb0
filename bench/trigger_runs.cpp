// Commands executed per second by the trigger runtime with the port closed.
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/temp_dir.h"

#include <atomic>

using namespace vemla;

namespace {
class TCountingHost : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord>) override {}
    void NotifyTriggerChanged(TTrigger&) override { ++Notifications; }
    void StartSleepTimer(TTrigger&, int32_t) override {}
    std::atomic<long> Notifications{0};
};
} // namespace

int main() {
    test::TTempDir dir;
    TCountingHost host;
    // Each resume of A runs OUT, SWITCH (a nested run of B's WAIT), GOTO and WAIT: 5 commands.
    std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"A\" ANSI \"A\" { WAIT OUT \"x\" SWITCH 2 0 GOTO 1 }\n"
                           "TRIGGER 2 \"B\" ANSI \"B\" { WAIT GOTO 1 }\n");
    TTerminal terminal(
        host, test::SettingsOf(dir.Write(
                  "c.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n[Terminal]\r\nTriggerFile=" +
                               triggers + "\r\n")));
    TTrigger& a = *terminal.Triggers().At(PacketHash("A", 0));
    constexpr long Resumes = 2'000'000;
    long notifiedBefore = host.Notifications;
    auto start = bench::TClock::now();
    for (long i = 0; i < Resumes; ++i)
        terminal.ResumeTrigger(a);
    double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0;
    if (host.Notifications - notifiedBefore != 2 * Resumes || a.Status != TTriggerStatus::Ok) {
        std::fprintf(stderr, "unexpected runs\n");
        return 1;
    }
    bench::Figure("trigger_runs.commands_per_second", 5.0 * Resumes / seconds / 1e6, "million/s");
    return 0;
}
