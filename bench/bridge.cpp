// The two-port bridge: a scripted application on vemla's virtual port and a scripted device on
// a pty pair. Prints the round-trip latency through the bridge beside the same application and
// device joined directly (one pty pair), and a flood each way at once: whether every byte
// arrived on the far side and in the logs, once and in order.
//
//   bridge [ROUND_TRIPS] [MEBIBYTES]
#include "app/report_queue.h"
#include "app/traffic_recorder.h"
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "engine/timer_queue.h"
#include "platform/ini_file.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr size_t RequestSize = 8;

TTerminalSettings BridgeSettings(const std::string& device, const std::string& application) {
    TTerminalSettings settings;
    settings.Device = device;
    settings.Line.Parity = 0;
    settings.Timeouts.ReadIntervalTimeout = 5;
    settings.SecondPort = "pty:" + application;
    settings.SecondPortMode = TTerminalSettings::TSecondPort::Bridge;
    return settings;
}

// The application sends a request, the device answers it as soon as it has it whole, the
// application waits for the answer; milliseconds per round trip.
std::vector<double> RoundTrips(test::TPtyDevice& application, test::TPtyDevice& device, int count) {
    std::atomic<bool> done{false};
    std::thread answering([&] {
        while (!done) {
            std::string request = device.Read(RequestSize, 100ms);
            if (request.size() == RequestSize) device.Write("answer:" + request.substr(7));
        }
    });
    std::vector<double> trips;
    const std::string request = "request";
    for (int i = 0; i < count; ++i) {
        const std::string bytes = request + static_cast<char>('0' + i % 10);
        const auto start = bench::TClock::now();
        application.Write(bytes);
        if (application.Read(8, 2s).size() != 8) break;
        trips.push_back(bench::Milliseconds(bench::TClock::now() - start));
    }
    done = true;
    answering.join();
    return trips;
}

void Figures(const char* name, const std::vector<double>& trips) {
    bench::Figure((std::string("bridge.round_trip.") + name + ".p50").c_str(),
                  bench::Percentile(trips, 50), "ms");
    bench::Figure((std::string("bridge.round_trip.") + name + ".p99").c_str(),
                  bench::Percentile(trips, 99), "ms");
}

void Latency(int count) {
    // Direct: the application on the pty's port side, the device on its other side.
    test::TPtyDevice directDevice;
    test::TPtyDevice directApplication(directDevice.SlavePath());
    const std::vector<double> direct = RoundTrips(directApplication, directDevice, count);

    test::TTempDir dir;
    test::TPtyDevice device;
    bench::TNullHost host;
    TTerminal terminal(host, BridgeSettings(device.SlavePath(), dir.Path("app")));
    test::TPtyDevice application(dir.Path("app"));
    std::this_thread::sleep_for(200ms); // the bridge sees its application
    const std::vector<double> bridged = RoundTrips(application, device, count);
    if (direct.size() != size_t(count) || bridged.size() != size_t(count)) {
        std::fputs("bridge.round_trip: answers missing\n", stderr);
        return;
    }
    Figures("direct", direct);
    Figures("bridge", bridged);
    bench::Figure("bridge.round_trip.added.p50",
                  bench::Percentile(bridged, 50) - bench::Percentile(direct, 50), "ms");
    bench::Figure("bridge.round_trip.added.p99",
                  bench::Percentile(bridged, 99) - bench::Percentile(direct, 99), "ms");
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::minstd_rand generator(seed);
    for (char& ch : data)
        ch = static_cast<char>(generator());
    return data;
}

// Bytes that differ from what was sent: the length of the part that does not match it.
size_t Wrong(const std::string& got, const std::string& sent) {
    size_t same = 0;
    while (same < std::min(got.size(), sent.size()) && got[same] == sent[same])
        ++same;
    return std::max(got.size(), sent.size()) - same;
}

void Flood(size_t mebibytes) {
    const std::string up = RandomBytes(mebibytes << 20, 1), down = RandomBytes(mebibytes << 20, 2);
    test::TTempDir dir;
    const std::string logs = dir.Path("Log");
    TTrafficRecorder recorder;
    recorder.Configure(TIniFile(
        dir.Write("c.ini", "[Log]\r\nSize=300\r\nAutoSave=1\r\nDir=" + logs + "\r\nCoding=0\r\n")));
    TTimerQueue timers;
    TEvent waiting;
    TReportQueue reports([&waiting] { waiting.Set(); });
    test::TPtyDevice device;
    TTerminal terminal(reports, BridgeSettings(device.SlavePath(), dir.Path("app")));
    test::TPtyDevice application(dir.Path("app"));
    std::this_thread::sleep_for(200ms);

    std::string atDevice, atApplication;
    const auto start = bench::TClock::now();
    std::thread deviceSide([&] {
        std::thread writer([&] { device.Write(down); });
        atDevice = device.Read(up.size(), 120s);
        writer.join();
    });
    std::thread applicationSide([&] {
        std::thread writer([&] { application.Write(up); });
        atApplication = application.Read(down.size(), 120s);
        writer.join();
    });
    std::atomic<bool> arrived{false};
    std::thread recording([&] {
        TEvent never;
        while (!arrived || recorder.ReceivedBytes() < up.size() + down.size()) {
            waiting.Reset();
            for (const TEngineReport& report : reports.Take())
                RecordReport(report, recorder, timers);
            if (bench::TClock::now() > start + 150s) break;
            waiting.WaitFor(5ms, never);
        }
    });
    deviceSide.join();
    applicationSide.join();
    const double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000;
    arrived = true;
    recording.join();
    terminal.Stop();
    for (const TEngineReport& report : reports.Take())
        RecordReport(report, recorder, timers);
    recorder.Finish();

    bench::Figure("bridge.flood.mib_per_second_each_way", static_cast<double>(mebibytes) / seconds,
                  "MiB/s");
    bench::Figure("bridge.flood.wrong_at_device", static_cast<double>(Wrong(atDevice, up)),
                  "bytes");
    bench::Figure("bridge.flood.wrong_at_application",
                  static_cast<double>(Wrong(atApplication, down)), "bytes");
    bench::Figure("bridge.flood.wrong_in_log_from_application",
                  static_cast<double>(Wrong(bench::LoggedBytes(logs, "<-a- "), up)), "bytes");
    bench::Figure("bridge.flood.wrong_in_log_from_device",
                  static_cast<double>(Wrong(bench::LoggedBytes(logs, "---> "), down)), "bytes");
}

} // namespace

int main(int argc, char* argv[]) {
    const int roundTrips = argc > 1 ? std::stoi(argv[1]) : 1000;
    const size_t mebibytes = argc > 2 ? std::stoul(argv[2]) : 16;
    Latency(roundTrips);
    Flood(mebibytes);
}
