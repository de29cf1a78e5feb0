// 64 MiB from vemla-device into a running vemla (AutoSave on, Size 300): every byte must reach
// the log files once and in order; prints the byte counts and vemla's memory over time.
#include "bench/bench_support.h"
#include "engine/codec.h"
#include "tests/support/temp_dir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace vemla;
using namespace std::chrono_literals;

namespace {

constexpr long long kTotal = 64ll << 20;

pid_t Spawn(std::vector<std::string> arguments, const std::string& directory, const std::string& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main() {
    test::TTempDir dir;
    std::string link = dir.Path("port");
    std::string root = dir.Directory().string();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t device = Spawn({VEMLA_DEVICE, link, "--flood", std::to_string(kTotal), "--start-after", "2"}, root, dir.Path("device.out"));
    while (!std::filesystem::is_symlink(link)) std::this_thread::sleep_for(10ms);
    dir.Write("config.ini", "[Port]\r\nDevice=" + link + "\r\nReadIntervalTimeout=5\r\n"
                            "[Log]\r\nSize=300\r\nAutoSave=1\r\nDir=Log\r\n");
    auto start = bench::TClock::now();
    pid_t vemla = Spawn({VEMLA_BINARY, dir.Path("config.ini")}, root, dir.Path("vemla.out"));

    // Memory once a second until the device has sent everything and the logs stop growing.
    std::vector<long> memory;
    uintmax_t lastSize = 0;
    int still = 0;
    while (still < 3) {
        std::this_thread::sleep_for(1s);
        memory.push_back(ResidentKiB(vemla));
        uintmax_t size = 0;
        if (std::filesystem::exists(dir.Path("Log")))
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log"))) size += entry.file_size();
        bool flooded = ReadAll(dir.Path("device.out")).find("flood:") != std::string::npos;
        still = flooded && size == lastSize ? still + 1 : 0;
        lastSize = size;
    }
    double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0 - 3.0;
    kill(vemla, SIGTERM);
    int status = 0;
    waitpid(vemla, &status, 0);
    kill(device, SIGTERM);
    waitpid(device, nullptr, 0);

    std::vector<std::filesystem::path> logs;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log"))) logs.push_back(entry.path());
    // Files of one second are stem.log, stem_1.log, stem_2.log, ...: order them by that number.
    auto order = [](const std::filesystem::path& file) {
        std::string stem = file.stem().string();
        size_t suffix = stem.find('_', 7);
        return std::make_pair(stem.substr(0, 13), suffix == std::string::npos ? 0 : std::stoi(stem.substr(suffix + 1)));
    };
    std::sort(logs.begin(), logs.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
    std::minstd_rand expected(1);
    long long received = 0, wrong = 0;
    for (const auto& log : logs) {
        std::string text = ReadAll(log.string());
        for (size_t at = text.find("---> "); at != std::string::npos; at = text.find("---> ", at)) {
            size_t end = text.find("\r\n", at);
            std::string bytes = TextToBytes(std::string_view(text).substr(at + 5, end - at - 5), 0);
            for (char ch : bytes)
                if (static_cast<uint8_t>(ch) != static_cast<uint8_t>(expected())) ++wrong;
            received += static_cast<long long>(bytes.size());
            at = end;
        }
    }
    long peak = *std::max_element(memory.begin(), memory.end());
    long early = memory.size() > 2 ? memory[2] : memory.back();
    bench::Figure("flood_soak.bytes_sent", static_cast<double>(kTotal), "bytes");
    bench::Figure("flood_soak.bytes_in_logs", static_cast<double>(received), "bytes");
    bench::Figure("flood_soak.bytes_wrong_or_reordered", static_cast<double>(wrong), "bytes");
    bench::Figure("flood_soak.log_files", static_cast<double>(logs.size()), "files");
    bench::Figure("flood_soak.duration", seconds, "s");
    bench::Figure("flood_soak.rss_at_3s", static_cast<double>(early) / 1024.0, "MiB");
    bench::Figure("flood_soak.rss_peak", static_cast<double>(peak) / 1024.0, "MiB");
    bench::Figure("flood_soak.rss_end", static_cast<double>(memory.back()) / 1024.0, "MiB");
    bench::Figure("flood_soak.vemla_exit_code", WIFEXITED(status) ? WEXITSTATUS(status) : -1, "");
    return received == kTotal && wrong == 0 ? 0 : 1;
}
