// A port on another machine, served by ser2net on loopback from a pty that the benchmark plays
// as the device. Three figures, each beside its floor in the same run:
// - trigger latency over rfc2217:// (a trigger answers a 5-byte packet with OUTW), the round
//   trip less the 5 ms gap; the floor is a plain socket client answering through the same
//   ser2net (its raw TCP port) after the same silence;
// - a 16 MiB flood of pseudo-random bytes (so plenty of 0xFF for telnet to escape) received
//   over rfc2217:// by vemla-cli's own pipeline into Hex log files, checked byte for byte; the
//   floor is socat copying the same ser2net port's stream (telnet as it is) to a file, checked
//   too; medians of 3 runs;
// - reconnect: ser2net killed and started again 20 times, the time from its start to the
//   port's "открыт".
// Usage: remote_port [MiB] [runs]
#include "app/report_queue.h"
#include "app/traffic_recorder.h"
#include "bench/bench_support.h"
#include "codec/codec.h"
#include "engine/terminal.h"
#include "engine/timer_queue.h"
#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/rfc2217.h"
#include "tests/support/net_servers.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr int GapMs = 5;
const std::string EchoPacket("\x01\x02\x03\x04\x05"), EchoAnswer("\x06\x07");

std::string Rfc2217(uint16_t port) {
    return "rfc2217://127.0.0.1:" + std::to_string(port);
}

TTerminalSettings RemoteSettings(const std::string& spelling) {
    TTerminalSettings settings;
    settings.Device = spelling;
    settings.Line.Parity = 0;
    settings.Timeouts.ReadIntervalTimeout = GapMs;
    return settings;
}

// Counts the port's openings and losses, with the time of the latest opening.
class TPortSink : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        std::lock_guard lock(Mutex);
        if (record->Kind == TTrafficKind::Info &&
            record->Data.find(Utf8ToCp1251(": открыт")) != std::string::npos) {
            ++Opened;
            OpenedAt = bench::TClock::now();
        }
        if (record->Kind == TTrafficKind::Error) ++Lost;
        Changed.notify_all();
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}
    std::optional<bench::TClock::time_point> WaitForOpened(int count) {
        std::unique_lock lock(Mutex);
        if (!Changed.wait_for(lock, 10s, [&] { return Opened >= count; })) return std::nullopt;
        return OpenedAt;
    }
    bool WaitForLost(int count) {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, 10s, [&] { return Lost >= count; });
    }

  private:
    std::mutex Mutex;
    std::condition_variable Changed;
    int Opened = 0, Lost = 0;
    bench::TClock::time_point OpenedAt;
};

bool HoldsOpen(pid_t pid, const std::string& path) {
    std::error_code error;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
    return false;
}

pid_t Ser2netPid(const test::TTempDir& dir) {
    return static_cast<pid_t>(std::stol(bench::ReadAll(dir.Path("ser2net.pid"))));
}

// Waits until ser2net holds the device open (it opens it for a connection).
bool DeviceOpened(const test::TTempDir& dir, const std::string& device) {
    for (auto deadline = bench::TClock::now() + 10s; bench::TClock::now() < deadline;
         std::this_thread::sleep_for(2ms))
        if (std::filesystem::exists(dir.Path("ser2net.pid")) && HoldsOpen(Ser2netPid(dir), device))
            return true;
    return false;
}

int ConnectLoopback(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// 1000 round trips at random pauses, each less the gap; none when an answer was wrong.
std::optional<std::vector<double>> RoundTrips(const char* name, test::TPtyDevice& device) {
    std::mt19937 random(2);
    std::vector<double> trips;
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 3000));
        auto sent = bench::TClock::now();
        device.Write(EchoPacket);
        if (device.Read(EchoAnswer.size(), 2s) != EchoAnswer) {
            std::fprintf(stderr, "%s: no answer in round %d\n", name, i);
            return std::nullopt;
        }
        trips.push_back(bench::Milliseconds(bench::TClock::now() - sent) - GapMs);
    }
    return trips;
}

// The simplest client of ser2net's raw port: a packet ends after the gap's silence and is
// answered at once.
std::optional<std::vector<double>> SocketFloor(uint16_t rawPort, test::TPtyDevice& device,
                                               const test::TTempDir& dir) {
    int fd = ConnectLoopback(rawPort);
    if (fd < 0 || !DeviceOpened(dir, device.SlavePath())) return std::nullopt;
    std::atomic<bool> stop{false};
    std::thread responder([&] {
        char buffer[4096];
        pollfd p{fd, POLLIN, 0};
        while (!stop) {
            if (poll(&p, 1, 100) != 1 || recv(fd, buffer, sizeof buffer, 0) <= 0) continue;
            while (poll(&p, 1, GapMs) == 1)
                recv(fd, buffer, sizeof buffer, 0);
            send(fd, EchoAnswer.data(), EchoAnswer.size(), MSG_NOSIGNAL);
        }
    });
    auto trips = RoundTrips("floor", device);
    stop = true;
    responder.join();
    close(fd);
    std::this_thread::sleep_for(200ms); // ser2net lets the device go
    return trips;
}

