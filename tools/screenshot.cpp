// Renders a window offscreen into a PNG, for the docs: the main window with traffic of every
// kind, the packet generator with a few packets, the triggers window with the examples, the
// change-command dialog, the port settings, the main window on a virtual port with an
// application on it; or the whole screen of an X display.
#include "app/startup.h"
#include "generator/packet_edit_dialog.h"
#include "main_window/main_window.h"
#include "main_window/port_settings_dialog.h"
#include "platform/cp1251.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "tests/support/net_servers.h"
#include "tests/support/temp_dir.h"
#include "trigger_monitor/change_command_dialog.h"
#include "ui_common/translations.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTreeView>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace vemla;

namespace {

int SaveDesktop(int argc, char* argv[], const std::string& target) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromStdString(target))) {
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string which = argc >= 3 ? argv[2] : "main";
    const std::string language = argc == 4 ? argv[3] : "ru";
    if (argc < 2 || argc > 4 || (language != "ru" && language != "en") ||
        (which != "main" && which != "generator" && which != "triggers" && which != "change" &&
         which != "port" && which != "virtual" && which != "daily" && which != "packet" &&
         which != "remote" && which != "remote-port" && which != "bridge" && which != "desktop")) {
        std::fputs("Usage: vemla-screenshot FILE.png "
                   "[main|generator|triggers|change|port|virtual|daily|packet|remote|remote-port|"
                   "bridge|desktop] [ru|en]\n"
                   "  packet: the packet dialog refusing a template that does not read\n"
                   "  remote: the main window on an RFC 2217 server's port\n"
                   "  remote-port: the port settings dialog with a raw TCP port typed in\n"
                   "  bridge: the main window between an application and its device\n"
                   "  daily: the main window at its first size after a while: scrollback, a\n"
                   "         long packet in the detail field, the find bar with a hit\n"
                   "  desktop: the whole screen of the X display in DISPLAY\n",
                   stderr);
        return 2;
    }
    std::string target = std::filesystem::absolute(argv[1]).string();
    if (which == "desktop") return SaveDesktop(argc, argv, target);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool english = language == "en";
    SetLanguage(english ? TLanguage::English : TLanguage::Russian);
    TTranslations translations(CurrentLanguage());
    test::TTempDir dir;
    std::filesystem::current_path(dir.Directory());
    // A server that takes the connection and says nothing within the picture's time.
    test::TTestServer server;
    const bool remote = which == "remote";
    const bool bridge = which == "bridge";
    const std::string remotePort = "rfc2217://127.0.0.1:" + std::to_string(server.Port());
    const std::string device = which == "virtual" ? "pty:/tmp/ttyV0"
                               : remote           ? remotePort
                                                  : "/dev/ttyUSB0";
    TMainWindowOptions options;
    std::string triggers = std::filesystem::absolute(VEMLA_EXAMPLES_DIR "/triggers.txt").string();
    options.Config = SettleConfigFile(
        {dir.Write("config.ini", std::string("[Port]\r\nDevice=") + device +
                                     (remote ? "\r\nBaudRate=57600\r\nParity=0" : "") +
                                     (bridge ? "\r\nBaudRate=19200\r\nParity=0\r\n[Bridge]\r\n"
                                               "Device=pty:/tmp/ttyV0"
                                             : "") +
                                     "\r\n[Log]\r\nSize=" + (which == "daily" ? "12" : "300") +
                                     "\r\n[Terminal]\r\nTriggerFile=" + triggers +
                                     "\r\n[Packets]\r\nCount=4\r\n"
                                     "1.data=50 49 4E 47 0D\r\n1.name=ping\r\n"
                                     "2.data=01 03 00 00\r\n2.name=status poll\r\n"
                                     "3.data=AA 55\r\n3.name=switch to errors\r\n"
                                     "4.data=01 03 00 0A 00 02 CRC16M\r\n4.name=read, CRC "
                                     "appended\r\n4.period=100\r\n4.count=50\r\n")},
        ProgramDirectory());
    options.ShowMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    TMainWindow window(std::move(options));
    if (which != "daily") window.resize(640, 420);
    window.show();
    QCoreApplication::processEvents();
    int connection = remote ? server.Accept() : -1;
    for (int i = 0; i < 20 && remote && !window.Engine().IsOpen(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    window.ClearView(); // the real port's report is not part of the picture

    TTerminalHost& host = window.EngineHost();
    TDateTime time = Now();
    auto opened = [](const std::string& port) {
        return MessageText(TMessage::PortOpened, {port, ""});
    };
    auto post = [&](TTrafficKind kind, std::string data,
                    TTrafficSource source = TTrafficSource::Device) {
        time += 0.137 / 86400.0;
        host.PostTraffic(
            std::make_unique<TTrafficRecord>(TTrafficRecord{time, kind, std::move(data), source}));
    };
    if (which == "virtual") {
        // An application under test polls the Modbus slave that vemla plays.
        host.NotifyPortState(TPortState::ApplicationConnected);
        post(TTrafficKind::Info, opened("pty:/tmp/ttyV0"));
        post(TTrafficKind::Info,
             "pty:/tmp/ttyV0: " + MessageText(TMessage::ApplicationSet, {"19200 8N1"}));
        for (int i = 0; i < 3; ++i) {
            post(TTrafficKind::Received, std::string("\x01\x03\x00\x00\x00\x01\x84\x0A", 8));
            post(TTrafficKind::TriggerSent, std::string("\x01\x03\x02\x00\x2A\x39\x9B", 7));
        }
    } else if (bridge) {
        // The application polls the real device through vemla; one answer comes from a
        // trigger of vemla's own.
        host.NotifyPortState(TPortState::Open);
        host.NotifySecondPortState(TPortState::ApplicationConnected);
        host.NotifyModemLines(TModemLines{.Cts = true, .Dsr = true});
        post(TTrafficKind::Info, opened("/dev/ttyUSB0"));
        post(TTrafficKind::Info, opened("pty:/tmp/ttyV0"));
        post(TTrafficKind::Info,
             "pty:/tmp/ttyV0: " + MessageText(TMessage::ApplicationSet, {"19200 8N1"}));
        post(TTrafficKind::Info,
             MessageText(TMessage::PortPeerLine, {"/dev/ttyUSB0", "19200", "1", ""}));
        for (int i = 0; i < 3; ++i) {
            post(TTrafficKind::Received, std::string("\x01\x03\x00\x00\x00\x01\x84\x0A", 8),
                 TTrafficSource::Application);
            post(TTrafficKind::Received, std::string("\x01\x03\x02\x00\x2A\x39\x9B", 7));
        }
        post(TTrafficKind::Received, "\xAA\x55");
        post(TTrafficKind::TriggerSent, "\x01\x83\x02");
    } else if (remote) {
        // A rig across the network behind ser2net: the server confirmed the rate, not the
        // modem lines (as ser2net does for a port without them).
        host.NotifyPortState(TPortState::Open);
        host.NotifyConfirmedRate(57600);
        host.NotifyModemLines(TModemLines{.Cts = true, .Dsr = true, .Dcd = true});
        post(TTrafficKind::Info, opened(remotePort));
        post(TTrafficKind::Warning,
             remotePort + ": " + MessageText(TMessage::ServerDidNotConfirm, {"DTR, RTS"}));
        for (int i = 0; i < 3; ++i) {
            post(TTrafficKind::Received, std::string("\x01\x03\x00\x00\x00\x01\x84\x0A", 8));
            post(TTrafficKind::TriggerSent, std::string("\x01\x03\x02\x00\x2A\x39\x9B", 7));
        }
        post(TTrafficKind::Received, std::string("\xFF\xFF\x00\xFF", 4));
    } else {
        // As with the adapter plugged in and its device ready.
        host.NotifyPortState(TPortState::Open);
        host.NotifyModemLines(TModemLines{.Cts = true, .Dsr = true});
    }
    if (which == "daily") {
        // A Modbus master's polls, the older ones already in a log, then a long answer.
        for (int i = 0; i < 10; ++i) {
            post(TTrafficKind::Received, std::string("\x01\x03\x00\x00\x00\x1E\xC5\xC2", 8));
            post(TTrafficKind::TriggerSent, std::string("\x01\x83\x02\xC0\xF1", 5));
        }
        post(TTrafficKind::Received, std::string("\x01\x03\x00\x00\x00\x1E\xC5\xC2", 8));
        std::string answer("\x01\x03\x3C", 3);
        for (int i = 0; i < 60; ++i)
            answer += static_cast<char>(i * 7);
        post(TTrafficKind::TriggerSent, answer + "\x5A\x7E");
    } else if (which != "virtual" && !remote && !bridge) {
        post(TTrafficKind::Info, opened("/dev/ttyUSB0"));
        post(TTrafficKind::Received, "PING\r");
        post(TTrafficKind::TriggerSent, "PONG\r");
        post(TTrafficKind::Received, std::string("\x01\x03\x00\x00", 4));
        post(TTrafficKind::TriggerSent, std::string("\x01\x03\x02\x00\x2A", 5));
        post(TTrafficKind::Sent, std::string("\x10\x02\x41\x42\x10\x03", 6));
        post(TTrafficKind::Received, "\xAA\x55");
        // What a trigger file's PRINT says is the user's own text, in the user's language.
        post(TTrafficKind::Info, english ? "The status poll now answers with an error"
                                         : Utf8ToCp1251("Опрос статуса теперь отвечает ошибкой"));
        post(TTrafficKind::Received, std::string("\x01\x03\x00\x00", 4));
        post(TTrafficKind::TriggerSent, "\x01\x83\x02");
        post(TTrafficKind::Warning, english ? "A warning" : Utf8ToCp1251("Предупреждение"));
        post(TTrafficKind::Error, "/dev/ttyUSB0: Input/output error");
    }
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (which != "virtual" && which != "daily" && !bridge) window.CodingChanged(1);
    if (which == "daily") {
        window.OpenFindBar();
        window.FindBar().setText(QStringLiteral("01 83"));
        window.FindInView(false);
        window.TrafficView().setCurrentIndex(
            window.TrafficModel().index(window.TrafficModel().rowCount() - 1, 0));
    }
    QCoreApplication::processEvents();
    QWidget* shown = &window;
    if (which == "generator") shown = &window.ShowGeneratorWindow();
    if (which == "triggers") shown = &window.ShowTriggersWindow();
    // The dialog with the ports of a machine with one USB adapter.
    TPortInfo adapter{"/dev/ttyUSB0",
                      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                      "ftdi_sio",
                      "0403",
                      "6001 FT232R USB UART",
                      "A50285BI"};
    TPortSettingsDialog dialog(&window, TPortSettingsForm::FromSettings(window.Engine().Settings()),
                               {adapter, {"/dev/ttyS0", "", "serial8250", "", "", ""}});
    if (which == "port" || which == "remote-port") {
        if (which == "remote-port")
            dialog.PortField().setEditText(QStringLiteral("tcp://rig.lab:7002"));
        dialog.show();
        shown = &dialog;
    }
    TPacketEditDialog packet(&window);
    if (which == "packet") {
        packet.SetCheck(TPacketEditDialog::SendableIn(TCoding::Hex));
        packet.PacketEdit().setText(QStringLiteral("01 03 00 0A 00 02 CRC16Q"));
        packet.DescriptionEdit().setText(QStringLiteral("read two registers"));
        packet.SetTiming(100, 0);
        packet.show();
        shown = &packet;
    }
    // The change-command dialog of the first trigger of the example file.
    std::unique_ptr<TChangeCommandDialog> change;
    if (which == "change") {
        const TriggerTable& table = window.Engine().Triggers();
        for (int32_t slot = 0; slot < table.Size() && !change; ++slot)
            if (const TTrigger* trigger = table.At(slot))
                change =
                    std::make_unique<TChangeCommandDialog>(&window.ShowTriggersWindow(), *trigger);
        if (!change) {
            std::fputs("the example trigger file has no trigger\n", stderr);
            return 1;
        }
        change->show();
        shown = change.get();
    }
    // Long enough for the status bar's held-back update of the counters.
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 150)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (connection >= 0) close(connection);
    if (!shown->grab().save(QString::fromStdString(target))) {
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}
