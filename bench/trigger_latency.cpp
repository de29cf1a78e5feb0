// A pty device sends a 5-byte pattern and a trigger answers with OUTW: the round trip,
// less the 5 ms interval time-out that ends the packet.
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <random>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

namespace {
class TNullHost : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord>) override {}
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}
};
} // namespace

int main() {
    test::TTempDir dir;
    test::TPtyDevice device;
    TNullHost host;
    std::string triggers = dir.Write("t.txt", "TRIGGER 1 \"echo\" HEX \"01 02 03 04 05\"\n"
                                              "{ WAIT OUTW \"06 07\" GOTO 2 }\n");
    TTerminal terminal(
        host, dir.Write("c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                     "\r\nReadIntervalTimeout=5\r\n[Terminal]\r\nTriggerFile=" +
                                     triggers + "\r\n"));
    std::mt19937 random(2);
    std::vector<double> trips;
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 3000));
        auto sent = bench::TClock::now();
        device.Write("\x01\x02\x03\x04\x05");
        std::string answer = device.Read(2, 2s);
        if (answer != "\x06\x07") {
            std::fprintf(stderr, "no answer in round %d\n", i);
            return 1;
        }
        trips.push_back(bench::Milliseconds(bench::TClock::now() - sent) - 5.0);
    }
    bench::Figure("trigger_latency.p50", bench::Percentile(trips, 50), "ms");
    bench::Figure("trigger_latency.p99", bench::Percentile(trips, 99), "ms");
    return 0;
}
