// Renders the main window offscreen with traffic of every kind into a PNG, for the docs.
#include "main_window/main_window.h"
#include "platform/cp1251.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

using namespace vemla;

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: vemla-screenshot FILE.png\n", stderr);
        return 2;
    }
    std::string target = std::filesystem::absolute(argv[1]).string();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    test::TTempDir dir;
    std::filesystem::current_path(dir.Directory());
    TMainWindowOptions options;
    options.Arguments = {dir.Write("config.ini", "[Port]\r\nDevice=/dev/ttyUSB0\r\n")};
    options.ShowMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    TMainWindow window(std::move(options));
    window.resize(640, 420);
    window.show();
    QCoreApplication::processEvents();
    window.ClearView(); // the real port's report is not part of the picture

    TQtHost host(window);
    TDateTime time = Now();
    auto post = [&](TTrafficKind kind, std::string data) {
        time += 0.137 / 86400.0;
        host.PostTraffic(std::make_unique<TTrafficRecord>(TTrafficRecord{time, kind, std::move(data)}));
    };
    post(TTrafficKind::Info, "/dev/ttyUSB0" + Utf8ToCp1251(": открыт"));
    post(TTrafficKind::Received, "PING\r");
    post(TTrafficKind::TriggerSent, "PONG\r");
    post(TTrafficKind::Received, std::string("\x01\x03\x00\x00", 4));
    post(TTrafficKind::TriggerSent, std::string("\x01\x03\x02\x00\x2A", 5));
    post(TTrafficKind::Sent, std::string("\x10\x02\x41\x42\x10\x03", 6));
    post(TTrafficKind::Received, "\xAA\x55");
    post(TTrafficKind::Info, Utf8ToCp1251("Опрос статуса теперь отвечает ошибкой"));
    post(TTrafficKind::Received, std::string("\x01\x03\x00\x00", 4));
    post(TTrafficKind::TriggerSent, "\x01\x83\x02");
    post(TTrafficKind::Warning, Utf8ToCp1251("Предупреждение"));
    post(TTrafficKind::Error, "/dev/ttyUSB0: Input/output error");
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    window.CodingChanged(1);
    QCoreApplication::processEvents();
    if (!window.grab().save(QString::fromStdString(target))) {
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}
