// How long vemla-cli and vemla --hide (offscreen) take from being started to "port opened" on
// a pty, as their echo shows it, and how much memory each holds then: median over the starts
// (default 20). The configuration names the port and loads the example trigger file.
// Usage: start_up [starts]
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "tests/support/child_process.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

struct TStart {
    double Milliseconds = -1; // -1: the port was not reported open
    double IdleMiB = 0;
};

TStart TimeStart(const char* binary, bool hide) {
    test::TTempDir dir;
    test::TPtyDevice device;
    std::string config = dir.Write(
        "config.ini", test::PortConfig(device.SlavePath(), "[Terminal]\r\nTriggerFile=" EXAMPLES_DIR
                                                           "/triggers.txt\r\n"));
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return {};
    test::TSpawnOptions options;
    options.WorkingDirectory = dir.Directory().string();
    options.StandardOutput = out[1];
    options.ErrorsToOutput = true; // the toolkit's notes are no figures
    options.Environment = {"QT_QPA_PLATFORM=offscreen"};
    std::vector<std::string> arguments = {binary, config, "--echo"};
    if (hide) arguments.push_back("--hide");
    auto start = bench::TClock::now();
    test::TChildProcess program(arguments, options);
    close(out[1]);
    TStart result;
    std::string echoed;
    while (echoed.find(": открыт") == std::string::npos) {
        pollfd p{out[0], POLLIN, 0};
        char buffer[4096];
        if (poll(&p, 1, 10000) <= 0) break;
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        echoed.append(buffer, static_cast<size_t>(n));
    }
    if (echoed.find(": открыт") != std::string::npos) {
        result.Milliseconds = bench::Milliseconds(bench::TClock::now() - start);
        std::this_thread::sleep_for(500ms); // settled: its threads started, nothing arriving
        result.IdleMiB = bench::ProcessMemoryKiB(program.Pid(), "VmRSS:") / 1024.0;
    }
    program.Terminate(10s);
    close(out[0]);
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    const int starts = argc > 1 ? std::stoi(argv[1]) : 20;
    struct {
        const char* Name;
        const char* Binary;
        bool Hide;
    } programs[] = {{"vemla_cli", VEMLA_CLI_BINARY, false}, {"vemla_hide", VEMLA_BINARY, true}};
    for (const auto& program : programs) {
        std::vector<double> times, memory;
        int failed = 0;
        for (int i = 0; i < starts; ++i) {
            TStart start = TimeStart(program.Binary, program.Hide);
            if (start.Milliseconds < 0) {
                ++failed;
                continue;
            }
            times.push_back(start.Milliseconds);
            memory.push_back(start.IdleMiB);
        }
        std::string prefix = std::string("start_up.") + program.Name + ".";
        bench::Figure((prefix + "to_port_open_p50").c_str(), bench::Percentile(times, 50), "ms");
        bench::Figure((prefix + "to_port_open_p90").c_str(), bench::Percentile(times, 90), "ms");
        bench::Figure((prefix + "idle_rss_p50").c_str(), bench::Percentile(memory, 50), "MiB");
        bench::Figure((prefix + "failed_starts").c_str(), failed, "");
    }
    return 0;
}
