// 1,000,000 received 10-byte records through the host into a shown main window (no log
// limit): records per second, memory per line beyond its text, and one coding change.
#include "app/startup.h"
#include "bench/bench_support.h"
#include "main_window/main_window.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <filesystem>
#include <unistd.h>

using namespace vemla;

namespace {

long ResidentBytes() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    test::TTempDir dir;
    std::filesystem::current_path(dir.Directory());
    TMainWindowOptions options;
    options.Config = SettleConfigFile(
        {dir.Write("config.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n[Log]\r\nSize=0\r\n")},
        ProgramDirectory());
    options.ShowMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    TMainWindow window(std::move(options));
    window.show();
    QCoreApplication::processEvents();
    TTerminalHost& host = window.EngineHost();

    constexpr size_t Records = 1'000'000;
    constexpr size_t Batch = 10'000;
    const std::string payload("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10);
    long before = ResidentBytes();
    size_t firstLine = window.Traffic().Size();
    auto start = bench::TClock::now();
    for (size_t sent = 0; sent < Records; sent += Batch) {
        for (size_t i = 0; i < Batch; ++i) {
            auto record = std::make_unique<TTrafficRecord>();
            record->Time = Now();
            record->Kind = TTrafficKind::Received;
            record->Data = payload;
            host.PostTraffic(std::move(record));
        }
        QCoreApplication::processEvents();
    }
    while (window.Traffic().Size() < firstLine + Records)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0;
    long grown = ResidentBytes() - before;
    size_t textBytes = 0;
    for (size_t i = firstLine; i < window.Traffic().Size(); ++i)
        textBytes += window.Traffic()[i].Text.size();

    auto recodeStart = bench::TClock::now();
    window.CodingChanged(1);
    QCoreApplication::processEvents();
    double recodeSeconds = bench::Milliseconds(bench::TClock::now() - recodeStart) / 1000.0;

    bench::Figure("traffic_view.records_per_second", static_cast<double>(Records) / seconds,
                  "records/s");
    bench::Figure("traffic_view.bytes_per_line_beyond_text",
                  static_cast<double>(grown - static_cast<long>(textBytes)) / Records, "bytes");
    bench::Figure("traffic_view.coding_change", recodeSeconds, "s");
    window.close();
    return 0;
}
