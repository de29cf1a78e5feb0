// 64 MiB of pseudo-random bytes from a pty device through the engine's reader into a sink
// that checks every byte: throughput, bytes lost, packets wrong, and the reader's idle CPU.
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "engine/terminal.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr size_t Total = 64u << 20;

// Compares each packet with the bytes sent, cheaply: the sink runs on the reader thread, and
// its cost would count as the engine's.
class TCheckingSink : public TTerminalHost {
  public:
    explicit TCheckingSink(const std::string& expected) : Expected(expected) {}
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        if (record->Kind != TTrafficKind::Received) return;
        const std::string& data = record->Data;
        size_t at = Received;
        size_t compared = std::min(data.size(), Expected.size() - std::min(at, Expected.size()));
        if (compared != data.size() ||
            std::memcmp(data.data(), Expected.data() + at, compared) != 0)
            ++MismatchedPackets;
        Received += data.size();
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}

    const std::string& Expected;
    std::atomic<size_t> Received{0};
    size_t MismatchedPackets = 0;
};

} // namespace

int main() {
    test::TTempDir dir;
    test::TPtyDevice device;
    std::string data(Total, '\0');
    std::minstd_rand generator(12345);
    for (char& ch : data)
        ch = static_cast<char>(generator());
    TCheckingSink sink(data);
    std::string config = dir.Write("c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                                "\r\nReadIntervalTimeout=5\r\n");
    TTerminal terminal(sink, config);

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
    bench::Figure("serial_receive.packets_wrong", static_cast<double>(sink.MismatchedPackets),
                  "packets");
    bench::Figure("serial_receive.idle_reader_cpu_2s", idle, "s");
    return 0;
}
