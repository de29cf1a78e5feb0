// A simulated serial device on a pseudo-terminal. vemla opens the published link as its port;
// this program plays the device: it prints every packet it receives and sends a scenario.
#include "codec/checksum.h"
#include "codec/codec.h"
#include "platform/cp1251.h"
#include "platform/system.h"
#include "tests/support/percentile.h"
#include "tests/support/pty_device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

volatile std::sig_atomic_t StopRequested = 0;
extern "C" void OnStopSignal(int) {
    StopRequested = 1;
}

constexpr auto PacketGap = 5ms; // silence that ends a received packet

struct TOptions {
    std::string Link;
    bool Open = false; // LINK is a port that exists (vemla's virtual port): play on it
    enum { Demo, Flood, RoundTrips, ModbusMaster } Mode = Demo;
    long long Count = 0;
    std::string Pattern = "01 02 03 04 05";
    double Duration = 0;   // seconds; 0 runs until a signal
    double StartAfter = 0; // seconds to wait before sending, so the peer can open its port
    bool Quiet = false;
    unsigned Seed = 1; // of the flood's bytes
};

void Usage(std::FILE* stream) {
    std::fputs("Usage: vemla-device LINK [--flood N | --round-trips N [--pattern HEX] |\n"
               "                         --modbus-master]\n"
               "                         [--seed S] [--start-after SECONDS] [--duration SECONDS] "
               "[--quiet] [--open]\n"
               "\n"
               "Opens a pseudo-terminal, publishes vemla's side of it as the symlink LINK and\n"
               "plays a device on the other side (with --open: opens LINK, a port that exists,\n"
               "such as vemla's pty:LINK, and plays there, as an application would). Without a "
               "mode it plays the demo scenario of\n"
               "examples/triggers.txt: PING<CR> every 2 s, the poll 01 03 00 00 every second,\n"
               "AA 55 once after 10 s, and reports which answers came back and how late.\n"
               "  --flood N        send N pseudo-random bytes as fast as the line takes them\n"
               "  --seed S         the flood's seed (1), so that floods of two devices differ\n"
               "  --start-after S  wait S seconds more before sending (a published LINK is\n"
               "                   waited for until the other side opens it in any case)\n"
               "  --round-trips N  send the pattern N times, each after the previous reply\n"
               "                   arrived, and print the latency percentiles\n"
               "  --modbus-master  poll the Modbus RTU slave 1 of examples/modbus-slave.txt:\n"
               "                   reads and writes of random registers, now and then a frame\n"
               "                   with a wrong CRC; every answer's content and CRC checked\n"
               "  --pattern HEX    what --round-trips sends (01 02 03 04 05)\n"
               "  --duration S     end after S seconds (without it: at a signal)\n"
               "  --quiet          print no packets, only what is reported of them\n"
               "  -h, --help       print this text\n",
               stream);
}

bool ParseOptions(int argc, char* argv[], TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* value = nullptr;
        if (argument == "--flood" && (value = next())) {
            options.Mode = TOptions::Flood;
            options.Count = std::atoll(value);
        } else if (argument == "--round-trips" && (value = next())) {
            options.Mode = TOptions::RoundTrips;
            options.Count = std::atoll(value);
        } else if (argument == "--modbus-master") {
            options.Mode = TOptions::ModbusMaster;
        } else if (argument == "--pattern" && (value = next())) {
            options.Pattern = value;
        } else if (argument == "--duration" && (value = next())) {
            options.Duration = std::atof(value);
        } else if (argument == "--start-after" && (value = next())) {
            options.StartAfter = std::atof(value);
        } else if (argument == "--seed" && (value = next())) {
            options.Seed = static_cast<unsigned>(std::atoll(value));
        } else if (argument == "--quiet") {
            options.Quiet = true;
        } else if (argument == "--open") {
            options.Open = true;
        } else if (!argument.empty() && argument[0] != '-' && options.Link.empty()) {
            options.Link = argument;
        } else {
            return false;
        }
    }
    return !options.Link.empty();
}

std::string Stamp() {
    vemla::TLocalTime t = vemla::DecodeDateTime(vemla::Now());
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second,
                  t.Millisecond);
    return text;
}

// The pty of the device, published as the link vemla opens; or a port that exists.
class TDevice {
  public:
    TDevice(const std::string& link, bool open) : Link(open ? std::string() : link) {
        try {
            Pty = open ? std::make_unique<vemla::test::TPtyDevice>(link)
                       : std::make_unique<vemla::test::TPtyDevice>();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vemla-device: %s: %s\n", error.what(), std::strerror(errno));
            std::exit(1);
        }
        if (!open) {
            // Watched before the link exists: nobody can open the port unseen.
            Openings = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (Openings >= 0 &&
                inotify_add_watch(Openings, Pty->SlavePath().c_str(), IN_OPEN) < 0) {
                close(Openings);
                Openings = -1;
            }
            unlink(link.c_str());
            if (symlink(Pty->SlavePath().c_str(), link.c_str()) != 0) {
                std::fprintf(stderr, "vemla-device: cannot create %s: %s\n", link.c_str(),
                             std::strerror(errno));
                std::exit(1);
            }
        }
        std::printf("%s device ready: %s -> %s\n", Stamp().c_str(), link.c_str(),
                    Pty->SlavePath().c_str());
        std::fflush(stdout);
    }
    ~TDevice() {
        if (!Link.empty()) unlink(Link.c_str());
        if (Openings >= 0) close(Openings);
    }

