// Time from the device's write of a short packet's last byte to its Received record,
// less the 5 ms interval time-out that ends every packet.
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

class TTimingSink : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        if (record->Kind != TTrafficKind::Received) return;
        std::lock_guard lock(Mutex);
        Arrived = bench::TClock::now();
        ++Count;
        Changed.notify_all();
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}

    bench::TClock::time_point WaitFor(int count) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Count >= count; });
        return Arrived;
    }

  private:
    std::mutex Mutex;
    std::condition_variable Changed;
    bench::TClock::time_point Arrived;
    int Count = 0;
};

} // namespace

int main() {
    test::TTempDir dir;
    test::TPtyDevice device;
    TTimingSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    std::mt19937 random(1);
    std::vector<double> latencies;
    for (int i = 1; i <= 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 4000));
        device.Write("\x01\x02\x03\x04\x05");
        auto written = bench::TClock::now();
        latencies.push_back(bench::Milliseconds(sink.WaitFor(i) - written) - 5.0);
    }
    bench::Figure("receive_latency.p50", bench::Percentile(latencies, 50), "ms");
    bench::Figure("receive_latency.p99", bench::Percentile(latencies, 99), "ms");
    return 0;
}
