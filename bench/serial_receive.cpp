// 64 MiB of pseudo-random bytes from a pty device through the engine's reader into a sink
// that checks every byte: throughput, bytes lost or out of order, and the reader's idle CPU.
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr size_t Total = 64u << 20;

class TCheckingSink : public TTerminalHost {
  public:
    explicit TCheckingSink(uint32_t seed) : Expected(seed) {}
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        if (record->Kind != TTrafficKind::Received) return;
        for (char ch : record->Data) {
            if (static_cast<uint8_t>(ch) != static_cast<uint8_t>(Expected())) ++Mismatched;
        }
        Received += record->Data.size();
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}

    std::minstd_rand Expected;
    std::atomic<size_t> Received{0};
    size_t Mismatched = 0;
};

} // namespace

int main() {
    test::TTempDir dir;
    test::TPtyDevice device;
    const uint32_t seed = 12345;
    TCheckingSink sink(seed);
    std::string config = dir.Write("c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                                "\r\nReadIntervalTimeout=5\r\n");
    TTerminal terminal(sink, config);

    std::string data(Total, '\0');
    std::minstd_rand generator(seed);
    for (char& ch : data)
        ch = static_cast<char>(generator());

    auto start = bench::TClock::now();
    std::thread writer([&] { device.Write(data); });
    while (sink.Received < Total && bench::TClock::now() - start < 120s)
        std::this_thread::sleep_for(1ms);
    auto elapsed = bench::TClock::now() - start;
    writer.join();

    double before = bench::ThreadCpuSeconds("vemla-reader");
    std::this_thread::sleep_for(2s);
    double idle = bench::ThreadCpuSeconds("vemla-reader") - before;

    double seconds = bench::Milliseconds(elapsed) / 1000.0;
    bench::Figure("serial_receive.throughput",
                  static_cast<double>(sink.Received) / (1 << 20) / seconds, "MiB/s");
    bench::Figure("serial_receive.bytes_lost",
                  static_cast<double>(Total - std::min(Total, sink.Received.load())), "bytes");
    bench::Figure("serial_receive.bytes_wrong", static_cast<double>(sink.Mismatched), "bytes");
    bench::Figure("serial_receive.idle_reader_cpu_2s", idle, "s");
    return 0;
}
