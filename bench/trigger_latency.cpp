// A pty device sends a 5-byte pattern and a trigger answers with OUTW: the round trip, less
// the 5 ms interval time-out that ends the packet. Then the same for a Modbus read matched by a
// mask with a CRC check and answered by a REPLY that carries a fresh CRC; and the first case
// through vemla's virtual port (pty:), the benchmark in the application's place. The floor is the
// same round trip answered by the simplest program that waits for the same silence: on a virtual
// machine its tail shows how late threads wake up there, whoever answers.
#include "bench/bench_support.h"
#include "bench/pty_floor.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <optional>
#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr int GapMs = 5; // the interval time-out of test::PortConfig

// The packet of the OUTW case and its answer; the floor answers the same.
const std::string EchoPacket("\x01\x02\x03\x04\x05"), EchoAnswer("\x06\x07");

// 1000 round trips of the packet at random pauses, each less the gap; none when an answer
// was wrong or missing.
std::optional<std::vector<double>> RoundTrips(const std::string& name, test::TPtyDevice& device,
                                              const std::string& packet,
                                              const std::string& expected) {
    std::mt19937 random(2);
    std::vector<double> trips;
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 3000));
        auto sent = bench::TClock::now();
        device.Write(packet);
        if (device.Read(expected.size(), 2s) != expected) {
            std::fprintf(stderr, "%s: no answer in round %d\n", name.c_str(), i);
            return std::nullopt;
        }
        trips.push_back(bench::Milliseconds(bench::TClock::now() - sent) - GapMs);
    }
    return trips;
}

int Report(const std::string& name, const std::optional<std::vector<double>>& trips) {
    if (!trips) return 1;
    bench::Figure((name + ".p50").c_str(), bench::Percentile(*trips, 50), "ms");
    bench::Figure((name + ".p99").c_str(), bench::Percentile(*trips, 99), "ms");
    return 0;
}

int Measure(const std::string& name, const std::string& trigger, const std::string& packet,
            const std::string& expected) {
    test::TTempDir dir;
    test::TPtyDevice device;
    bench::TNullHost host;
    std::string triggers = dir.Write("t.txt", trigger);
    TTerminal terminal(
        host, test::SettingsOf(dir.Write(
                  "c.ini", test::PortConfig(device.SlavePath(),
                                            "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))));
    return Report(name, RoundTrips(name, device, packet, expected));
}

// The OUTW case on a virtual port that vemla makes; the benchmark opens it as an application.
int MeasureVirtualPort(const std::string& name, const std::string& trigger) {
    test::TTempDir dir;
    bench::TNullHost host;
    const std::string link = dir.Path("ttyV0");
    std::string triggers = dir.Write("t.txt", trigger);
    TTerminal terminal(
        host, test::SettingsOf(dir.Write(
                  "c.ini", test::PortConfig("pty:" + link,
                                            "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))));
    if (!terminal.IsOpen()) {
        std::fprintf(stderr, "%s: the virtual port did not open\n", name.c_str());
        return 1;
    }
    test::TPtyDevice application(link);
    return Report(name, RoundTrips(name, application, EchoPacket, EchoAnswer));
}

std::optional<std::vector<double>> FloorTrips() {
    bench::TRawResponder responder(EchoAnswer, GapMs);
    return RoundTrips("trigger_latency.floor", responder.Device(), EchoPacket, EchoAnswer);
}

} // namespace

int main() {
    const std::string request("\x01\x03\x00\x05\x00\x01\x94\x0B", 8);
    std::string reply("\x01\x03\x02\x00\x05", 5);
    reply += TChecksum::FromText("CRC16M")->WrittenFor(reply);
    // The floor is timed before and after vemla and reported as one: a virtual machine may have
    // minutes in which one pty round trip in ten or more is a few milliseconds late, and the two
    // halves together see the same minutes as vemla does.
    std::optional<std::vector<double>> floor = FloorTrips();
    const std::string echo =
        "TRIGGER 1 \"echo\" HEX \"01 02 03 04 05\"\n{ WAIT OUTW \"06 07\" GOTO 2 }\n";
    int failed = Measure("trigger_latency", echo, EchoPacket, EchoAnswer) +
                 MeasureVirtualPort("trigger_latency.virtual_port", echo) +
                 Measure("trigger_latency.mask_reply_crc16m",
                         "TRIGGER 1 \"read\" MASK HEX \"01 03 ?? ?? 00 01 =CRC16M\"\n"
                         "{ WAIT REPLYW \"$0 $1 02 $2..3 CRC16M\" GOTO 2 }\n",
                         request, reply);
    std::optional<std::vector<double>> after = FloorTrips();
    if (floor && after) floor->insert(floor->end(), after->begin(), after->end());
    if (!after) floor.reset();
    return failed + Report("trigger_latency.floor", floor);
}
