// End to end: N MiB (default 16) of pseudo-random bytes written into a pty as fast as the line
// takes them, received by the real vemla (hidden, shown on the offscreen platform, vemla-cli) with
// AutoSave=1, Size=300, Hex coding, and checked byte for byte in its log files; in the same run
// `cat PORT > FILE` on a fresh pty is the floor. The time runs from the first byte written to
// the log holding the last one (vemla is asked to close once the writer is done, which writes
// the last lines). Prints MiB/s of each, their ratio, bytes lost or wrong, vemla's peak memory;
// medians over the runs (default 3). After vemla's rounds, as many rounds time the simplest
// program that writes the same hex log files, as a process of its own as vemla is: once on one
// thread, and once with a second thread that logs what the reading thread hands it (vemla's
// shape), the floor of any program built as vemla is. Their ratios are ratios of the medians.
// Every run's files stay until the end: about 15 times N on disk per round (two copies by cat,
// four sets of hex logs), 45 times N for the default 3.
// The files go to the system's temporary directory (TMPDIR). Where many files were deleted
// recently, an ext4 without a journal makes every new file skip their inodes, and vemla makes
// one file per 300 lines: on a busy test machine that can cost a tenth of the figure or more.
// Usage: flood_log [MiB] [runs]
// (flood_log --hex-log-floor PORT BYTES DIR 1|2 is the floor program, started by itself.)
#include "bench/bench_support.h"
#include "bench/hex_log_floor.h"
#include "bench/process_stats.h"
#include "codec/codec.h"
#include "tests/support/child_process.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

// True once the process holds the file open (vemla has opened its port).
bool HoldsOpen(pid_t pid, const std::string& path) {
    std::error_code error;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
    }
    return false;
}

