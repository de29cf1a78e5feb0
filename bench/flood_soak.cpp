// 64 MiB from vemla-device into a running vemla (AutoSave on, Size 300), then 32 MiB each into
// two vemlas that share one log directory: every byte must reach the log files once and in
// order; prints the byte counts and vemla's memory over time.
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "codec/codec.h"
#include "tests/support/child_process.h"
#include "tests/support/port_config.h"
#include "tests/support/temp_dir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <thread>
#include <unistd.h>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr long long Total = 64ll << 20;

// A program with its standard output in a file.
std::unique_ptr<test::TChildProcess> Spawn(const std::vector<std::string>& arguments,
                                           const std::string& directory,
                                           const std::string& output) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    test::TSpawnOptions options;
    options.WorkingDirectory = directory;
    options.StandardOutput = fd;
    auto child = std::make_unique<test::TChildProcess>(arguments, options);
    close(fd);
    return child;
}

struct TSoak {
    long long Received = 0, Wrong = 0;
    size_t LogFiles = 0;
    double Seconds = 0;
    std::vector<long> Memory; // of the first instance, once a second
    int ExitCode = 0;         // the worst of the instances
};

// Floods `instances` vemlas, each from its own device with its own seed, all logging into one
// directory; then checks that every byte of every device is in the logs once and in order.
TSoak Soak(int instances, long long perInstance) {
    test::TTempDir dir;
    std::string root = dir.Directory().string();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<std::unique_ptr<test::TChildProcess>> devices, vemlas;
    for (int i = 1; i <= instances; ++i) {
        std::string link = dir.Path("port" + std::to_string(i));
        devices.push_back(Spawn({VEMLA_DEVICE, link, "--flood", std::to_string(perInstance),
                                 "--seed", std::to_string(i), "--start-after", "2"},
                                root, dir.Path("device" + std::to_string(i) + ".out")));
        while (!std::filesystem::is_symlink(link))
            std::this_thread::sleep_for(10ms);
        std::string config =
            dir.Write("config" + std::to_string(i) + ".ini",
                      test::PortConfig(link, "[Log]\r\nSize=300\r\nAutoSave=1\r\nDir=Log\r\n"));
        vemlas.push_back(
            Spawn({VEMLA_BINARY, config}, root, dir.Path("vemla" + std::to_string(i) + ".out")));
    }
    auto start = bench::TClock::now();

    // Memory once a second until the devices have sent everything and the logs stop growing.
    TSoak soak;
    uintmax_t lastSize = 0;
    int still = 0;
    while (still < 3) {
        std::this_thread::sleep_for(1s);
        soak.Memory.push_back(bench::ProcessMemoryKiB(vemlas.front()->Pid(), "VmRSS:"));
        uintmax_t size = 0;
        if (std::filesystem::exists(dir.Path("Log")))
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log")))
                size += entry.file_size();
        bool flooded = true;
        for (int i = 1; i <= instances; ++i)
            flooded =
                flooded &&
                bench::ReadAll(dir.Path("device" + std::to_string(i) + ".out")).find("flood:") !=
                    std::string::npos;
        still = flooded && size == lastSize ? still + 1 : 0;
        lastSize = size;
    }
    soak.Seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0 - 3.0;
    for (auto& vemla : vemlas)
        soak.ExitCode = std::max(soak.ExitCode, vemla->Terminate(60s));
    for (auto& device : devices)
        device->Terminate(10s);

    // Each instance takes rising suffixes, so each one's files keep their order among all.
    std::vector<std::filesystem::path> logs = bench::LogFilesInOrder(dir.Path("Log"));
    soak.LogFiles = logs.size();
    std::vector<std::minstd_rand> expected;
    for (int i = 1; i <= instances; ++i)
        expected.emplace_back(i);
    for (const auto& log : logs) {
        std::string text = bench::ReadAll(log.string()), bytes;
        for (size_t at = text.find("---> "); at != std::string::npos; at = text.find("---> ", at)) {
            size_t end = text.find("\r\n", at);
            bytes += TextToBytes(std::string_view(text).substr(at + 5, end - at - 5), TCoding::Hex);
            at = end;
        }
        if (bytes.empty()) continue;
        // The file continues the stream whose next bytes it starts with.
        std::minstd_rand* stream = &expected.front();
        for (auto& candidate : expected) {
            std::minstd_rand probe = candidate;
            size_t same = 0;
            while (same < std::min<size_t>(bytes.size(), 16) &&
                   static_cast<uint8_t>(bytes[same]) == static_cast<uint8_t>(probe()))
                ++same;
            if (same == std::min<size_t>(bytes.size(), 16)) stream = &candidate;
        }
        for (char ch : bytes)
            if (static_cast<uint8_t>(ch) != static_cast<uint8_t>((*stream)())) ++soak.Wrong;
        soak.Received += static_cast<long long>(bytes.size());
    }
    return soak;
}

void Report(const std::string& prefix, const TSoak& soak, long long sent) {
    auto name = [&](const char* figure) { return prefix + figure; };
    long peak = *std::max_element(soak.Memory.begin(), soak.Memory.end());
    long early = soak.Memory.size() > 2 ? soak.Memory[2] : soak.Memory.back();
    bench::Figure(name("bytes_sent").c_str(), static_cast<double>(sent), "bytes");
    bench::Figure(name("bytes_in_logs").c_str(), static_cast<double>(soak.Received), "bytes");
    bench::Figure(name("bytes_wrong_or_reordered").c_str(), static_cast<double>(soak.Wrong),
                  "bytes");
    bench::Figure(name("log_files").c_str(), static_cast<double>(soak.LogFiles), "files");
    bench::Figure(name("duration").c_str(), soak.Seconds, "s");
    bench::Figure(name("rss_at_3s").c_str(), static_cast<double>(early) / 1024.0, "MiB");
    bench::Figure(name("rss_peak").c_str(), static_cast<double>(peak) / 1024.0, "MiB");
    bench::Figure(name("rss_end").c_str(), static_cast<double>(soak.Memory.back()) / 1024.0, "MiB");
    bench::Figure(name("vemla_exit_code").c_str(), soak.ExitCode, "");
}

} // namespace

int main() {
    TSoak one = Soak(1, Total);
    Report("flood_soak.", one, Total);
    // Two instances on two lines sharing one log directory: neither may overwrite the other.
    TSoak two = Soak(2, Total / 2);
    Report("flood_soak.two_instances.", two, Total);
    bool whole = one.Received == Total && two.Received == Total && one.Wrong + two.Wrong == 0;
    return whole && one.ExitCode == 0 && two.ExitCode == 0 ? 0 : 1;
}