    // Until the other side opens the port (a published link only): bytes sent before that
    // would be flushed by the opening, and an answer the scenario waits for would be missing
    // for no fault of the other side. False when a stop was requested first.
    bool WaitForTheOtherSide() {
        if (Openings < 0) return true;
        std::printf("%s waiting until %s is opened\n", Stamp().c_str(), Link.c_str());
        std::fflush(stdout);
        pollfd watch{Openings, POLLIN, 0};
        while (!Stopping() && poll(&watch, 1, 100) <= 0) {
        }
        if (Stopping()) return false;
        // The opener sets the line up (and may flush it) just after opening: a moment for it.
        constexpr int SetUpMilliseconds = 300;
        poll(nullptr, 0, SetUpMilliseconds);
        std::printf("%s %s is open\n", Stamp().c_str(), Link.c_str());
        std::fflush(stdout);
        return true;
    }

    // Writes everything, waiting for the line; false when a stop was requested.
    bool Write(std::string_view bytes) { return Pty->Write(bytes, Stopping); }
    // Waits up to timeout for a packet: bytes that end with PacketGap of silence.
    std::string ReadPacket(std::chrono::milliseconds timeout) {
        return Pty->ReadPacket(timeout, PacketGap, Stopping);
    }

  private:
    static bool Stopping() { return StopRequested != 0; }
    std::unique_ptr<vemla::test::TPtyDevice> Pty;
    std::string Link;  // removed at the end; empty for a port that was there
    int Openings = -1; // inotify: opens of the published port
};

void PrintPacket(const char* direction, std::string_view bytes) {
    std::printf("%s %s %s | %s\n", Stamp().c_str(), direction,
                vemla::BytesToText(bytes, vemla::TCoding::Hex).c_str(),
                vemla::Cp1251ToUtf8(vemla::BytesToText(bytes, vemla::TCoding::WinHex)).c_str());
    std::fflush(stdout);
}

bool TimeIsUp(const TOptions& options, TClock::time_point start) {
    return StopRequested ||
           (options.Duration > 0 &&
            TClock::now() - start >= std::chrono::duration<double>(options.Duration));
}

int RunFlood(TDevice& device, const TOptions& options) {
    std::minstd_rand generator(options.Seed);
    std::string chunk;
    auto start = TClock::now();
    long long sent = 0;
    while (sent < options.Count && !StopRequested) {
        chunk.resize(static_cast<size_t>(std::min<long long>(65536, options.Count - sent)));
        for (char& ch : chunk)
            ch = static_cast<char>(generator());
        if (!device.Write(chunk)) break;
        sent += static_cast<long long>(chunk.size());
    }
    double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    std::printf("%s flood: %lld bytes in %.3f s (%.2f MiB/s)\n", Stamp().c_str(), sent, seconds,
                static_cast<double>(sent) / (1 << 20) / seconds);
    std::fflush(stdout);
    // Keep the line open until told to stop, so the reader can drain it.
    while (!TimeIsUp(options, start))
        device.ReadPacket(200ms);
    return sent == options.Count ? 0 : 1;
}

int RunRoundTrips(TDevice& device, const TOptions& options) {
    std::string pattern = vemla::TextToBytes(options.Pattern, vemla::TCoding::Hex);
    std::vector<double> latencies;
    int missed = 0;
    for (long long i = 0; i < options.Count && !StopRequested; ++i) {
        auto sent = TClock::now();
        if (!device.Write(pattern)) break;
        std::string reply = device.ReadPacket(2000ms);
        if (reply.empty()) {
            ++missed;
            continue;
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(TClock::now() - sent).count());
        if (!options.Quiet) PrintPacket("<--", reply);
    }
    std::printf("round trips: %zu answered, %d missed, p50 %.3f ms, p99 %.3f ms (reply gap %lld ms "
                "included)\n",
                latencies.size(), missed, vemla::test::Percentile(latencies, 50),
                vemla::test::Percentile(latencies, 99), static_cast<long long>(PacketGap.count()));
    return missed == 0 ? 0 : 1;
}

