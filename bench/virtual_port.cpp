// An application that opens vemla's virtual port (pty:), asks one question, and closes it,
// 1000 times over (or as many as asked): answers lost, and the process's descriptors and
// threads before and after (the engine runs in this process).
// Usage: virtual_port [cycles]
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <filesystem>

using namespace vemla;
using namespace std::chrono_literals;

namespace {

size_t Entries(const char* directory) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory))
        ++count;
    return count;
}

} // namespace

int main(int argc, char* argv[]) {
    const int cycles = argc > 1 ? std::stoi(argv[1]) : 1000;
    test::TTempDir dir;
    bench::TNullHost host;
    const std::string link = dir.Path("ttyV0");
    std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"echo\" HEX \"01 02 03\"\n{ WAIT OUT \"06 07\" GOTO 1 }\n");
    TTerminal terminal(
        host, test::SettingsOf(dir.Write(
                  "c.ini", test::PortConfig("pty:" + link,
                                            "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))));
    int lost = 0;
    auto visit = [&] {
        test::TPtyDevice application(link);
        application.Write(std::string("\x01\x02\x03", 3));
        if (application.Read(2, 2s) != "\x06\x07") ++lost;
    };
    // Counted after a first visit: what the start-up opened for a moment is gone by then.
    visit();
    const size_t descriptors = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    auto start = bench::TClock::now();
    for (int i = 1; i < cycles; ++i)
        visit();
    double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0;
    bench::Figure("virtual_port.cycles", cycles, "");
    bench::Figure("virtual_port.answers_lost", lost, "");
    bench::Figure("virtual_port.seconds", seconds, "s");
    bench::Figure("virtual_port.descriptors_before", static_cast<double>(descriptors), "");
    bench::Figure("virtual_port.descriptors_after", static_cast<double>(Entries("/proc/self/fd")),
                  "");
    bench::Figure("virtual_port.threads_before", static_cast<double>(threads), "");
    bench::Figure("virtual_port.threads_after", static_cast<double>(Entries("/proc/self/task")),
                  "");
    return lost == 0 ? 0 : 1;
}
