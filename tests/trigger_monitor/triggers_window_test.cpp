#include "engine/terminal.h"
#include "platform/cp1251.h"
#include "tests/support/port_config.h"
#include "tests/support/record_sink.h"
#include "tests/support/temp_dir.h"
#include "trigger_monitor/change_command_dialog.h"
#include "trigger_monitor/triggers_window.h"
#include "ui_common/cut_text_tooltip.h"

#include <QHeaderView>
#include <QListView>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

using namespace vemla;

namespace {

struct TMonitorWorld {
    explicit TMonitorWorld(const std::string& triggers) {
        std::string file = dir.Write("t.txt", triggers);
        terminal = std::make_unique<TTerminal>(
            sink, test::SettingsOf(dir.Write(
                      "c.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n[Terminal]\r\nTriggerFile=" +
                                   file + "\r\n")));
        TTriggersContext context;
        context.DesktopFile = dir.Path("desktop.ini");
        context.SetTriggerPosition = [this](TTrigger& t, int32_t p) {
            terminal->SetTriggerPosition(t, p);
        };
        context.ChooseCommand = [this](QWidget& owner,
                                       const TTrigger& trigger) -> std::optional<int32_t> {
            // The real dialog, answered as the test says.
            TChangeCommandDialog dialog(&owner, trigger);
            OpenedWith = dialog.SelectedCommand();
            if (Choice == Cancel) return std::nullopt;
            if (Choice != Keep) dialog.SelectCommand(Choice);
            return dialog.SelectedCommand();
        };
        window =
            std::make_unique<TTriggersWindow>(nullptr, terminal->Triggers(), std::move(context));
    }
    QString Cell(int row, int column) {
        return window->Triggers()
            .data(window->Triggers().index(row, column), Qt::DisplayRole)
            .toString();
    }
    void DoubleClickRow(int row) {
        window->TriggerList().selectionModel()->select(window->Triggers().index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        window->ChangeSelectedTrigger();
    }
    // The answers the triggers wrote: with no port each is an Error record saying so.
    size_t TriggerWrites() {
        auto errors = sink.RecordsOf(TTrafficKind::Error);
        return static_cast<size_t>(std::count_if(errors.begin(), errors.end(), [](const auto& r) {
            return r.Data.find(Utf8ToCp1251("не передано байт")) != std::string::npos;
        }));
    }

    static constexpr int Keep = -2;
    static constexpr int Cancel = -3;
    test::TTempDir dir;
    test::TRecordSink sink;
    std::unique_ptr<TTerminal> terminal;
    std::unique_ptr<TTriggersWindow> window;
    int Choice = Keep;
    int OpenedWith = -5;
};

} // namespace

class TTriggersWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void RowsAreSortedByIdAndShowTheirState() {
        TMonitorWorld world("TRIGGER 10 \"ten\" HEX \"01\" { WAIT GOTO 1 }\n"
                            "TRIGGER 2 \"two\" HEX \"02\" { SWITCH 99 0 }\n"
                            "TRIGGER 1 \"one\" HEX \"03\" { OUTW \"48 69 0D\" WAIT GOTO 1 }");
        QCOMPARE(world.window->Triggers().rowCount(), 3);
        const char* ids[] = {"1", "2", "10"};
        for (int row = 0; row < 3; ++row)
            QCOMPARE(world.Cell(row, 0), QString::fromLatin1(ids[row]));
        QCOMPARE(world.Cell(0, 1), QStringLiteral("one"));
        QCOMPARE(world.Cell(0, 3), QStringLiteral("1: OUTW 48 69 0D"));
        QCOMPARE(world.Cell(1, 2), QStringLiteral("4"));
        QCOMPARE(world.Cell(2, 2), QStringLiteral("ok"));
        QCOMPARE(world.Cell(2, 3), QStringLiteral("1: WAIT"));
        QCOMPARE(world.window->Triggers().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromUtf8("Наименование"));
        QCOMPARE(world.window->TriggerList().header()->sectionSize(3), 200);
    }

