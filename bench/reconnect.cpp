// A device that disappears and comes back at its symlink path 100 times, after random times
// away: the time from its return to the port's "открыт" report, and the CPU time the reader
// spends while the device stays away for 10 s.
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

// Counts the port's losses (Error records) and openings (Info records), with the time of the
// latest opening.
class TPortSink : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        std::lock_guard lock(Mutex);
        if (record->Kind == TTrafficKind::Info) {
            ++Opened;
            OpenedAt = bench::TClock::now();
        }
        if (record->Kind == TTrafficKind::Error) ++Lost;
        Changed.notify_all();
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}

    void WaitForLost(int count) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Lost >= count; });
    }
    bench::TClock::time_point WaitForOpened(int count) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Opened >= count; });
        return OpenedAt;
    }

  private:
    std::mutex Mutex;
    std::condition_variable Changed;
    int Opened = 0, Lost = 0;
    bench::TClock::time_point OpenedAt;
};

// Points the link at a new target in one step, as udev replaces a by-id link.
void PointLink(const std::string& link, const std::string& target) {
    std::filesystem::create_symlink(target, link + ".new");
    std::filesystem::rename(link + ".new", link);
}

} // namespace

int main() {
    constexpr int Cycles = 100;
    test::TTempDir dir;
    std::string link = dir.Path("port");
    auto device = std::make_unique<test::TPtyDevice>();
    PointLink(link, device->SlavePath());
    TPortSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", "[Port]\r\nDevice=" + link + "\r\n")));
    sink.WaitForOpened(1);

    std::minstd_rand random(1);
    std::uniform_int_distribution<int> away(0, 300);
    std::vector<double> latencies;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        device.reset(); // pulled out: the line hangs up and its path goes
        sink.WaitForLost(cycle + 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(away(random))); // away
        device = std::make_unique<test::TPtyDevice>();
        PointLink(link, device->SlavePath());
        auto back = bench::TClock::now();
        latencies.push_back(bench::Milliseconds(sink.WaitForOpened(cycle + 2) - back));
    }
    device.reset();
    sink.WaitForLost(Cycles + 1);
    double before = bench::ThreadCpuSeconds("vemla-reader");
    std::this_thread::sleep_for(10s);
    double idle = bench::ThreadCpuSeconds("vemla-reader") - before;

    bench::Figure("reconnect.reopen_p50", bench::Percentile(latencies, 50), "ms");
    bench::Figure("reconnect.reopen_p99", bench::Percentile(latencies, 99), "ms");
    bench::Figure("reconnect.reader_cpu_while_away_10s", idle, "s");
    return 0;
}