// The scenario that examples/triggers.txt answers.
int RunDemo(TDevice& device, const TOptions& options) {
    struct TRequest {
        std::string Name, Bytes, Expected;
        TClock::duration Period;
        TClock::time_point Due;
        bool Once;
    };
    const std::string poll("\x01\x03\x00\x00", 4);
    auto start = TClock::now();
    std::vector<TRequest> requests = {
        {"PING", "PING\r", "PONG\r", 2s, start + 500ms, false},
        {"poll", poll, std::string("\x01\x03\x02\x00\x2A", 5), 1s, start + 1s, false},
        {"fault", "\xAA\x55", "", 0s, start + 10250ms, true},
    };
    struct TPending {
        std::string Name, Expected;
        TClock::time_point Sent;
    };
    std::deque<TPending> pending;
    int answered = 0, unanswered = 0, unexpected = 0;
    while (!TimeIsUp(options, start)) {
        auto now = TClock::now();
        for (TRequest& request : requests) {
            if (request.Due > now) continue;
            PrintPacket("-->", request.Bytes);
            device.Write(request.Bytes);
            if (!request.Expected.empty()) {
                // A request sent again gives up on the answer to the one before.
                auto earlier = std::find_if(pending.begin(), pending.end(),
                                            [&](const auto& p) { return p.Name == request.Name; });
                if (earlier != pending.end()) {
                    std::printf("%s no answer to %s\n", Stamp().c_str(), request.Name.c_str());
                    pending.erase(earlier);
                    ++unanswered;
                }
                pending.push_back({request.Name, request.Expected, TClock::now()});
            }
            if (request.Name == "fault")
                requests[1].Expected = "\x01\x83\x02"; // the poll now fails
            request.Due = request.Once ? TClock::time_point::max() : request.Due + request.Period;
        }
        auto next =
            std::min_element(requests.begin(), requests.end(), [](const auto& a, const auto& b) {
                return a.Due < b.Due;
            })->Due;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - TClock::now());
        std::string packet = device.ReadPacket(std::max(wait, 1ms));
        if (packet.empty()) continue;
        PrintPacket("<--", packet);
        auto match = std::find_if(pending.begin(), pending.end(),
                                  [&](const auto& p) { return p.Expected == packet; });
        if (match == pending.end()) {
            ++unexpected;
            continue;
        }
        double late =
            std::chrono::duration<double, std::milli>(TClock::now() - match->Sent).count();
        std::printf("%s answer to %s after %.1f ms\n", Stamp().c_str(), match->Name.c_str(), late);
        std::fflush(stdout);
        pending.erase(match);
        ++answered;
    }
    std::printf("demo: %d answers, %zu requests unanswered, %d unexpected packets\n", answered,
                unanswered + pending.size(), unexpected);
    return 0;
}

// A Modbus RTU master for examples/modbus-slave.txt: a request every 100 ms, each answer
// checked (content and CRC); a frame with a wrong CRC must get no answer at all.
int RunModbusMaster(TDevice& device, const TOptions& options) {
    const auto crc = vemla::TChecksum::FromText("CRC16M");
    auto frame = [&](std::string bytes) { return bytes + crc->WrittenFor(bytes); };
    std::minstd_rand random(options.Seed);
    int good = 0, bad = 0, missed = 0;
    auto start = TClock::now();
    for (long long i = 0; !TimeIsUp(options, start); ++i) {
        const char high = static_cast<char>(random() & 0xFF), low = static_cast<char>(random());
        std::string request, expected;
        switch (i % 4) {
        case 0:
        case 1: { // read one or two registers: each reads 00 2A
            const char count = static_cast<char>(1 + i % 2);
            request = frame({'\x01', '\x03', high, low, '\x00', count});
            expected = frame(count == 1 ? std::string("\x01\x03\x02\x00\x2A", 5)
                                        : std::string("\x01\x03\x04\x00\x2A\x00\x2A", 7));
            break;
        }
        case 2: // write a register: the answer repeats the request
            request = frame({'\x01', '\x06', high, low, '\x12', '\x34'});
            expected = request;
            break;
        default: // a frame with a wrong CRC: no answer
            request = frame({'\x01', '\x03', high, low, '\x00', '\x01'});
            request.back() = static_cast<char>(request.back() ^ 0x01);
            break;
        }
        if (!options.Quiet) PrintPacket("-->", request);
        device.Write(request);
        std::string answer = device.ReadPacket(expected.empty() ? 100ms : 1000ms);
        if (!answer.empty() && !options.Quiet) PrintPacket("<--", answer);
        if (answer == expected)
            ++good;
        else if (answer.empty())
            ++missed;
        else
            ++bad;
        device.ReadPacket(100ms);
    }
    std::printf("modbus: %d exchanges right, %d answers wrong, %d answers missing\n", good, bad,
                missed);
    return bad == 0 && missed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        }
    }
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        Usage(stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TDevice device(options.Link, options.Open);
    if (!device.WaitForTheOtherSide()) return 0;
    auto waitUntil = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                         std::chrono::duration<double>(options.StartAfter));
    while (TClock::now() < waitUntil && !StopRequested)
        device.ReadPacket(50ms);
    switch (options.Mode) {
    case TOptions::Flood:
        return RunFlood(device, options);
    case TOptions::RoundTrips:
        return RunRoundTrips(device, options);
    case TOptions::ModbusMaster:
        return RunModbusMaster(device, options);
    default:
        return RunDemo(device, options);
    }
}
