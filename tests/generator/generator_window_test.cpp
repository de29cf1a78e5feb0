#include "generator/generator_window.h"
#include "generator/packet_edit_dialog.h"
#include "tests/support/russian_text.h"
#include "tests/support/temp_dir.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace vemla;
using vemla::test::Ru;

namespace {

struct TGeneratorWorld {
    explicit TGeneratorWorld(const std::string& config =
                                 "[Packets]\r\nCount=3\r\n1.data=41\r\n2.data=42\r\n3.data=43\r\n",
                             TCoding coding = TCoding::Hex)
        : Coding(coding) {
        TGeneratorContext context;
        context.Coding = [this] { return Coding; };
        context.ConfigFileName = dir.Write("config.ini", config);
        context.DesktopFile = dir.Path("desktop.ini");
        context.Send = [this](std::string_view bytes) { Sent += bytes; };
        context.EditPacket = [this](QWidget&, TPacket& packet) {
            ++Edits;
            if (!NextEdit) return false;
            packet = *NextEdit;
            return true;
        };
        context.Confirm = [this](QWidget&, const QString& question) {
            Questions.push_back(question);
            return Answer;
        };
        context.ShowError = [this](QWidget&, const QString& text) { Errors.push_back(text); };
        context.StartTimedSends = [this](std::vector<TTimedSend> sends) {
            Timed.push_back(std::move(sends));
        };
        Window = std::make_unique<TGeneratorWindow>(nullptr, std::move(context));
        Window->LoopTimer().setInterval(1); // the loop's pace is not under test
    }
    test::TTempDir dir;
    TCoding Coding;
    std::string Sent;
    int Edits = 0;
    std::optional<TPacket> NextEdit;
    bool Answer = true;
    QStringList Questions, Errors;
    std::vector<std::vector<TTimedSend>> Timed; // each list handed to the sender
    std::unique_ptr<TGeneratorWindow> Window;
};

} // namespace

class TGeneratorWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void QuestionBoxesLeaveRoomForTheirCaption() {
        // "Подтверждение" over a short question was cut by a window manager.
        QMessageBox box(QMessageBox::Question, Ru("Подтверждение"), Ru("Удалить?"),
                        QMessageBox::Yes | QMessageBox::No);
        const int bare = box.sizeHint().width();
        FitCaption(box);
        const int needed = CaptionWidth(box.windowTitle(), box.font());
        QVERIFY(bare < needed);
        QVERIFY(box.sizeHint().width() >= needed);
    }

    void LoopWalksTheListInOrder() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.Packets().Select(0);
        w.NextBox().setChecked(true);
        w.LoopBox().setChecked(true);
        w.SendPacket();
        QVERIFY(QTest::qWaitFor([&] { return world.Sent.size() >= 5; }, 5000));
        w.LoopBox().setChecked(false);
        QVERIFY(QTest::qWaitFor([&] { return !w.LoopTimer().isActive(); }, 5000));
        QVERIFY(world.Sent.substr(0, 5) == "ABCAB");
    }

    // Packets with a period go to the sender while the loop box is checked; the one-second loop
    // sends the others and only steps past them.
    void PacketsWithAPeriodGoAtTheirOwnPeriods() {
        TGeneratorWorld world("[Packets]\r\nCount=3\r\n1.data=41\r\n2.data=42\r\n2.period=5\r\n"
                              "2.count=7\r\n3.data=43 CRC16M\r\n3.period=250\r\n");
        TGeneratorWindow& w = *world.Window;
        QCOMPARE(w.PacketView().topLevelItem(1)->text(2), QStringLiteral("5"));
        QCOMPARE(w.PacketView().topLevelItem(1)->text(3), QStringLiteral("7"));
        QVERIFY(w.PacketView().topLevelItem(2)->text(3).isEmpty());     // for ever
        QVERIFY(!w.PacketView().topLevelItem(2)->toolTip(0).isEmpty()); // the bytes it sends
        w.Packets().Select(0);
        w.NextBox().setChecked(true);
        w.LoopBox().setChecked(true);
        QCOMPARE(world.Timed.size(), size_t{1});
        QCOMPARE(world.Timed[0].size(), size_t{2});
        QCOMPARE(world.Timed[0][0].Bytes, std::string("B"));
        QCOMPARE(world.Timed[0][0].Period, std::chrono::microseconds(5000));
        QCOMPARE(world.Timed[0][0].Count, uint64_t{7});
        QCOMPARE(world.Timed[0][1].Count, uint64_t{0});
        w.SendPacket();
        QVERIFY(QTest::qWaitFor([&] { return world.Sent.size() >= 3; }, 5000));
        QCOMPARE(world.Sent.substr(0, 3), std::string("AAA")); // B and C are the sender's
        w.LoopBox().setChecked(false);
        QCOMPARE(world.Timed.size(), size_t{2});
        QVERIFY(world.Timed[1].empty());
    }

    void ClearingTheLoopBoxGivesExactlyOneMoreSend() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.Packets().Select(0);
        w.LoopBox().setChecked(true);
        w.LoopTimer().setInterval(50);
        w.SendPacket();
        QCOMPARE(world.Sent, std::string("A"));
        w.LoopBox().setChecked(false);
        QVERIFY(w.LoopTimer().isActive()); // clearing the box alone does not stop the timer
        QVERIFY(QTest::qWaitFor([&] { return !w.LoopTimer().isActive(); }, 5000));
        QCOMPARE(world.Sent, std::string("AA"));
    }

    void DeselectingPausesTheLoopUntilAPacketIsSelected() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.show();
        w.Packets().Select(1);
        w.LoopBox().setChecked(true);
        w.SendPacket();
        w.PacketView().clearSelection();
        QCOMPARE(w.Packets().Current(), -1);
        size_t before = world.Sent.size();
        QSignalSpy ticks(&w.LoopTimer(), &QTimer::timeout);
        QVERIFY(QTest::qWaitFor([&] { return ticks.count() >= 5; }, 5000)); // ticks pass
        QCOMPARE(world.Sent.size(), before);
        QVERIFY(w.LoopTimer().isActive());
        w.PacketView().topLevelItem(2)->setSelected(true);
        QVERIFY(QTest::qWaitFor([&] { return world.Sent.size() > before; }, 5000));
        QCOMPARE(world.Sent.back(), 'C');
        w.showMinimized();
        w.hide();                         // as with a minimised owner
        QVERIFY(w.LoopBox().isChecked()); // only the user's hiding ends the loop
        w.show();
        w.close();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.LoopBox().isChecked());
    }

    void EveryButtonShowsWholeAtTheDefaultSize() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.show();
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), QSize(465, 333));
        for (int command = 0; command < 6; ++command) { // all but "Изменить", which has no button
            bool shown = false;
            for (QObject* object : w.Command(command).associatedObjects()) {
                auto* button = qobject_cast<QToolButton*>(object);
                if (button && button->isVisible() &&
                    w.rect().contains(QRect(button->mapTo(&w, QPoint()), button->size())))
                    shown = true;
            }
            QVERIFY2(shown, qPrintable(w.Command(command).text()));
        }
        QCOMPARE(w.LoopTimer().timerType(), Qt::PreciseTimer);
    }

    void EmptyListEnablesOnlyAdd() {
        TGeneratorWorld world("");
        TGeneratorWindow& w = *world.Window;
        const bool expected[] = {true, false, false, false, false, false, false};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(w.Command(i).isEnabled(), expected[i]);
        w.SendPacket();
        QCOMPARE(world.Sent, std::string());
    }

    void DialogOutcomesAndDeleteConfirmation() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.AddPacket(); // cancelled
        QCOMPARE(w.Packets().Count(), 3);
        world.NextEdit = TPacket{"", "no data"};
        w.AddPacket(); // OK with an empty packet counts as cancel
        QCOMPARE(w.Packets().Count(), 3);
        world.NextEdit = TPacket{"1 a ff", "new"};
        w.AddPacket();
        QCOMPARE(w.Packets().Count(), 4);
        QCOMPARE(w.PacketView().topLevelItem(3)->text(0), QStringLiteral("01 0A FF"));
        QCOMPARE(w.PacketView().topLevelItem(3)->text(1), QStringLiteral("new"));
        world.Answer = false;
        w.DeletePacket();
        QCOMPARE(w.Packets().Count(), 4);
        QCOMPARE(world.Questions.back(), QString::fromUtf8("Удалить \"01 0A FF\""));
        world.Answer = true;
        w.DeletePacket();
        QCOMPARE(w.Packets().Count(), 3);
        QCOMPARE(w.Packets().Current(), 2);
    }

    void SavesLayoutAndReportsAnUnwritableConfig() {
        TGeneratorWorld world;
        TGeneratorWindow& w = *world.Window;
        w.Packets().Select(0);
        w.MoveDown();
        w.LoadSaveGenerator(false);
        QVERIFY(world.Errors.isEmpty());
        QVERIFY(world.dir.Read("config.ini").find("1.data=42\r\n") != std::string::npos);
        QVERIFY(world.dir.Read("desktop.ini").find("[Generator]\r\nLeft=") == 0);
        QVERIFY(world.dir.Read("desktop.ini").find("Column1.Width=200\r\nColumn2.Width=257\r\n") !=
                std::string::npos);

        std::filesystem::remove(world.dir.Path("config.ini"));
        std::filesystem::create_directory(world.dir.Path("config.ini")); // cannot be replaced
        w.MoveUp();
        w.LoadSaveGenerator(false);
        QCOMPARE(world.Errors.size(), 1);
        QVERIFY(world.Errors[0].startsWith(QString::fromUtf8("Список пакетов не сохранён")));
    }

    void EditDialogResults() {
        // A text that does not read in the coding is refused as the send line refuses it:
        // OK stays disabled and Enter does nothing, so only Escape ends the dialog.
        struct {
            QString Packet;
            TCoding Coding;
            bool PressEnter;
            int Result;
            const char* Reason;
        } cases[] = {
            {"", TCoding::Hex, true, 2, ""},
            {"   ", TCoding::Hex, true, 1, ""},
            {"41", TCoding::Hex, true, 1, ""},
            {"41", TCoding::Hex, false, 2, ""},
            {"hello", TCoding::Hex, true, 2, "Не шестнадцатеричная цифра в позиции 1"},
            {"hello", TCoding::Win, true, 1, ""},
            {"4", TCoding::Hex, true, 2, "Нечётное число шестнадцатеричных цифр"},
            {"ok<0x4", TCoding::WinHex, true, 2, "позиции 3"},
            {"Ω", TCoding::Win, true, 2, "Символ не из кодовой страницы 1251"},
        };
        for (const auto& c : cases) {
            TPacketEditDialog dialog(nullptr);
            dialog.SetCheck(TPacketEditDialog::SendableIn(c.Coding));
            dialog.PacketEdit().setText(c.Packet);
            QVERIFY2(dialog.Refusal().text().contains(QString::fromUtf8(c.Reason)),
                     qPrintable(dialog.Refusal().text()));
            QCOMPARE(dialog.OkButton().isEnabled(), *c.Reason == '\0');
            QTimer::singleShot(0, &dialog, [&] {
                QTest::keyClick(&dialog.DescriptionEdit(),
                                c.PressEnter ? Qt::Key_Return : Qt::Key_Escape);
                if (dialog.isVisible()) QTest::keyClick(&dialog.DescriptionEdit(), Qt::Key_Escape);
            });
            QCOMPARE(dialog.exec(), c.Result);
        }
        // A period from 1 ms to 24 h and a count above 0, each or both left empty.
        struct {
            const char* Period;
            const char* Count;
            const char* Reason;
        } timings[] = {
            {"", "", ""},
            {"10", "", ""},
            {"1", "5", ""},
            {"0", "", "Период"},
            {"86400001", "", "Период"},
            {"x", "", "Период"},
            {"10", "0", "Повторов"},
            {"10", "-3", "Повторов"},
        };
        for (const auto& t : timings) {
            TPacketEditDialog dialog(nullptr);
            dialog.SetCheck(TPacketEditDialog::SendableIn(TCoding::Hex));
            dialog.PacketEdit().setText(QStringLiteral("41"));
            dialog.PeriodEdit().setText(QString::fromUtf8(t.Period));
            dialog.CountEdit().setText(QString::fromUtf8(t.Count));
            const QString reason = dialog.Refusal().text();
            QVERIFY2(*t.Reason ? reason.startsWith(QString::fromUtf8(t.Reason)) : reason.isEmpty(),
                     qPrintable(QString::fromUtf8(t.Period) + QLatin1Char('/') +
                                QString::fromUtf8(t.Count) + QLatin1Char(' ') + reason));
            QCOMPARE(dialog.OkButton().isEnabled(), *t.Reason == '\0');
        }
    }
};

QTEST_MAIN(TGeneratorWindowTest)
#include "generator_window_test.moc"
