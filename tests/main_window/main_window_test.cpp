#include "app/command_line.h"
#include "app/startup.h"
#include "generator/packet_edit_dialog.h"
#include "main_window/main_window.h"
#include "main_window/port_settings_dialog.h"
#include "main_window/signal_close.h"
#include "platform/cp1251.h"
#include "platform/system.h"
#include "tests/support/language.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/russian_text.h"
#include "tests/support/temp_dir.h"
#include "trigger_monitor/change_command_dialog.h"
#include "ui_common/fonts.h"
#include "ui_common/qt_text.h"
#include "ui_common/translations.h"
#include "ui_common/window_layout.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace vemla;
using vemla::test::Ru;
using namespace std::chrono_literals;

namespace {

// Runs each test in a fresh working directory, where desktop.ini and ./Log live.
struct TWorkingDirectory {
    TWorkingDirectory() : Previous(std::filesystem::current_path()) {
        std::filesystem::current_path(Dir.Directory());
    }
    ~TWorkingDirectory() { std::filesystem::current_path(Previous); }
    test::TTempDir Dir;
    std::filesystem::path Previous;
};

// The resident memory of this process.
struct TShownMessage {
    QMessageBox::Icon Icon;
    QString Caption, Text;
};

struct TWindowWorld {
    explicit TWindowWorld(const std::string& config, std::vector<std::string> arguments = {},
                          TEvent* stopEvent = nullptr) {
        TMainWindowOptions options;
        options.StopEvent = stopEvent;
        options.Config = SettleConfigFile(
            arguments.empty() ? std::vector<std::string>{cwd.Dir.Write("config.ini", config)}
                              : arguments,
            ProgramDirectory());
        options.ShowMessage = [this](QMessageBox::Icon icon, const QString& caption,
                                     const QString& text) {
            Messages.push_back({icon, caption, text});
        };
        Window = std::make_unique<TMainWindow>(std::move(options));
    }
    void Settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    bool WaitForLines(size_t count) {
        return QTest::qWaitFor([&] { return Window->Traffic().Size() >= count; }, 5000);
    }
    TWorkingDirectory cwd;
    std::vector<TShownMessage> Messages;
    std::unique_ptr<TMainWindow> Window;
};

// Every text a user can read in a window and its children, in the order they were made.
QStringList ReadableTexts(const QWidget& window) {
    QStringList texts{window.windowTitle()};
    QList<const QWidget*> widgets = window.findChildren<const QWidget*>();
    widgets.prepend(&window);
    for (const QWidget* widget : widgets) {
        texts << widget->toolTip();
        if (auto* label = qobject_cast<const QLabel*>(widget)) texts << label->text();
        if (auto* button = qobject_cast<const QAbstractButton*>(widget)) texts << button->text();
        if (auto* line = qobject_cast<const QLineEdit*>(widget)) texts << line->placeholderText();
        if (auto* box = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i);
        if (auto* view = qobject_cast<const QAbstractItemView*>(widget); view && view->model())
            for (int column = 0; column < view->model()->columnCount(); ++column)
                texts << view->model()->headerData(column, Qt::Horizontal).toString();
        for (const QAction* action : widget->actions())
            texts << action->text() << action->toolTip();
    }
    return texts;
}

bool HasCyrillic(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar ch) { return ch.script() == QChar::Script_Cyrillic; });
}

} // namespace

class TMainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void CaptionNamesThePort() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath()));
        std::string config = world.Window->ConfigFileName();
        QCOMPARE(world.Window->windowTitle(),
                 QString::fromUtf8("Терминал [%1]  [\"%2\"]")
                     .arg(QString::fromStdString(pty.SlavePath()), QString::fromStdString(config)));
        TWindowWorld numbered("[Port]\r\nNumber=250\r\n");
        QVERIFY(numbered.Window->windowTitle().startsWith(QString::fromUtf8("Терминал [COM250] ")));

        // A path is the file system's bytes: "И" in UTF-8 holds 0x98, which CP1251 lacks.
        test::TPtyDevice other;
        test::TTempDir links;
        const std::string link = links.Path("порт-И");
        std::filesystem::create_symlink(other.SlavePath(), link);
        TWindowWorld named(test::PortConfig(link));
        QVERIFY(named.WaitForLines(1));
        QVERIFY(named.Window->windowTitle().contains(QString::fromUtf8("порт-И")));
        QCOMPARE(named.Window->Traffic()[0].Text, Utf8ToCp1251(link + ": открыт, чётность mark"));
        QCOMPARE(TPortSettingsForm::FromSettings(named.Window->Engine().Settings()).Port, link);
    }

    void ViewFontIsACourierLikeMonospace() {
        struct {
            QStringList Installed;
            const char* Family;
        } cases[] = {
            {{"DejaVu Sans", "Courier", "Courier New"}, "Courier"},
            {{"Nimbus Mono PS", "DejaVu Sans Mono", "Liberation Mono"}, "Liberation Mono"},
            {{"Nimbus Mono PS", "dejavu sans mono"}, "DejaVu Sans Mono"},
            {{"Nimbus Mono PS", "Nimbus Sans"}, "System Fixed"},
        };
        for (const auto& c : cases)
            QCOMPARE(MonospaceFamily(c.Installed, QStringLiteral("System Fixed")),
                     QString::fromLatin1(c.Family));
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        const QFontInfo shown(world.Window->TrafficView().font());
        QVERIFY(shown.fixedPitch());
        QCOMPARE(shown.pixelSize(), 13);
        QVERIFY2(shown.family() != QStringLiteral("Nimbus Mono PS"), qPrintable(shown.family()));
    }

    void MissingArgumentWarnsOnce() {
        TWindowWorld world("", {"/nonexistent/x.ini"});
        QCOMPARE(world.Messages.size(), size_t{1});
        QCOMPARE(world.Messages[0].Caption, QString::fromUtf8("Внимание"));
        QCOMPARE(world.Messages[0].Text,
                 QString::fromUtf8(
                     "Файл \"/nonexistent/x.ini\" не найден. Будет использоваться \"config.ini\""));
        QVERIFY(world.Window->windowTitle().endsWith(QStringLiteral("] ")));
        QVERIFY(world.Window->ConfigFileName().ends_with("/config.ini"));
    }

    void ToolbarFollowsItsTable() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        QList<QAction*> actions = world.Window->Toolbar().actions();
        // Each button with a shortcut names it in its tooltip.
        const char* tips[] = {"Сохранить (Ctrl+S)",
                              "Сохранить",
                              "Включить Лог (Ctrl+R)",
                              "Выключить Лог (Ctrl+Shift+R)",
                              "Сохранить",
                              "Очистить (Ctrl+L)",
                              "",
                              "Кодировка (Ctrl+1, Ctrl+2, Ctrl+3)",
                              "Триггеры (Ctrl+T)",
                              "",
                              "Передача данных (Ctrl+G)",
                              "",
                              "Настройки порта (Ctrl+P)",
                              "Закрыть порт (Ctrl+Shift+O)"};
        QCOMPARE(actions.size(), 14);
        for (int i = 0; i < 14; ++i) {
            QCOMPARE(actions[i]->isSeparator(), i == 6 || i == 9 || i == 11);
            if (!actions[i]->isSeparator())
                QCOMPARE(actions[i]->toolTip(), QString::fromUtf8(tips[i]));
            QCOMPARE(actions[i]->icon().isNull(), i == 1 || i == 4 || i == 6 || i == 9 || i == 11);
        }
        QVERIFY(actions[2]->isChecked());
        actions[3]->trigger();
        QVERIFY(!actions[2]->isChecked());
        QVERIFY(!world.Window->LogOn());
        auto* coding =
            qobject_cast<QToolButton*>(world.Window->Toolbar().widgetForAction(actions[7]));
        QVERIFY(coding);
        QCOMPARE(coding->popupMode(), QToolButton::InstantPopup);
        QCOMPARE(world.Window->CodingMenu().actions().size(), 3);
    }

    // The man page names every option of both programs and every key of the main window.
    void TheManPageCoversTheOptionsAndTheKeys() {
        std::ifstream file(VEMLA_MAN_PAGE);
        std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        QVERIFY(!page.empty());
        auto inPage = [&](std::string text) {
            // groff writes a minus sign as \-.
            for (size_t at = 0; (at = text.find('-', at)) != std::string::npos; at += 2)
                text.insert(at, "\\");
            return page.find(text) != std::string::npos;
        };
        const QRegularExpression option(QStringLiteral("(?<![\\w-])(--?[a-z][a-z-]*)"));
        for (const char* program : {"vemla", "vemla-cli"}) {
            const QString usage = QString::fromStdString(UsageText(program));
            for (const QRegularExpressionMatch& match : option.globalMatch(usage)) {
                const std::string name = match.captured(1).toStdString();
                QVERIFY2(inPage(name), name.c_str());
            }
        }
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        QStringList keys;
        for (const QAction* action : world.Window->findChildren<QAction*>())
            if (!action->shortcut().isEmpty()) keys << action->shortcut().toString();
        for (const QShortcut* shortcut : world.Window->findChildren<QShortcut*>())
            keys << shortcut->key().toString();
        QVERIFY(keys.size() >= 10);
        for (const QString& key : keys)
            QVERIFY2(page.find(key.toStdString()) != std::string::npos, qPrintable(key));
    }

    void RecordsWhileLogOffAreDropped() {
        test::TPtyDevice pty;
        TWorkingDirectory cwd;
        std::string triggers =
            cwd.Dir.Write("t.txt", "TRIGGER 1 \"a\" ANSI \"abc\" { WAIT OUTW \"ok\" GOTO 1 }");
        TWindowWorld world(
            test::PortConfig(pty.SlavePath(), "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"));
        QVERIFY(world.WaitForLines(1));
        world.Window->Toolbar().actions()[3]->trigger();
        pty.Write("abc");
        QCOMPARE(pty.Read(2, 5s), std::string("ok")); // the packet and the answer are posted
        world.Window->Engine().Send("x");
        // Counted, not shown: "ok" and "x".
        QVERIFY(QTest::qWaitFor([&] { return world.Window->Recording().SentBytes() == 3; }, 5000));
        QCOMPARE(world.Window->Traffic().Size(), size_t{1});
        world.Window->Toolbar().actions()[2]->trigger();
        pty.Write("def");
        QVERIFY(world.WaitForLines(2));
        QCOMPARE(world.Window->Traffic()[1].Text, std::string("64 65 66"));
    }

    void ViewShowsLinesAndRecodes() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath()));
        pty.Write("\r\nA");
        QVERIFY(world.WaitForLines(2));
        world.Settle();
        TTrafficModel& model = world.Window->TrafficModel();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("0D 0A 41"));
        QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString().size(), 12);
        QVERIFY(!model.data(model.index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
        world.Window->CodingChanged(1);
        QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("<0x0D><0x0A>A"));
        QVERIFY(model.data(model.index(0, 0), Qt::DisplayRole)
                    .toString()
                    .endsWith(QString::fromUtf8(": открыт, чётность mark")));
        QVERIFY(model.setData(model.index(1, 0), QStringLiteral("XY"), Qt::EditRole));
        world.Window->CodingChanged(0);
        QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("58 59"));
        QCOMPARE(world.Window->TrafficView().header()->sectionSize(1), 130);
        world.Window->CodingChanged(2);
        pty.Write(std::string(100000, 'z'));
        // The received line "XY" stays open in Win coding and takes the flood.
        QVERIFY(QTest::qWaitFor([&] { return world.Window->Traffic()[1].Text.size() == 100002; },
                                5000));
        world.Settle();
        // The view is shown what it can show, not 100,000 characters to lay out.
        const QString shown = model.data(model.index(1, 0), Qt::DisplayRole).toString();
        QVERIFY(shown.size() < 1000 && shown.endsWith(QChar(0x2026)));
        QCOMPARE(model.data(model.index(1, 0), Qt::EditRole).toString().size(), 100002);
    }

    void LogFlushAndDesktopRoundTrip() {
        test::TPtyDevice pty;
        TWindowWorld world(
            test::PortConfig(pty.SlavePath(), "[Log]\r\nSize=3\r\nAutoSave=1\r\nDir=.\\Logs\r\n"));
        world.Window->CodingChanged(2);
        for (int i = 0; i < 2; ++i)
            world.Window->Engine().Send("ab\rcd\r");
        QVERIFY(QTest::qWaitFor([&] { return std::filesystem::exists("Logs"); }, 5000));
        world.Settle();
        world.Window->move(40, 50);
        world.Window->close();
        world.Window.reset();
        std::vector<std::string> logs;
        for (const auto& entry : std::filesystem::directory_iterator("Logs"))
            logs.push_back(entry.path().string());
        QCOMPARE(logs.size(), size_t{2}); // the flush at Size + 1 and the one at close
        TIniFile desktop("desktop.ini");
        QCOMPARE(desktop.ReadInteger("Custom", "Coding", -1), 2);
        QCOMPARE(desktop.ReadInteger("MainForm", "Left", -1), 40);

        TMainWindowOptions again;
        again.Config = SettleConfigFile({world.cwd.Dir.Path("config.ini")}, ProgramDirectory());
        TMainWindow reopened(std::move(again));
        QCOMPARE(reopened.Coding(), TCoding::Win);
        QCOMPARE(reopened.x(), 40);
    }

    void StoredLayoutIsTheOuterFrame() {
        // Left, Top, Width and Height are those of the whole window, frame included, so a
        // stored layout neither grows nor shrinks from one start to the next.
        TWorkingDirectory cwd;
        cwd.Dir.Write("desktop.ini",
                      "[MainForm]\r\nLeft=30\r\nTop=40\r\nHeight=400\r\nWidth=500\r\n");
        TMainWindowOptions options;
        options.Config =
            SettleConfigFile({cwd.Dir.Write("config.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n")},
                             ProgramDirectory());
        auto window = std::make_unique<TMainWindow>(std::move(options));
        window->show();
        QCoreApplication::processEvents();
        QVERIFY(window->frameGeometry().size() != window->size()); // the platform draws a frame
        QCOMPARE(window->frameGeometry(), QRect(30, 40, 500, 400));
        window->close();
        TIniFile desktop("desktop.ini");
        QCOMPARE(desktop.ReadInteger("MainForm", "Width", -1), 500);
        QCOMPARE(desktop.ReadInteger("MainForm", "Height", -1), 400);
        QCOMPARE(desktop.ReadInteger("MainForm", "Left", -1), 30);
    }

    void StandardTextsAreRussianAndEmptyButtonsNarrow() {
        TTranslations russian(TLanguage::Russian);
        QVERIFY(russian.Loaded());
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("&Да"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QString::fromUtf8("&Нет"));

        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        world.Window->show();
        QCoreApplication::processEvents();
        QList<QAction*> actions = world.Window->Toolbar().actions();
        auto width = [&](int index) {
            return world.Window->Toolbar().widgetForAction(actions[index])->width();
        };
        for (int empty : {1, 4})
            QVERIFY(width(empty) * 2 < width(0));
        // Without the focus the selection does not show.
        QPalette palette = world.Window->TrafficView().palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
                 palette.color(QPalette::Inactive, QPalette::Base));
    }

    void GarbageDesktopValuesGiveAUsableWindow() {
        // Garbage, and a layout from a larger screen: the top above the screen, taller than it.
        for (const char* layout : {"Left=99999\r\nTop=-88888\r\nWidth=-5\r\nHeight=abc\r\n",
                                   "Left=10\r\nTop=-179\r\nWidth=5000\r\nHeight=3000\r\n"}) {
            TWorkingDirectory cwd;
            cwd.Dir.Write("desktop.ini",
                          std::string("[MainForm]\r\n") + layout + "[Custom]\r\nCoding=7\r\n");
            TMainWindowOptions options;
            options.Config = SettleConfigFile(
                {cwd.Dir.Write("config.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n")},
                ProgramDirectory());
            TMainWindow window(std::move(options));
            QCOMPARE(window.Coding(), TCoding::Hex);
            QVERIFY(window.width() >= 345 && window.height() >= 295);
            QVERIFY2(QGuiApplication::primaryScreen()->availableGeometry().contains(
                         window.frameGeometry()),
                     layout);
        }
    }

    void SleepTimerAnswersAfterItsDelay() {
        test::TPtyDevice pty;
        TWorkingDirectory cwd;
        std::string triggers = cwd.Dir.Write(
            "t.txt", "TRIGGER 1 \"p\" ANSI \"P\" { WAIT SLEEP 30 OUTW \"Q\" GOTO 1 }");
        TMainWindowOptions options;
        options.Config = SettleConfigFile(
            {cwd.Dir.Write("config.ini",
                           test::PortConfig(pty.SlavePath(),
                                            "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))},
            ProgramDirectory());
        TMainWindow window(std::move(options));
        pty.Write("P");
        QVERIFY(QTest::qWaitFor([&] { return window.Traffic().Size() >= 2; }, 5000));
        auto started = std::chrono::steady_clock::now();
        QVERIFY(QTest::qWaitFor([&] { return window.Traffic().Size() >= 3; }, 5000));
        QVERIFY(std::chrono::steady_clock::now() - started >= 20ms);
        QCOMPARE(pty.Read(1, 2s), std::string("Q"));
        QCOMPARE(window.Traffic()[2].Kind, TTrafficKind::TriggerSent);
    }

    void ClosingSignalsWriteTheFinalLog() {
        for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
            test::TPtyDevice pty;
            TEvent stop;
            TSignalCloser closer(stop);
            TWindowWorld world(
                test::PortConfig(pty.SlavePath(), "[Log]\r\nAutoSave=1\r\nDir=Log\r\n"), {}, &stop);
            closer.CloseOnSignal(*world.Window);
            QVERIFY(world.WaitForLines(1));
            ::kill(::getpid(), signal);
            QVERIFY(QTest::qWaitFor([&] { return std::filesystem::exists("Log"); }, 5000));
            QVERIFY(stop.IsSet());
            auto entry = *std::filesystem::directory_iterator("Log");
            test::TTempDir& dir = world.cwd.Dir;
            std::string content = dir.Read("Log/" + entry.path().filename().string());
            QVERIFY(content.find(pty.SlavePath() + Utf8ToCp1251(": открыт, чётность mark") +
                                 "\r\n") == 19);
            QVERIFY(std::filesystem::exists("desktop.ini"));
        }
    }

    void StatusBarShowsThePortItsStateAndTheBytes() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath(), "BaudRate=115200\r\nParity=0\r\n"));
        world.Window->show(); // a hidden window keeps its status bar as it was
        QVERIFY(world.WaitForLines(1));
        world.Window->Engine().Send("abc");
        pty.Write("12345");
        QVERIFY(world.WaitForLines(3));
        // The counters follow within a tenth of a second.
        QVERIFY(QTest::qWaitFor(
            [&] { return world.Window->StatusField(2).text() == Ru("принято 5 Б, передано 3 Б"); },
            2000));
        QCOMPARE(world.Window->StatusField(0).text(), QString::fromStdString(pty.SlavePath()));
        QCOMPARE(world.Window->StatusField(3).text(), QStringLiteral("115200 8N1"));
        QCOMPARE(world.Window->StatusField(1).text(), Ru("открыт"));
        pty.HangUp();
        QVERIFY(QTest::qWaitFor(
            [&] { return world.Window->StatusField(1).text() == Ru("ожидание устройства"); },
            5000));
        struct {
            const char* Config;
            const char* State;
        } missing[] = {{"[Port]\r\nDevice=/nonexistent/tty\r\n", "ожидание устройства"},
                       {"[Port]\r\nDevice=/nonexistent/tty\r\nReconnect=0\r\n", "закрыт"}};
        for (const auto& c : missing) {
            TWindowWorld absent(c.Config);
            absent.Settle();
            QCOMPARE(absent.Window->StatusField(1).text(), Ru(c.State));
        }
    }

    void ModemLinesShowAsLampsAndARefusedToggleStaysAsItIs() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath(), "DTR_CONTROL=1\r\nRTS_CONTROL=2\r\n"));
        QVERIFY(world.WaitForLines(1));
        world.Settle();
        TMainWindow& window = *world.Window;
        auto lampsEnabled = [&] {
            QString shown;
            for (int i = 0; i < 4; ++i)
                shown += window.ModemLamp(i).isEnabled() ? QChar('1') : QChar('0');
            return shown;
        };
        // A pseudo-terminal has no modem lines: nothing lit, nothing to switch, no error.
        QCOMPARE(lampsEnabled(), QStringLiteral("0000"));
        QVERIFY(!window.DtrToggle().isEnabled());
        QVERIFY(window.DtrToggle().isChecked());
        QVERIFY(window.BreakAction().isEnabled());
        window.BreakAction().click();
        pty.Write("after break");
        QVERIFY(QTest::qWaitFor([&] { return window.Traffic().Size() >= 2; }, 5000));
        QCOMPARE(window.Traffic()[1].Kind, TTrafficKind::Received);

        // Lines as a serial driver would report them.
        TTerminalHost& host = window.EngineHost();
        host.NotifyModemLines(TModemLines{.Cts = true, .Dcd = true});
        QVERIFY(QTest::qWaitFor([&] { return lampsEnabled() == QStringLiteral("1111"); }, 5000));
        QCOMPARE(window.ModemLamp(0).toolTip(), Ru("CTS: включена"));
        QCOMPARE(window.ModemLamp(1).toolTip(), Ru("DSR: выключена"));
        QVERIFY(window.DtrToggle().isEnabled());
        QVERIFY(!window.RtsToggle().isEnabled()); // RTS/CTS handshake owns RTS
        // The pty refuses DTR: the toggle goes back to the line's real state.
        window.DtrToggle().click();
        QVERIFY(window.DtrToggle().isChecked());
        QCOMPARE(window.Engine().Settings().Line.DtrControl, 1);
        QVERIFY(world.Messages.empty());
        host.NotifyModemLines(std::nullopt);
        QVERIFY(QTest::qWaitFor([&] { return lampsEnabled() == QStringLiteral("0000"); }, 5000));
        QVERIFY(!window.DtrToggle().isEnabled());
    }

    void PortSettingsApplyAtOnceAndAreStoredInPlace() {
        test::TPtyDevice first, second;
        const std::string config = "; my device\r\n[Port]\r\nDevice=" + first.SlavePath() +
                                   "\r\nBaudRate = 9600 ; slow\r\nReadIntervalTimeout=5\r\n"
                                   "[Terminal]\r\npacketSize=10\r\n";
        TWindowWorld world(config);
        QVERIFY(world.WaitForLines(1));
        std::optional<TPortSettingsForm> answer;
        std::string shownPort;
        world.Window->Options().EditPortSettings = [&](QWidget&, TPortSettingsForm& form) {
            shownPort = form.Port;
            if (!answer) return false; // Отмена
            form = *answer;
            return true;
        };
        world.Window->PortSettingsCommand(); // cancelled: nothing changes
        QCOMPARE(shownPort, first.SlavePath());
        QCOMPARE(world.cwd.Dir.Read("config.ini"), config);

        TPortSettingsForm form = TPortSettingsForm::FromSettings(world.Window->Engine().Settings());
        form.Port = second.SlavePath();
        form.BaudRate = "115200";
        form.Parity = 2;
        answer = form;
        world.Window->PortSettingsCommand();
        QVERIFY(world.Window->Engine().IsOpen());
        second.Write("x");
        QVERIFY(world.WaitForLines(4)); // new settings, opened, the packet
        QCOMPARE(world.cwd.Dir.Read("config.ini"),
                 "; my device\r\n[Port]\r\nDevice=" + second.SlavePath() +
                     "\r\nBaudRate=115200\r\nReadIntervalTimeout=5\r\nParity=2\r\n"
                     "[Terminal]\r\npacketSize=10\r\n");
        QVERIFY(world.Window->windowTitle().contains(QString::fromStdString(second.SlavePath())));
        world.Settle();
        QCOMPARE(world.Window->StatusField(0).text(), QString::fromStdString(second.SlavePath()));
        QCOMPARE(world.Window->StatusField(3).text(), QStringLiteral("115200 8E1"));

        form.BaudRate = "fast";
        answer = form;
        world.Window->PortSettingsCommand();
        QCOMPARE(world.Messages.back().Text, Ru("Скорость: целое число бит/с больше нуля"));
        QCOMPARE(world.Window->Engine().Settings().Line.BaudRate, 115200);
    }

    void AConfigurationThatCannotBeReadIsNeverWritten() {
        test::TPtyDevice pty;
        const std::string config =
            test::PortConfig(pty.SlavePath()) + std::string(IniFileLimit, ';');
        TWindowWorld world(config);
        QVERIFY(world.WaitForLines(1));
        QCOMPARE(world.Window->Traffic()[0].Kind, TTrafficKind::Warning);
        QVERIFY(world.Window->Traffic()[0].Text.find(world.cwd.Dir.Path("config.ini")) !=
                std::string::npos);
        TPortSettingsForm form = TPortSettingsForm::FromSettings(world.Window->Engine().Settings());
        form.Port = pty.SlavePath();
        form.BaudRate = "115200";
        world.Window->Options().EditPortSettings = [&](QWidget&, TPortSettingsForm& edited) {
            edited = form;
            return true;
        };
        world.Window->PortSettingsCommand();
        QCOMPARE(world.Window->Engine().Settings().Line.BaudRate, 115200); // for this run
        QCOMPARE(world.Messages.back().Icon, QMessageBox::Warning);
        QVERIFY(world.Messages.back().Text.contains(Ru("не прочитан и не изменён")));
        world.Window->Finish(); // layouts and lists stored as at every close
        QVERIFY(world.cwd.Dir.Read("config.ini") == config);
    }

    void PortSettingsDialogTakesTheTypedTextOnEnter() {
        const std::string port = "/tmp/port-\xD0\x98"; // "И" in UTF-8: 0x98 is no CP1251 byte
        TPortSettingsForm form;
        form.Port = port;
        form.BaudRate = "115200";
        form.Gap = "5";
        form.PacketSize = "10";
        const std::vector<TPortInfo> ports = {{.Path = "/dev/ttyUSB0", .Driver = "ftdi_sio"}};
        struct {
            const char* Name;
            QComboBox& (TPortSettingsDialog::*Field)();
            const char* Typed; // nothing: the text as the dialog showed it, all selected
            std::string Port, BaudRate;
        } cases[] = {
            {"Enter in the port", &TPortSettingsDialog::PortField, nullptr, port, "115200"},
            {"Enter in the rate", &TPortSettingsDialog::BaudRateField, nullptr, port, "115200"},
            {"a rate typed", &TPortSettingsDialog::BaudRateField, "57600", port, "57600"},
            {"a port typed", &TPortSettingsDialog::PortField, "/dev/ttyЖ1", "/dev/ttyЖ1", "115200"},
        };
        for (const auto& c : cases) {
            TPortSettingsDialog dialog(nullptr, form, ports);
            dialog.show();
            QLineEdit& field = *(dialog.*c.Field)().lineEdit();
            field.setFocus();
            field.selectAll();
            if (c.Typed) field.insert(QString::fromUtf8(c.Typed)); // as typed over the selection
            QTest::keyClick(&field, Qt::Key_Return);
            QVERIFY2(dialog.result() == QDialog::Accepted, c.Name);
            QVERIFY2(dialog.Form().Port == c.Port, c.Name);
            QVERIFY2(dialog.Form().BaudRate == c.BaudRate, c.Name);
        }
        // A refused value keeps the dialog open with every edit, and says why.
        TPortSettingsDialog dialog(nullptr, form, ports);
        dialog.show();
        dialog.BaudRateField().setEditText(QStringLiteral("57600"));
        QLineEdit& portField = *dialog.PortField().lineEdit();
        portField.clear();
        QTest::keyClick(&portField, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ProblemText().text(), Ru("Укажите порт"));
        QCOMPARE(dialog.Form().BaudRate, std::string("57600"));
        // A raw network port takes no line settings; an RFC 2217 one does.
        for (auto [typed, takes] :
             {std::pair{"tcp://rig:7002", false}, {"rfc2217://rig:7001", true}}) {
            dialog.PortField().setEditText(QString::fromUtf8(typed));
            QCOMPARE(dialog.BaudRateField().isEnabled(), takes);
        }
    }

    void ADeviceThatTakesNothingNeverHoldsUpTheWindow() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath()));
        QVERIFY(world.WaitForLines(1));
        world.Window->CodingChanged(2); // Win: the text's own bytes
        const qsizetype size = 30000;   // more than the pty holds, less than a line edit takes
        QLineEdit& line = world.Window->SendLine();
        line.setText(QString(size, QLatin1Char('A')));
        world.Window->SendLineCommand();
        // Back while the device has read nothing: the write waits on the engine's thread.
        QVERIFY(world.Window->Engine().PendingSends() > 0);
        QVERIFY(line.text().isEmpty());
        QVERIFY(QTest::qWaitFor(
            [&] { return line.placeholderText().contains(Ru("не принимает данные")); }, 5000));
        QCOMPARE(pty.Read(static_cast<size_t>(size), 10s).size(), static_cast<size_t>(size));
        QVERIFY(QTest::qWaitFor(
            [&] { return !line.placeholderText().contains(Ru("не принимает данные")); }, 5000));
        QCOMPARE(world.Window->Engine().PendingSends(), size_t{0});
    }

    void ClosingBySignalNeverWaitsAtAMessageBox() {
        for (bool bySignal : {false, true}) {
            TEvent stop;
            test::TTempDir notADirectory;
            const std::string file = notADirectory.Write("file", "");
            TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n[Log]\r\nAutoSave=1\r\nDir=" +
                                   file + "/logs\r\n",
                               {}, &stop);
            QVERIFY(world.WaitForLines(1));
            if (bySignal) stop.Set(); // as the handler does before the window closes
            world.Window->Finish();
            // The unsaved lines are rescued either way; only a user closing sees the box.
            QCOMPARE(world.Messages.empty(), bySignal);
        }
    }

    void SendLineSendsInTheCurrentCodingOrSaysWhatIsWrong() {
        test::TPtyDevice pty;
        TWindowWorld world(test::PortConfig(pty.SlavePath()));
        QVERIFY(world.WaitForLines(1));
        QLineEdit& line = world.Window->SendLine();
        world.Window->LineEnding().setCurrentIndex(1); // CR
        QTest::keyClicks(&line, "hello");
        QTest::keyClick(&line, Qt::Key_Return); // Hex coding: not hex, not sent
        QCOMPARE(line.text(), QStringLiteral("hello"));
        QCOMPARE(line.toolTip(), Ru("Не шестнадцатеричная цифра в позиции 1"));
        QCOMPARE(world.Window->SendRefusal().text(), line.toolTip()); // not only a tooltip
        line.clear();
        QTest::keyClicks(&line, "41 54");
        QTest::keyClick(&line, Qt::Key_Return);
        QCOMPARE(pty.Read(3, 2s), std::string("AT\r"));
        QVERIFY(line.text().isEmpty());
        QVERIFY(line.toolTip().isEmpty());
        world.Window->CodingChanged(1);
        QTest::keyClicks(&line, "OK<0x21>");
        QTest::keyClick(&line, Qt::Key_Return);
        QCOMPARE(pty.Read(4, 2s), std::string("OK!\r"));
        // The history holds bytes: each comes back in the coding in force.
        QTest::keyClick(&line, Qt::Key_Up);
        QCOMPARE(line.text(), QStringLiteral("OK!"));
        QTest::keyClick(&line, Qt::Key_Up);
        QCOMPARE(line.text(), QStringLiteral("AT"));
        QVERIFY(world.WaitForLines(3)); // both are Sent records
        QCOMPARE(world.Window->Traffic()[1].Kind, TTrafficKind::Sent);

        // Let go by the user: a send keeps its text and says why; reopened, it goes.
        world.Window->SwitchPort(false);
        QVERIFY(!world.Window->PortSwitch().isChecked());
        line.setText(QStringLiteral("go"));
        QTest::keyClick(&line, Qt::Key_Return);
        QCOMPARE(line.text(), QStringLiteral("go"));
        QCOMPARE(world.Window->SendRefusal().text(), Ru("Порт закрыт: строка не передана"));
        QVERIFY(QTest::qWaitFor(
            [&] { return world.Window->StatusField(1).text() == Ru("закрыт пользователем"); },
            2000));
        world.Window->show();
        world.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(world.Window.get()));
        QTest::keyClick(&line, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(world.Window->PortSwitch().isChecked());
        QTest::keyClick(&line, Qt::Key_Return);
        QCOMPARE(pty.Read(3, 2s), std::string("go\r"));
        QVERIFY(world.Window->SendRefusal().isHidden());
        world.Window->close();
        TIniFile desktop("desktop.ini");
        QCOMPARE(desktop.ReadString("SendLine", "Bytes2", ""), std::string("4F 4B 21"));
        QCOMPARE(desktop.ReadInteger("SendLine", "Ending", -1), 1);
    }

    void TheViewFollowsTheTailOnlyWhileTheUserIsAtIt() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n[Log]\r\nSize=0\r\n");
        world.Window->show();
        TTerminalHost& host = world.Window->EngineHost();
        auto post = [&](int count) {
            for (int i = 0; i < count; ++i)
                host.PostTraffic(std::make_unique<TTrafficRecord>(
                    TTrafficRecord{Now(), TTrafficKind::Received, "line " + std::to_string(i)}));
            world.Settle();
        };
        QScrollBar& bar = *world.Window->TrafficView().verticalScrollBar();
        post(200);
        QCOMPARE(bar.value(), bar.maximum()); // at the tail: follows
        QVERIFY(bar.maximum() > 0);
        bar.setValue(10); // the user reads older lines
        post(10000);
        QCOMPARE(world.Window->Traffic().Size(), size_t{10201});
        QCOMPARE(bar.value(), 10);
        QVERIFY(world.Window->NewLinesIndicator().isVisible());
        // The button keeps to the view's lower right corner while the lines scroll.
        QToolButton& button = world.Window->NewLinesIndicator();
        const QRect area = world.Window->TrafficView().viewport()->geometry();
        const QPoint corner = button.geometry().bottomRight();
        bar.setValue(20);
        QCOMPARE(button.geometry().bottomRight(), corner);
        QVERIFY(area.contains(corner) && corner.y() > area.bottom() - 10);
        button.click();
        QCOMPARE(bar.value(), bar.maximum());
        QVERIFY(!world.Window->NewLinesIndicator().isVisible());
        post(5);
        QCOMPARE(bar.value(), bar.maximum());
        // Following survives a smaller window.
        world.Window->resize(world.Window->width(), world.Window->height() - 120);
        world.Settle();
        post(1);
        QCOMPARE(bar.value(), bar.maximum());
    }

    // What an afternoon at the first window size needs: the whole status in sight, old lines
    // kept (greyed once logged), a long packet readable, a find hit seen without focus.
    void ADayAtTheFirstSize() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n[Log]\r\nSize=4\r\n");
        world.Window->show();
        world.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(world.Window.get()));
        QCOMPARE(QApplication::focusWidget(), &world.Window->SendLine()); // ready to type
        TTerminalHost& host = world.Window->EngineHost();
        std::string packet;
        for (int i = 0; i < 64; ++i)
            packet += static_cast<char>(0xA0 + i % 16);
        for (const char* data : {"ping", "pong", "ping", "pong", "ping", "pong"})
            host.PostTraffic(std::make_unique<TTrafficRecord>(
                TTrafficRecord{Now(), TTrafficKind::Received, data}));
        host.PostTraffic(std::make_unique<TTrafficRecord>(
            TTrafficRecord{Now(), TTrafficKind::TriggerSent, packet}));
        QVERIFY(world.WaitForLines(8)); // the port's error, six, the packet
        world.Settle();

        // Status: every field shown lies apart from the others; rate and frame never cut.
        std::vector<QRect> fields;
        for (QWidget* field : {static_cast<QWidget*>(&world.Window->StatusField(0)),
                               static_cast<QWidget*>(&world.Window->StatusField(1)),
                               static_cast<QWidget*>(&world.Window->StatusField(2)),
                               static_cast<QWidget*>(&world.Window->StatusField(3)),
                               &world.Window->ModemControlsGroup()})
            if (field->isVisible())
                fields.push_back(QRect(field->mapTo(world.Window.get(), QPoint()), field->size()));
        for (size_t i = 0; i < fields.size(); ++i) {
            QVERIFY(world.Window->rect().contains(fields[i]));
            for (size_t j = i + 1; j < fields.size(); ++j)
                QVERIFY2(!fields[i].intersects(fields[j]), qPrintable(QString::number(i)));
        }
        QLabel& frame = world.Window->StatusField(3);
        QVERIFY(frame.fontMetrics().horizontalAdvance(frame.text()) <=
                frame.contentsRect().width());

        // Scrollback: the flushed lines stay, painted apart.
        TTrafficModel& model = world.Window->TrafficModel();
        QCOMPARE(model.rowCount(), 8);
        QVERIFY(model.data(model.index(0, 0), Qt::ForegroundRole).isValid());
        QVERIFY(!model.data(model.index(7, 0), Qt::ForegroundRole).isValid());

        // The long packet: sideways scrolling, and the whole of it in the detail field.
        QVERIFY(world.Window->SidewaysBar().isVisible());
        QVERIFY(world.Window->DetailField().isHidden());
        world.Window->TrafficView().setCurrentIndex(model.index(7, 0));
        QVERIFY(world.Window->DetailField().isVisible());
        QVERIFY(world.Window->DetailField().toPlainText().endsWith(
            FromCp1251(BytesToText(packet, TCoding::Hex))));
        QVERIFY(world.Window->DetailField().toPlainText().contains(QStringLiteral("<-t- ")));
        QVERIFY(model.data(model.index(7, 0), Qt::ToolTipRole)
                    .toString()
                    .contains(FromCp1251(BytesToText(packet, TCoding::Hex))));

        // Find: the hit is painted while the focus stays in the find bar; a miss says so there.
        world.Window->OpenFindBar();
        world.Window->FindBar().setText(QStringLiteral("absent"));
        QVERIFY(!world.Window->FindInView(true));
        QVERIFY(world.Window->FindResult().isVisible());
        QCOMPARE(world.Window->FindResult().text(), Ru("Не найдено"));
        world.Window->FindBar().setText(QStringLiteral("70 6F"));
        QVERIFY(world.Window->FindInView(false));
        QVERIFY(world.Window->FindResult().isHidden());
        QCOMPARE(model.HighlightedRow(), 6);
        QVERIFY(model.data(model.index(6, 0), Qt::BackgroundRole).isValid());
        QVERIFY(!world.Window->TrafficView().hasFocus());
    }

    void FindAndCopyWorkOnTheLinesAsShown() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\nReconnect=0\r\n");
        world.Window->show();
        TTerminalHost& host = world.Window->EngineHost();
        for (const char* data : {"PING\r", "pong", "Ping again"})
            host.PostTraffic(std::make_unique<TTrafficRecord>(
                TTrafficRecord{46363.5, TTrafficKind::Received, data}));
        world.Settle();
        world.Window->CodingChanged(1); // found in the text as shown: "PING<0x0D>"
        world.Window->FindBar().setText(QStringLiteral("ping<0x0d>"));
        QVERIFY(world.Window->FindInView(true));
        QCOMPARE(world.Window->TrafficView().currentIndex().row(), 1);
        world.Window->FindBar().setText(QStringLiteral("PING"));
        QVERIFY(world.Window->FindInView(true));
        QCOMPARE(world.Window->TrafficView().currentIndex().row(), 3);
        QVERIFY(world.Window->FindInView(true)); // wraps round
        QCOMPARE(world.Window->TrafficView().currentIndex().row(), 1);
        world.Window->FindBar().setText(QStringLiteral("absent"));
        QVERIFY(!world.Window->FindInView(false));
        QCOMPARE(world.Window->FindBar().toolTip(), Ru("Не найдено"));

        QItemSelectionModel& selection = *world.Window->TrafficView().selectionModel();
        selection.clearSelection();
        for (int row : {3, 1, 2})
            selection.select(world.Window->TrafficModel().index(row, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        world.Window->CopySelection();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("12:00:00.000  ---> PING<0x0D>\n12:00:00.000  ---> pong\n"
                                "12:00:00.000  ---> Ping again\n"));
    }

    void ReportsReachTheWindowInTheirOrderAndGoWithItsHost() {
        // A report of another kind between records comes in its place.
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n[Log]\r\nSize=0\r\n");
        QVERIFY(world.WaitForLines(1));
        TTerminalHost& host = world.Window->EngineHost();
        auto post = [&](const char* text) {
            host.PostTraffic(
                std::make_unique<TTrafficRecord>(TTrafficRecord{0, TTrafficKind::Info, text}));
        };
        post("first");
        QCoreApplication::sendPostedEvents(world.Window.get());
        post("second");
        host.NotifyPortState(TPortState::Open);
        post("after the state");
        QVERIFY(QTest::qWaitFor([&] { return world.Window->Traffic().Size() >= 4; }, 2000));
        QCOMPARE(world.Window->Traffic().Size(), size_t{4});
        QCOMPARE(world.Window->Traffic()[2].Text, std::string("second"));
        QCOMPARE(world.Window->Traffic()[3].Text, std::string("after the state"));
        QVERIFY(world.Window->StatusField(1).text().contains(Ru("открыт")));

        // A window that goes with reports still queued frees their records (the sanitizer
        // build sees a leak otherwise).
        for (int i = 0; i < 10; ++i)
            host.PostTraffic(std::make_unique<TTrafficRecord>(
                TTrafficRecord{0, TTrafficKind::Received, std::string(1000, 'y')}));
        world.Window.reset();
    }

    void EveryTextOfEveryWindowIsInTheChosenLanguage() {
        test::TPtyDevice pty;
        test::TTempDir files;
        const std::string config = test::PortConfig(
            pty.SlavePath(),
            "[Terminal]\r\nTriggerFile=" +
                files.Write("t.txt", "TRIGGER 1 \"ping\" ANSI \"PING\" { WAIT OUT \"PONG\" }\n") +
                "\r\n[Packets]\r\nCount=1\r\n1.data=41 0D\r\n1.name=poll\r\n");
        QStringList texts[2];
        std::vector<std::string> lines[2];
        for (TLanguage language : {TLanguage::Russian, TLanguage::English}) {
            const size_t i = language == TLanguage::English ? 1 : 0;
            test::TLanguageChoice choice(language);
            TTranslations translations(language);
            QVERIFY(translations.Loaded());
            TWindowWorld world(config);
            QVERIFY(world.WaitForLines(1));
            TMainWindow& window = *world.Window;
            window.show();
            // The texts that come with a refusal, a search and a closed port.
            window.SendLine().setText(QString::fromUtf8("一"));
            window.SendLineCommand();
            window.OpenFindBar();
            window.FindBar().setText(QStringLiteral("nothing like it"));
            window.FindInView(true);
            TPortSettingsForm refused = TPortSettingsForm::FromSettings(window.Engine().Settings());
            refused.BaudRate = "fast";
            window.ApplyPortSettings(refused);
            QCOMPARE(world.Messages.size(), size_t{1});
            texts[i] << world.Messages[0].Caption << world.Messages[0].Text;
            window.SwitchPort(false);
            QVERIFY(world.WaitForLines(2));
            world.Settle();

            const TTrigger* trigger = window.Engine().Triggers().At(
                PacketHash("PING", window.Engine().Settings().HashSize));
            QVERIFY(trigger);
            TTriggersWindow& triggers = window.ShowTriggersWindow();
            TChangeCommandDialog change(&triggers, *trigger);
            TPortSettingsDialog port(&window, refused, {{"/dev/ttyUSB0", "", "ftdi_sio"}});
            TPacketEditDialog packet(&window);
            packet.SetCheck(TPacketEditDialog::SendableIn(TCoding::Hex));
            packet.PeriodEdit().setText(QStringLiteral("0"));
            packet.accept(); // refused: its reason shows
            for (const QWidget* shown : std::initializer_list<const QWidget*>{
                     &window, &window.ShowGeneratorWindow(), &triggers, &change, &port, &packet})
                texts[i] += ReadableTexts(*shown);
            for (size_t line = 0; line < window.Traffic().Size(); ++line)
                lines[i].push_back(window.Traffic()[line].Text);
            window.close();
        }
        std::filesystem::remove(ProgramDirectory() + "desktop.ini");

        QCOMPARE(texts[1].size(), texts[0].size());
        int russianTexts = 0;
        for (qsizetype t = 0; t < texts[0].size(); ++t) {
            QVERIFY2(!HasCyrillic(texts[1][t]), qPrintable(texts[1][t]));
            // Each text shows in both languages or in neither.
            QVERIFY2(texts[0][t].isEmpty() == texts[1][t].isEmpty(),
                     qPrintable(texts[0][t] + " / " + texts[1][t]));
            russianTexts += HasCyrillic(texts[0][t]) ? 1 : 0;
        }
        QVERIFY2(russianTexts > 80, qPrintable(QString::number(russianTexts)));
        QCOMPARE(lines[1].size(), lines[0].size());
        QCOMPARE(FromCp1251(lines[1].back()), FromPath(pty.SlavePath()) + ": closed by the user");
        QCOMPARE(FromCp1251(lines[0].back()),
                 FromPath(pty.SlavePath()) + QString::fromUtf8(": закрыт пользователем"));
        for (const std::string& line : lines[1])
            QVERIFY2(!HasCyrillic(FromCp1251(line)), line.c_str());
    }

    void ToolWindowsAreMadeOnceAndSavedAtClose() {
        TWindowWorld world(
            "[Port]\r\nDevice=/nonexistent/tty\r\n[Packets]\r\nCount=1\r\n1.data=41 0D\r\n");
        TTriggersWindow* triggers = &world.Window->ShowTriggersWindow();
        QCOMPARE(&world.Window->ShowTriggersWindow(), triggers);
        TGeneratorWindow* generator = &world.Window->ShowGeneratorWindow();
        QCOMPARE(&world.Window->ShowGeneratorWindow(), generator);
        // The toolbar button brings a minimised tool window back.
        for (QWidget* tool : {static_cast<QWidget*>(triggers), static_cast<QWidget*>(generator)}) {
            tool->showMinimized();
            QVERIFY(tool->isMinimized());
        }
        world.Window->ShowTriggersWindow();
        world.Window->ShowGeneratorWindow();
        QVERIFY(!triggers->isMinimized() && triggers->isVisible());
        QVERIFY(!generator->isMinimized() && generator->isVisible());
        QCOMPARE(generator->Packets().Packets()[0].Data, std::string("41 0D"));
        world.Window->CodingChanged(2); // reaches the generator's list
        QCOMPARE(generator->Packets().Packets()[0].Data, std::string("A<0x0D>"));
        world.Window->close();
        QVERIFY(world.cwd.Dir.Read("config.ini").find("1.data=41 0D\r\n") != std::string::npos);
        TIniFile programDesktop(ProgramDirectory() + "desktop.ini");
        QVERIFY(programDesktop.ReadInteger("Generator", "Column1.Width", -1) > 0);
        QVERIFY(programDesktop.ReadInteger("Triggers", "Column4.Width", -1) > 0);
        std::filesystem::remove(ProgramDirectory() + "desktop.ini");
    }

    void SaveCommandReportsAnUnwritableFile() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        QVERIFY(world.WaitForLines(1));
        world.Window->SaveListAs("/nonexistent/dir/list.txt");
        QCOMPARE(world.Messages.size(), size_t{1});
        QCOMPARE(world.Messages[0].Caption, QString::fromUtf8("Ошибка"));
        QVERIFY(world.Messages[0].Text.startsWith(
            QString::fromUtf8("Ошибка открытия файла: /nonexistent/dir/list.txt\n\r")));
        world.Window->SaveListAs("saved.txt");
        QVERIFY(world.cwd.Dir.Read("saved.txt")
                    .ends_with("/nonexistent/tty: No such file or directory\r\n"));
    }

    void SaveDialogAddsTheSuffixOfTheTextFilter() {
        TWindowWorld world("[Port]\r\nDevice=/nonexistent/tty\r\n");
        QVERIFY(world.WaitForLines(1));
        struct {
            int Filter;
            const char* Typed;
            const char* Saved;
        } cases[] = {{-1, "view1", "view1.txt"}, // the text filter is the first choice
                     {-1, "notes.log", "notes.log"},
                     {1, "raw", "raw"},
                     {0, "back", "back.txt"}};
        for (const auto& c : cases) {
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                if (c.Filter >= 0) { // as the user's choice in the filter box
                    dialog->selectNameFilter(dialog->nameFilters()[c.Filter]);
                    emit dialog->filterSelected(dialog->nameFilters()[c.Filter]);
                }
                dialog->selectFile(QString::fromStdString(world.cwd.Dir.Path(c.Typed)));
                QMetaObject::invokeMethod(dialog, "accept");
            });
            world.Window->SaveCommand();
            QVERIFY2(std::filesystem::exists(world.cwd.Dir.Path(c.Saved)), c.Saved);
        }
        QVERIFY(!std::filesystem::exists(world.cwd.Dir.Path("view1")));
    }
};

QTEST_MAIN(TMainWindowTest)
#include "main_window_test.moc"