    void CellsFollowRunsWhileHidden() {
        TMonitorWorld world("TRIGGER 1 \"t\" ANSI \"P\" { WAIT OUT \"x\" STOP }");
        world.window->show();
        world.window->close(); // hides instead of closing
        QVERIFY(!world.window->isVisible());
        QSignalSpy changed(&world.window->Triggers(), &QAbstractItemModel::dataChanged);
        world.terminal->MatchPacket("P");
        world.window->TriggerChanged(world.terminal->Triggers().At(PacketHash("P", 0))[0]);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(world.Cell(0, 2), QString::fromUtf8("отключен"));
        QCOMPARE(world.Cell(0, 3), QStringLiteral("3: STOP"));
        QCOMPARE(world.Cell(0, 4), QStringLiteral("1"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                    .match(world.Cell(0, 5))
                    .hasMatch());
        // A stopped trigger still counts its packets, and says so though it does not run.
        const int notified = world.sink.Notifications();
        world.terminal->MatchPacket("P");
        world.terminal->MatchPacket("Q"); // no trigger takes it
        QCOMPARE(world.Cell(0, 4), QStringLiteral("2"));
        QCOMPARE(world.sink.Notifications(), notified + 1);
        QCOMPARE(world.terminal->UnmatchedPacketCount(), uint64_t{1});
        QCOMPARE(world.window->Triggers().headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromUtf8("Срабатываний"));
        QCOMPARE(world.window->Triggers().headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromUtf8("Последнее"));
    }

    void DialogOpensOnTheCurrentCommand() {
        TMonitorWorld world(
            "TRIGGER 1 \"My \"\"name\"\"\" HEX \"01\" { OUT \"01\" OUT \"02\" WAIT GOTO 1 }");
        const TTrigger& trigger = *world.terminal->Triggers().At(1);
        TChangeCommandDialog dialog(nullptr, trigger);
        QCOMPARE(dialog.SelectedCommand(), 2);
        QCOMPARE(dialog.Label(),
                 QString::fromUtf8("Выберите команду для триггера  \"My \"name\"\""));
        QCOMPARE(dialog.CommandListBox().model()->rowCount(), 4);
        QCOMPARE(dialog.CommandListBox().model()->index(2, 0).data().toString(),
                 QStringLiteral("3: WAIT"));
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Изменение текущей команды триггера"));
        QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), TChangeCommandDialog::ResultCancel);
    }

    void OkRestartsASwitchedOffTrigger() {
        TMonitorWorld world("TRIGGER 1 \"t\" ANSI \"P\" { STOP OUT \"x\" WAIT GOTO 2 }");
        const TTrigger& trigger = *world.terminal->Triggers().At(PacketHash("P", 0));
        QVERIFY(trigger.Status == TTriggerStatus::SwitchedOff);
        world.Choice = TMonitorWorld::Cancel;
        world.DoubleClickRow(0);
        QVERIFY(trigger.Status == TTriggerStatus::SwitchedOff);
        world.Choice = 1;
        world.DoubleClickRow(0);
        QCOMPARE(world.OpenedWith, 0);
        QVERIFY(trigger.Status == TTriggerStatus::Ok);
        QCOMPARE(world.TriggerWrites(), size_t{1});
    }

    void OkWithoutMovingRunsTheOutwAgain() {
        TMonitorWorld world("TRIGGER 1 \"t\" ANSI \"P\" { OUTW \"x\" WAIT GOTO 1 }");
        QCOMPARE(world.TriggerWrites(), size_t{1});
        world.DoubleClickRow(0);
        QCOMPARE(world.OpenedWith, 0);
        QCOMPARE(world.TriggerWrites(), size_t{2});
    }

    void CutCellsShowTheirWholeTextAsTooltip() {
        TMonitorWorld world(
            "TRIGGER 1 \"short\" HEX \"01\" { WAIT GOTO 1 }\n"
            "TRIGGER 2 \"a name far too long for its column\" HEX \"02\" { OUTW \"" +
            std::string(30, '7') + "\" WAIT }");
        world.window->show();
        QTreeView& view = world.window->TriggerList();
        auto* tooltips = dynamic_cast<TCutTextTooltip*>(view.itemDelegate());
        QVERIFY(tooltips);
        struct {
            int Row, Column;
            QString Expected;
        } cases[] = {
            {0, 1, QString()}, // fits
            {1, 1, QStringLiteral("a name far too long for its column")},
            {1, 3, QStringLiteral("1: OUTW 77 77 77 77 77 77 77 77 77 77 77 77 77 77 77")},
            {1, 2, QString()},
        };
        for (const auto& c : cases)
            QCOMPARE(tooltips->ToolTipFor(view, world.window->Triggers().index(c.Row, c.Column)),
                     c.Expected);
    }

    void NothingSelectedDoesNothing() {
        TMonitorWorld world("TRIGGER 1 \"t\" ANSI \"P\" { WAIT GOTO 1 }");
        world.window->ChangeSelectedTrigger();
        QCOMPARE(world.OpenedWith, -5);
    }
};

QTEST_MAIN(TTriggersWindowTest)
#include "triggers_window_test.moc"