void Latency(uint16_t rfc2217Port, uint16_t rawPort, test::TPtyDevice& device,
             const test::TTempDir& dir) {
    auto floor = SocketFloor(rawPort, device, dir);
    std::optional<std::vector<double>> vemla;
    {
        TTerminalSettings settings = RemoteSettings(Rfc2217(rfc2217Port));
        settings.TriggerFile = dir.Write(
            "t.txt", "TRIGGER 1 \"echo\" HEX \"01 02 03 04 05\"\n{ WAIT OUTW \"06 07\" GOTO 2 }\n");
        TPortSink sink;
        TTerminal terminal(sink, settings);
        if (sink.WaitForOpened(1) && DeviceOpened(dir, device.SlavePath())) {
            std::this_thread::sleep_for(200ms);
            vemla = RoundTrips("rfc2217", device);
        }
    }
    std::this_thread::sleep_for(200ms);
    auto after = SocketFloor(rawPort, device, dir);
    if (floor && after) floor->insert(floor->end(), after->begin(), after->end());
    for (auto [name, trips] : {std::pair{"remote_port.trigger_latency.rfc2217", vemla},
                               std::pair{"remote_port.trigger_latency.floor", floor}}) {
        if (!trips) {
            std::fprintf(stderr, "%s: failed\n", name);
            continue;
        }
        bench::Figure((std::string(name) + ".p50").c_str(), bench::Percentile(*trips, 50), "ms");
        bench::Figure((std::string(name) + ".p99").c_str(), bench::Percentile(*trips, 99), "ms");
    }
}

// Every timed flood starts with the files of the ones before it on disk: the kernel's
// write-back would otherwise fall into whichever came next.
bench::TClock::time_point StartClock() {
    ::sync();
    return bench::TClock::now();
}

double MiBPerSecond(size_t bytes, bench::TClock::duration elapsed) {
    return static_cast<double>(bytes) / (1 << 20) / (bench::Milliseconds(elapsed) / 1000.0);
}

