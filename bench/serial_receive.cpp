// 64 MiB of pseudo-random bytes from a pty device through the engine's reader into a sink
// that checks every byte: throughput, bytes lost, packets wrong, and the reader's idle CPU.
// Medians of 3, each next to the floor: `cat`'s read loop on the same kind of pty.
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "bench/pty_floor.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <cstring>
#include <memory>
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

// The engine on a fresh pty, taking `data` into a checking sink; stays open after the flood.
class TEngineRun {
  public:
    TEngineRun(const std::string& data, const test::TTempDir& dir)
        : Sink(data),
          Terminal(Sink,
                   test::SettingsOf(dir.Write("c.ini", test::PortConfig(Device.SlavePath())))) {
        auto start = bench::TClock::now();
        std::atomic<bool> readerDone{false}; // the writer gives up once the reader has stopped
        std::thread writer([&] { Device.Write(data, [&] { return readerDone.load(); }); });
        while (Sink.Received < data.size() && bench::TClock::now() - start < 120s)
            std::this_thread::sleep_for(1ms);
        double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0;
        readerDone = true;
        writer.join();
        Speed = static_cast<double>(Sink.Received) / (1 << 20) / seconds;
    }

    test::TPtyDevice Device;
    TCheckingSink Sink;
    TTerminal Terminal;
    double Speed = 0;
};

} // namespace

int main() {
    test::TTempDir dir;
    std::string data(Total, '\0');
    std::minstd_rand generator(12345);
    for (char& ch : data)
        ch = static_cast<char>(generator());

    // Floor and engine take turns, so that both see the same moods of the machine.
    std::vector<double> floors, speeds;
    size_t lost = 0, wrong = 0;
    std::unique_ptr<TEngineRun> run;
    for (int i = 0; i < 3; ++i) {
        run.reset();
        floors.push_back(bench::RawReceiveSpeed(data));
        run = std::make_unique<TEngineRun>(data, dir);
        speeds.push_back(run->Speed);
        lost += Total - std::min(Total, run->Sink.Received.load());
        wrong += run->Sink.MismatchedPackets;
    }

    double before = bench::ThreadCpuSeconds("vemla-reader");
    std::this_thread::sleep_for(2s);
    double idle = bench::ThreadCpuSeconds("vemla-reader") - before;

    double floor = bench::Percentile(floors, 50), speed = bench::Percentile(speeds, 50);
    bench::Figure("serial_receive.throughput", speed, "MiB/s");
    bench::Figure("serial_receive.floor", floor, "MiB/s");
    bench::Figure("serial_receive.ratio", speed / floor, "");
    bench::Figure("serial_receive.bytes_lost", static_cast<double>(lost), "bytes");
    bench::Figure("serial_receive.packets_wrong", static_cast<double>(wrong), "packets");
    bench::Figure("serial_receive.idle_reader_cpu_2s", idle, "s");
    return 0;
}
