// How exactly vemla-cli keeps a period: 1,000 packets sent with --send --every 10 and with
// --every 1 on a pty that the benchmark reads, each packet stamped as it arrives. Prints per
// period the median period, the 99th percentile of the deviation from the asked period, and
// the drift of the last packet from first + 999 periods; and the same figures of the floor, a
// thread that writes to a pty at exact times (this machine's pty and wake-up jitter).
// Usage: send_period [packets]
#include "bench/bench_support.h"
#include "bench/pty_floor.h"
#include "tests/support/child_process.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

using TArrivals = std::vector<bench::TClock::time_point>;

// Stamps the packets of two bytes that arrive on the device side, until `packets` came.
TArrivals Arrivals(test::TPtyDevice& device, int periodMs, int packets) {
    TArrivals arrivals;
    std::string pending;
    const auto deadline =
        bench::TClock::now() + std::chrono::milliseconds(periodMs) * packets + 20s;
    while (static_cast<int>(arrivals.size()) < packets && bench::TClock::now() < deadline) {
        pollfd p{device.MasterHandle(), POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        ssize_t n = read(device.MasterHandle(), buffer, sizeof buffer);
        const auto now = bench::TClock::now();
        if (n <= 0) continue;
        pending.append(buffer, static_cast<size_t>(n));
        for (; pending.size() >= 2; pending.erase(0, 2))
            arrivals.push_back(now);
    }
    if (static_cast<int>(arrivals.size()) < packets) {
        std::fprintf(stderr, "send_period: %zu of %d packets arrived\n", arrivals.size(), packets);
        std::exit(1);
    }
    return arrivals;
}

void Report(const std::string& name, int periodMs, const TArrivals& arrivals) {
    std::vector<double> periods, deviations;
    for (size_t i = 1; i < arrivals.size(); ++i) {
        const double period = bench::Milliseconds(arrivals[i] - arrivals[i - 1]);
        periods.push_back(period);
        deviations.push_back(std::fabs(period - periodMs));
    }
    const double drift = bench::Milliseconds(arrivals.back() - arrivals.front()) -
                         static_cast<double>(periodMs) * static_cast<double>(arrivals.size() - 1);
    bench::Figure((name + "median_period").c_str(), bench::Percentile(periods, 50), "ms");
    bench::Figure((name + "p99_deviation").c_str(), bench::Percentile(deviations, 99), "ms");
    bench::Figure((name + "drift_of_last").c_str(), drift, "ms");
}

void Measure(int periodMs, int packets) {
    const std::string name = "send_period.every_" + std::to_string(periodMs) + "ms.";
    {
        test::TTempDir dir;
        test::TPtyDevice device;
        test::TSpawnOptions options;
        options.WorkingDirectory = dir.Directory().string();
        options.StandardOutput = open("/dev/null", O_WRONLY | O_CLOEXEC);
        options.ErrorsToOutput = true;
        // Two bytes: a packet that is late to the reader is still told from its neighbours;
        // at 115200 bit/s they take 0.17 ms on the wire, well within the shortest period.
        test::TChildProcess program({VEMLA_CLI_BINARY, device.SlavePath(), "-b", "115200", "--send",
                                     "AA 55", "--every", std::to_string(periodMs), "--count",
                                     std::to_string(packets)},
                                    options);
        close(options.StandardOutput);
        TArrivals arrivals = Arrivals(device, periodMs, packets);
        program.Terminate(10s);
        Report(name, periodMs, arrivals);
    }
    test::TPtyDevice device;
    bench::TRawPort port(device.SlavePath(), false);
    std::thread writer([&] {
        const auto start = bench::TClock::now();
        for (int i = 0; i < packets; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(periodMs) * i);
            port.WriteAll("\xAA\x55");
        }
    });
    TArrivals arrivals = Arrivals(device, periodMs, packets);
    writer.join();
    Report(name + "floor.", periodMs, arrivals);
}

} // namespace

int main(int argc, char* argv[]) {
    const int packets = argc > 1 ? std::atoi(argv[1]) : 1000;
    Measure(10, packets);
    Measure(1, packets);
    return 0;
}