// socat copying the stream of the same ser2net port into a file while the device writes the
// data: the bytes as telnet carries them (0xFF doubled), after ser2net's own negotiation.
double SocatSpeed(uint16_t rfc2217Port, test::TPtyDevice& device, const std::string& data,
                  const test::TTempDir& server, const test::TTempDir& dir) {
    const std::string file = dir.Path("socat.out");
    const std::string wire = TTelnetClient::Escape(data);
    test::TChildProcess socat(
        {"/usr/bin/socat", "-u", "TCP:127.0.0.1:" + std::to_string(rfc2217Port), "CREATE:" + file});
    if (!DeviceOpened(server, device.SlavePath())) return 0;
    std::this_thread::sleep_for(100ms);
    const auto start = StartClock();
    std::thread writer([&] { device.Write(data); });
    std::error_code error;
    auto deadline = start + 120s;
    while (std::filesystem::file_size(file, error) < wire.size() && bench::TClock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    const double speed = MiBPerSecond(data.size(), bench::TClock::now() - start);
    writer.join();
    const std::string copied = bench::ReadAll(file);
    const bool whole = copied.size() >= wire.size() &&
                       copied.compare(copied.size() - wire.size(), wire.size(), wire) == 0;
    socat.Terminate(5s);
    std::this_thread::sleep_for(200ms);
    return whole ? speed : 0;
}

struct TFloodRun {
    double Speed = 0;
    size_t Lost = 0;
};

// vemla-cli's pipeline: the engine, its report queue taken in batches, the recorder writing
// Hex logs of 300 lines; timed until every byte is received, then checked in the logs.
TFloodRun VemlaFlood(uint16_t rfc2217Port, test::TPtyDevice& device, const std::string& data,
                     const test::TTempDir& server, const test::TTempDir& dir) {
    TFloodRun run;
    run.Lost = data.size();
    const std::string logs = dir.Path("Log");
    const std::string config =
        dir.Write("c.ini", "[Log]\r\nSize=300\r\nAutoSave=1\r\nDir=" + logs + "\r\nCoding=0\r\n");
    TTrafficRecorder recorder;
    recorder.Configure(TIniFile(config));
    TTimerQueue timers;
    TEvent waiting;
    TReportQueue reports([&waiting] { waiting.Set(); });
    auto handle = [&] {
        for (const TEngineReport& report : reports.Take())
            RecordReport(report, recorder, timers);
    };
    TTerminal terminal(reports, RemoteSettings(Rfc2217(rfc2217Port)));
    const auto opening = bench::TClock::now();
    while (!terminal.IsOpen() && bench::TClock::now() < opening + 10s)
        std::this_thread::sleep_for(1ms);
    if (!DeviceOpened(server, device.SlavePath())) return run;
    std::this_thread::sleep_for(300ms);
    handle();
    const auto start = StartClock();
    std::thread writer([&] { device.Write(data); });
    TEvent never;
    while (recorder.ReceivedBytes() < data.size() && bench::TClock::now() < start + 120s) {
        waiting.Reset();
        handle();
        waiting.WaitFor(5ms, never);
    }
    run.Speed = MiBPerSecond(data.size(), bench::TClock::now() - start);
    writer.join();
    terminal.Stop();
    handle();
    recorder.Finish();
    const std::string logged = bench::LoggedBytes(logs);
    size_t same = 0;
    while (same < std::min(logged.size(), data.size()) && logged[same] == data[same])
        ++same;
    run.Lost = data.size() - same + (logged.size() > data.size() ? logged.size() - data.size() : 0);
    std::this_thread::sleep_for(200ms);
    return run;
}

void Flood(uint16_t rfc2217Port, test::TPtyDevice& device, const test::TTempDir& server,
           size_t mebibytes, int runs) {
    std::string data(mebibytes << 20, '\0');
    std::minstd_rand generator(2026);
    for (char& ch : data)
        ch = static_cast<char>(generator());
    std::vector<double> socat, vemla, ratio;
    size_t lost = 0;
    for (int i = 0; i < runs; ++i) {
        test::TTempDir floorDir, vemlaDir;
        // Each goes first in turn, so that neither always inherits the other's aftermath.
        TFloodRun run;
        if (i % 2 == 1) run = VemlaFlood(rfc2217Port, device, data, server, vemlaDir);
        socat.push_back(SocatSpeed(rfc2217Port, device, data, server, floorDir));
        if (i % 2 == 0) run = VemlaFlood(rfc2217Port, device, data, server, vemlaDir);
        vemla.push_back(run.Speed);
        lost += run.Lost;
        ratio.push_back(socat.back() > 0 ? run.Speed / socat.back() : 0);
        std::fprintf(stderr, "run %d: socat %.2f MiB/s, vemla %.2f MiB/s\n", i + 1, socat.back(),
                     run.Speed);
    }
    bench::Figure("remote_port.flood.socat", bench::Percentile(socat, 50), "MiB/s");
    bench::Figure("remote_port.flood.vemla_rfc2217", bench::Percentile(vemla, 50), "MiB/s");
    bench::Figure("remote_port.flood.ratio", bench::Percentile(ratio, 50), "");
    bench::Figure("remote_port.flood.bytes_lost_or_wrong", static_cast<double>(lost), "bytes");
}

void Reconnect(const test::TTempDir& dir, test::TPtyDevice& device, uint16_t rfc2217Port) {
    constexpr int Cycles = 20;
    auto server = std::make_unique<test::TSer2net>(dir.Path(""), device.SlavePath(), rfc2217Port);
    server->Ready();
    TPortSink sink;
    TTerminal terminal(sink, RemoteSettings(Rfc2217(rfc2217Port)));
    sink.WaitForOpened(1);
    std::minstd_rand random(1);
    std::uniform_int_distribution<int> away(0, 300);
    std::vector<double> latencies;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        server->Kill();
        if (!sink.WaitForLost(cycle + 1)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(away(random)));
        const auto restarted = bench::TClock::now();
        server = std::make_unique<test::TSer2net>(dir.Path(""), device.SlavePath(), rfc2217Port);
        auto opened = sink.WaitForOpened(cycle + 2);
        if (!opened) break;
        latencies.push_back(bench::Milliseconds(*opened - restarted));
    }
    if (latencies.size() != Cycles) {
        std::fputs("remote_port.reconnect: the port did not come back\n", stderr);
        return;
    }
    bench::Figure("remote_port.reconnect.reopen_p50", bench::Percentile(latencies, 50), "ms");
    bench::Figure("remote_port.reconnect.reopen_p99", bench::Percentile(latencies, 99), "ms");
}

} // namespace

int main(int argc, char* argv[]) {
    if (test::Ser2netProgram().empty()) {
        std::fputs("ser2net is not installed (make deps)\n", stderr);
        return 1;
    }
    const size_t mebibytes = argc > 1 ? std::stoul(argv[1]) : 16;
    const int runs = argc > 2 ? std::stoi(argv[2]) : 3;
    test::TTempDir dir;
    test::TPtyDevice device;
    const uint16_t rfc2217Port = test::FreeLoopbackPort(), rawPort = test::FreeLoopbackPort();
    {
        test::TSer2net server(dir.Path(""), device.SlavePath(), rfc2217Port, rawPort);
        if (!server.Ready()) {
            std::fputs("ser2net did not start\n", stderr);
            return 1;
        }
        std::this_thread::sleep_for(300ms); // the readiness probes' connections end
        Latency(rfc2217Port, rawPort, device, dir);
        Flood(rfc2217Port, device, dir, mebibytes, runs);
    }
    Reconnect(dir, device, rfc2217Port);
    return 0;
}
