// A pty device floods the running window at 5 MiB/s for 10 s (no log limit): the longest
// gap between the ticks of a 10 ms timer on the GUI thread.
#include "app/startup.h"
#include "bench/bench_support.h"
#include "main_window/main_window.h"
#include "platform/system.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

using namespace vemla;
using namespace std::chrono_literals;

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    test::TTempDir dir;
    test::TPtyDevice device;
    std::filesystem::current_path(dir.Directory());
    TMainWindowOptions options;
    options.Config =
        SettleConfigFile({dir.Write("config.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                                      "\r\n[Log]\r\nSize=0\r\n")},
                         ProgramDirectory());
    options.ShowMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    TMainWindow window(std::move(options));
    window.show();

    constexpr double BytesPerSecond = 5.0 * (1 << 20);
    constexpr auto Duration = 10s;
    std::atomic<bool> done{false};
    std::atomic<size_t> written{0};
    std::thread flood([&] {
        std::string chunk(16384, 'x');
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>(i * 13);
        auto start = bench::TClock::now();
        while (bench::TClock::now() - start < Duration) {
            double due =
                bench::Milliseconds(bench::TClock::now() - start) / 1000.0 * BytesPerSecond;
            if (static_cast<double>(written) < due) {
                device.Write(chunk);
                written += chunk.size();
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
        done = true;
    });

    double longestGap = 0;
    size_t shown = 0;
    auto last = bench::TClock::now();
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        auto now = bench::TClock::now();
        longestGap = std::max(longestGap, bench::Milliseconds(now - last));
        last = now;
        if (!done) return;
        // Counted before quitting: quitting closes the window, whose final flush empties it.
        for (size_t i = 0; i < window.Traffic().Size(); ++i)
            if (window.Traffic()[i].Kind == TTrafficKind::Received)
                shown += (window.Traffic()[i].Text.size() + 1) / 3;
        ticks.stop();
        QCoreApplication::quit();
    });
    ticks.start(10);
    QCoreApplication::exec();
    flood.join();

    bench::Figure("ui_latency.longest_tick_gap", longestGap, "ms");
    bench::Figure("ui_latency.flood_written", static_cast<double>(written) / (1 << 20), "MiB");
    bench::Figure("ui_latency.bytes_shown_at_end", static_cast<double>(shown) / (1 << 20), "MiB");
    window.close();
    return 0;
}