template <typename TCondition> bool WaitUntil(TCondition condition, std::chrono::seconds limit) {
    auto deadline = bench::TClock::now() + limit;
    while (!condition()) {
        if (bench::TClock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Every run starts with the files of the runs before it written to disk: the kernel's
// write-back of a few hundred megabytes would otherwise fall into whichever run came next.
bench::TClock::time_point StartClock() {
    ::sync();
    return bench::TClock::now();
}

double MiBPerSecond(size_t bytes, bench::TClock::duration elapsed) {
    return static_cast<double>(bytes) / (1 << 20) / (bench::Milliseconds(elapsed) / 1000.0);
}

struct TRun {
    double Speed = 0;
    size_t Lost = 0, Wrong = 0;
    long PeakKiB = 0;
};

TRun TimeCat(const std::string& data, const test::TTempDir& dir) {
    test::TPtyDevice device;
    std::string file = dir.Path("cat.out");
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    test::TSpawnOptions options;
    options.StandardOutput = fd;
    test::TChildProcess cat({"/bin/cat", device.SlavePath()}, options);
    close(fd);
    WaitUntil([&] { return HoldsOpen(cat.Pid(), device.SlavePath()); }, 10s);
    auto start = StartClock();
    device.Write(data);
    WaitUntil(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(file, error) >= data.size();
        },
        120s);
    TRun run;
    run.Speed = MiBPerSecond(data.size(), bench::TClock::now() - start);
    cat.Terminate(5s);
    return run;
}

// The floor program on a fresh pty, timed from the first byte written to its exit, which
// follows the last file written.
double TimeHexLogFloor(const std::string& data, bool logThread, const test::TTempDir& dir) {
    test::TPtyDevice device;
    test::TChildProcess program({std::filesystem::read_symlink("/proc/self/exe").string(),
                                 "--hex-log-floor", device.SlavePath(), std::to_string(data.size()),
                                 dir.Directory().string(), logThread ? "2" : "1"});
    if (!WaitUntil([&] { return HoldsOpen(program.Pid(), device.SlavePath()); }, 10s)) {
        std::fputs("the hex log floor did not open its port\n", stderr);
        return 0;
    }
    auto start = StartClock();
    device.Write(data);
    int code = program.WaitForExit(120s);
    double speed = MiBPerSecond(data.size(), bench::TClock::now() - start);
    if (code != 0 || bench::LoggedBytes(dir.Directory()) != data) {
        std::fputs("the hex log floor did not log every byte\n", stderr);
        return 0;
    }
    return speed;
}

// How vemla runs: its window hidden, shown (offscreen), as vemla-cli, or hidden on a virtual
// port (pty:) that the benchmark opens as the application.
enum TMode { Hidden, Shown, Cli, VirtualPort };

TRun TimeVemla(const std::string& data, TMode mode, const test::TTempDir& dir) {
    const bool shown = mode == Shown;
    const std::string link = dir.Path("ttyV0");
    std::unique_ptr<test::TPtyDevice> pty;
    if (mode != VirtualPort) pty = std::make_unique<test::TPtyDevice>();
    std::string config = dir.Write(
        "config.ini", test::PortConfig(pty ? pty->SlavePath() : "pty:" + link,
                                       std::string("[Terminal]\r\nHide=") + (shown ? "0" : "1") +
                                           "\r\n[Log]\r\nSize=300\r\nAutoSave=1\r\nDir=Log\r\n"));
    test::TSpawnOptions options;
    options.WorkingDirectory = dir.Directory().string();
    options.Environment = {"QT_QPA_PLATFORM=offscreen"};
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    options.StandardOutput = null;
    options.ErrorsToOutput = true;
    test::TChildProcess vemla({mode == Cli ? VEMLA_CLI_BINARY : VEMLA_BINARY, config}, options);
    close(null);
    TRun run;
    auto opened = [&] {
        return pty ? HoldsOpen(vemla.Pid(), pty->SlavePath())
                   : std::filesystem::is_symlink(std::filesystem::symlink_status(link));
    };
    if (!WaitUntil(opened, 10s)) {
        std::fputs("vemla did not open its port\n", stderr);
        run.Lost = data.size();
        return run;
    }
    if (!pty) pty = std::make_unique<test::TPtyDevice>(link);
    test::TPtyDevice& device = *pty;
    // Opening ends with a flush of stale input: bytes written before it are gone by design.
    std::this_thread::sleep_for(500ms);
    std::atomic<bool> watching{true};
    std::thread memory([&] {
        while (watching) {
            run.PeakKiB = std::max(run.PeakKiB, bench::ProcessMemoryKiB(vemla.Pid(), "VmHWM:"));
            std::this_thread::sleep_for(20ms);
        }
    });
    auto start = StartClock();
    device.Write(data);
    // Once vemla has read the last byte (the port's queue empty, and still empty a moment
    // later: the reader may hold bytes read ahead while its window catches up) it is asked to
    // close, which logs the last lines. The clock counts up to the queue's emptying and the
    // close, not the moment of waiting between them.
    bench::TClock::time_point drained;
    WaitUntil(
        [&] {
            if (device.QueuedToPort() != 0) return false;
            drained = bench::TClock::now();
            auto quiet = drained + 30ms;
            while (bench::TClock::now() < quiet)
                if (device.QueuedToPort() != 0) return false;
            return true;
        },
        120s);
    auto closing = bench::TClock::now();
    int code = vemla.Terminate(120s);
    run.Speed = MiBPerSecond(data.size(), (drained - start) + (bench::TClock::now() - closing));
    watching = false;
    memory.join();
    std::string logged = bench::LoggedBytes(dir.Path("Log"));
    size_t common = std::min(logged.size(), data.size());
    for (size_t i = 0; i < common; ++i)
        if (logged[i] != data[i]) ++run.Wrong;
    run.Lost = data.size() - common;
    run.Wrong += logged.size() - common; // bytes logged twice or never sent
    if (code != 0) std::fprintf(stderr, "vemla exited with %d\n", code);
    return run;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 6 && std::string(argv[1]) == "--hex-log-floor") {
        try {
            bool logged =
                bench::LogPortAsHex(argv[2], std::stoul(argv[3]), argv[4], argv[5][0] == '2');
            return logged ? 0 : 1;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
    }
    const size_t mebibytes = argc > 1 ? std::stoul(argv[1]) : 16;
    const int runs = argc > 2 ? std::stoi(argv[2]) : 3;
    std::string data(mebibytes << 20, '\0');
    std::minstd_rand generator(2026);
    for (char& ch : data)
        ch = static_cast<char>(generator());

    struct TSeries {
        std::vector<double> Cat, Vemla, Ratio;
        size_t Lost = 0, Wrong = 0;
        long Peak = 0;
    } series[4];
    // Every run's files stay until the end: on ext4, a file created soon after many were
    // deleted nearby pays for skipping their inodes, so removing one run's few hundred log
    // files would tax the file creations of the next run (and vemla makes one per 300 lines).
    std::vector<std::unique_ptr<test::TTempDir>> directories;
    auto directory = [&]() -> const test::TTempDir& {
        return *directories.emplace_back(std::make_unique<test::TTempDir>());
    };
    // Hidden and shown take turns, each right after its own cat, so that a machine that
    // slows down or speeds up during the runs does not favour one of them.
    for (int i = 0; i < runs; ++i) {
        for (TMode mode : {Hidden, Shown, Cli, VirtualPort}) {
            TSeries& s = series[mode];
            TRun floor = TimeCat(data, directory());
            TRun run = TimeVemla(data, mode, directory());
            s.Cat.push_back(floor.Speed);
            s.Vemla.push_back(run.Speed);
            s.Ratio.push_back(run.Speed / floor.Speed);
            s.Lost += run.Lost;
            s.Wrong += run.Wrong;
            s.Peak = std::max(s.Peak, run.PeakKiB);
        }
    }
    // The hex log floors after all of vemla's rounds, so that they change nothing in those.
    std::vector<double> oneThread, twoThreads;
    for (int i = 0; i < runs; ++i) {
        oneThread.push_back(TimeHexLogFloor(data, false, directory()));
        twoThreads.push_back(TimeHexLogFloor(data, true, directory()));
    }
    for (TMode mode : {Hidden, Shown, Cli, VirtualPort}) {
        const TSeries& s = series[mode];
        const char* prefixes[] = {"flood_log.hidden.", "flood_log.shown.", "flood_log.cli.",
                                  "flood_log.virtual_port."};
        std::string prefix = prefixes[mode];
        auto figure = [&](const char* name, double value, const char* unit) {
            bench::Figure((prefix + name).c_str(), value, unit);
        };
        figure("mebibytes", static_cast<double>(mebibytes), "MiB");
        figure("vemla", bench::Percentile(s.Vemla, 50), "MiB/s");
        figure("cat", bench::Percentile(s.Cat, 50), "MiB/s");
        figure("ratio", bench::Percentile(s.Ratio, 50), "");
        figure("bytes_lost", static_cast<double>(s.Lost), "bytes");
        figure("bytes_wrong", static_cast<double>(s.Wrong), "bytes");
        figure("vemla_peak_rss", static_cast<double>(s.Peak) / 1024.0, "MiB");
    }
    bench::Figure("flood_log.hex_floor.one_thread", bench::Percentile(oneThread, 50), "MiB/s");
    bench::Figure("flood_log.hex_floor.two_threads", bench::Percentile(twoThreads, 50), "MiB/s");
    bench::Figure("flood_log.hex_floor.two_threads_of_cat",
                  bench::Percentile(twoThreads, 50) / bench::Percentile(series[0].Cat, 50), "");
    bench::Figure("flood_log.hidden.of_two_threads",
                  bench::Percentile(series[Hidden].Vemla, 50) / bench::Percentile(twoThreads, 50),
                  "");
    // Each against its own cat run: the two differ only in the port.
    bench::Figure("flood_log.virtual_port.ratio_of_hidden",
                  bench::Percentile(series[VirtualPort].Ratio, 50) /
                      bench::Percentile(series[Hidden].Ratio, 50),
                  "");
    bench::Figure("flood_log.cli.of_two_threads",
                  bench::Percentile(series[Cli].Vemla, 50) / bench::Percentile(twoThreads, 50), "");
    return 0;
}
