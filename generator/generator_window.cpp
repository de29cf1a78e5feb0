#include "generator/generator_window.h"

#include "generator/packet_edit_dialog.h"
#include "platform/system.h"
#include "ui_common/icons.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vemla {
namespace {

bool RunEditDialog(QWidget& owner, TPacket& packet, TCoding coding) {
    TPacketEditDialog dialog(&owner);
    dialog.SetCheck(TPacketEditDialog::SendableIn(coding));
    dialog.PacketEdit().setText(FromCp1251(packet.Data));
    dialog.DescriptionEdit().setText(FromCp1251(packet.Name));
    dialog.SetTiming(packet.PeriodMs, packet.Count);
    CenterOver(owner, dialog);
    if (dialog.exec() != TPacketEditDialog::ResultOk) return false;
    packet = {ToCp1251(dialog.PacketEdit().text()), ToCp1251(dialog.DescriptionEdit().text())};
    packet.PeriodMs = dialog.PeriodMs().value_or(0);
    packet.Count = dialog.RepeatCount().value_or(0);
    return true;
}

bool Confirmed(QWidget& owner, const QString& question) {
    QMessageBox box(QMessageBox::Question, TGeneratorWindow::tr("Подтверждение"), question,
                    QMessageBox::Yes | QMessageBox::No, &owner);
    FitCaption(box);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

TGeneratorWindow::TGeneratorWindow(QWidget* parent, TGeneratorContext context)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Context(std::move(context)) {
    SetDefaultSteps();
    setWindowTitle(tr("Передача данных"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    resize(465, 333);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolbar(*layout);
    BuildView(*layout);
    BuildBottomPanel(*layout);

    Timer = new QTimer(this);
    Timer->setTimerType(Qt::PreciseTimer); // a coarse timer fires up to 5 % early
    Timer->setInterval(LoopInterval);
    connect(Timer, &QTimer::timeout, this, &TGeneratorWindow::LoopTick);

    CenterOnScreen(*this);
    LoadSaveGenerator(true);
    UpdateCommands();
}

void TGeneratorWindow::SetDefaultSteps() {
    if (!Context.EditPacket)
        Context.EditPacket = [this](QWidget& owner, TPacket& packet) {
            return RunEditDialog(owner, packet, Context.Coding());
        };
    if (!Context.Confirm)
        Context.Confirm = [](QWidget& owner, const QString& question) {
            return Confirmed(owner, question);
        };
    if (!Context.ShowError)
        Context.ShowError = [](QWidget& owner, const QString& text) {
            QMessageBox box(QMessageBox::Critical, tr("Ошибка"), text, QMessageBox::Ok, &owner);
            FitCaption(box);
            box.exec();
        };
}

void TGeneratorWindow::BuildToolbar(QVBoxLayout& layout) {
    // Two rows, so that every button shows whole at the default width; the row break stands
    // where the first separator would.
    auto row = [this, &layout] {
        auto* toolbar = new QToolBar(this);
        toolbar->setIconSize(QSize(18, 18));
        toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        toolbar->setStyleSheet(QStringLiteral("QToolButton { padding: 1px 2px; }"));
        layout.addWidget(toolbar);
        return toolbar;
    };
    QToolBar* editRow = row();
    QToolBar* moveRow = row();
    auto command = [&](int index, const char* icon, const char* text,
                       void (TGeneratorWindow::*run)()) {
        QAction* action = new QAction(icon ? LoadIcon(icon) : QIcon(), tr(text), this);
        action->setToolTip(tr(text));
        connect(action, &QAction::triggered, this, run);
        Commands[static_cast<size_t>(index)] = action;
        return action;
    };
    editRow->addAction(
        command(AddCommand, "gen_add", QT_TR_NOOP("Добавить"), &TGeneratorWindow::AddPacket));
    editRow->addAction(command(InsertCommand, "gen_insert", QT_TR_NOOP("Вставить"),
                               &TGeneratorWindow::InsertPacket));
    editRow->addAction(command(DeleteCommand, "gen_delete", QT_TR_NOOP("Удалить"),
                               &TGeneratorWindow::DeletePacket));
    moveRow->addAction(
        command(UpCommand, "gen_up", QT_TR_NOOP("Переместить вверх"), &TGeneratorWindow::MoveUp));
    moveRow->addAction(command(DownCommand, "gen_down", QT_TR_NOOP("Переместить вниз"),
                               &TGeneratorWindow::MoveDown));
    moveRow->addSeparator();
    moveRow->addAction(
        command(SendCommand, "gen_send", QT_TR_NOOP("Передать"), &TGeneratorWindow::SendPacket));
    command(ChangeCommand, nullptr, QT_TR_NOOP("Изменить"), &TGeneratorWindow::ChangePacket);
}

void TGeneratorWindow::BuildView(QVBoxLayout& layout) {
    View = new QTreeWidget(this);
    View->setColumnCount(4);
    View->setHeaderLabels({tr("Данные"), tr("Описание"), tr("Период, мс"), tr("Повторов")});
    View->header()->setSectionsClickable(false);
    View->header()->setStretchLastSection(false);
    View->header()->resizeSection(0, 200);
    View->header()->resizeSection(1, 257);
    View->header()->resizeSection(2, 85);
    View->header()->resizeSection(3, 70);
    View->setRootIsDecorated(false);
    View->setSelectionMode(QAbstractItemView::SingleSelection);
    View->setSelectionBehavior(QAbstractItemView::SelectRows);
    View->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(View, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (Refreshing) return;
        QList<QTreeWidgetItem*> selected = View->selectedItems();
        List.Select(selected.isEmpty() ? -1 : View->indexOfTopLevelItem(selected.front()));
        UpdateCommands();
    });
    connect(View, &QTreeWidget::itemDoubleClicked, this, [this] { ChangePacket(); });
    connect(View, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(Commands[AddCommand]);
        menu.addAction(Commands[ChangeCommand]);
        menu.addAction(Commands[DeleteCommand]);
        menu.exec(View->viewport()->mapToGlobal(at));
    });
    layout.addWidget(View, 1);
}

void TGeneratorWindow::BuildBottomPanel(QVBoxLayout& layout) {
    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(43);
    Loop = new QCheckBox(tr("Передача в цикле"), bottom);
    Loop->setGeometry(8, 2, 249, 17);
    Loop->setToolTip(
        tr("Пакеты с периодом идут каждый со своим периодом, остальные раз в секунду"));
    connect(Loop, &QCheckBox::toggled, this, &TGeneratorWindow::SwitchLoop);
    Next = new QCheckBox(tr("После передачи выбрать следующий пакет"), bottom);
    Next->setGeometry(8, 20, 321, 17);
    layout.addWidget(bottom);
}

void TGeneratorWindow::LoadSaveGenerator(bool loading) {
    TIniFile desktop(Context.DesktopFile);
    ReadWriteLayout(desktop, "Generator", *this, View->header(), loading);
    if (!loading) desktop.Save(); // a layout that cannot be stored is not worth a message
    TIniFile config(Context.ConfigFileName);
    if (loading) {
        List.Load(config, Context.Coding());
        Refresh();
        return;
    }
    if (!List.Save(config, Context.Coding())) return;
    if (int error = config.Save(); error != 0)
        Context.ShowError(
            *this, tr("Список пакетов не сохранён в %1:\n%2")
                       .arg(FromCp1251(Context.ConfigFileName), FromCp1251(SystemMessage(error))));
}

void TGeneratorWindow::RecodePackets() {
    List.RecodePackets(Context.Coding());
    Refresh();
}

void TGeneratorWindow::EditAndStore(void (TPacketList::*store)(const TPacket&, TCoding),
                                    bool startFromCurrent) {
    TPacket packet;
    if (startFromCurrent) packet = List.Packets()[static_cast<size_t>(List.Current())];
    if (!Context.EditPacket(*this, packet) || packet.Data.empty()) return;
    (List.*store)(packet, Context.Coding());
    Refresh();
}

void TGeneratorWindow::AddPacket() {
    EditAndStore(&TPacketList::AddPacket, false);
}

void TGeneratorWindow::InsertPacket() {
    if (List.EnabledCommands().Insert) EditAndStore(&TPacketList::InsertPacket, false);
}

void TGeneratorWindow::ChangePacket() {
    if (List.EnabledCommands().Change) EditAndStore(&TPacketList::ChangePacket, true);
}

void TGeneratorWindow::DeletePacket() {
    if (!List.EnabledCommands().Delete) return;
    const TPacket& packet = List.Packets()[static_cast<size_t>(List.Current())];
    if (!Context.Confirm(*this, tr("Удалить \"%1\"").arg(FromCp1251(packet.Data)))) return;
    List.DeletePacket();
    Refresh();
}

void TGeneratorWindow::MoveUp() {
    List.MoveUp();
    Refresh();
}

void TGeneratorWindow::MoveDown() {
    List.MoveDown();
    Refresh();
}

void TGeneratorWindow::SendPacket() {
    if (!List.EnabledCommands().Send) return; // a tick with nothing to send keeps the loop
    Timer->stop();
    List.SendPacket(Context.Coding(), Next->isChecked(), Context.Send, Context.Refused);
    Refresh();
    // The next send is a full interval after this one completed.
    if (Loop->isChecked()) Timer->start();
}

// The packets with periods of their own start with the box and stop with it; the one-second
// loop keeps its own rules (it starts with a send, and ends after one more).
void TGeneratorWindow::SwitchLoop(bool on) {
    if (!Context.StartTimedSends) return;
    Context.StartTimedSends(on ? List.TimedSends(Context.Coding(), Context.Refused)
                               : std::vector<TTimedSend>{});
}

void TGeneratorWindow::LoopTick() {
    const int current = List.Current();
    if (current < 0 || List.Packets()[static_cast<size_t>(current)].PeriodMs <= 0) {
        SendPacket();
        return;
    }
    // Sent at its own period by the engine; the loop only steps past it when asked to.
    if (Next->isChecked()) {
        List.Select(current < List.Count() - 1 ? current + 1 : 0);
        Refresh();
    }
    if (!Loop->isChecked()) Timer->stop();
}

void TGeneratorWindow::Refresh() {
    Refreshing = true;
    View->clear();
    for (const TPacket& packet : List.Packets()) {
        auto number = [](int64_t value) { return value > 0 ? QString::number(value) : QString(); };
        auto* item = new QTreeWidgetItem({FromCp1251(packet.Data), FromCp1251(packet.Name),
                                          number(packet.PeriodMs), number(packet.Count)});
        // A template shows what it sends now.
        if (packet.Template) {
            TResult<std::string> bytes = TPacketList::BytesOf(packet, Context.Coding());
            item->setToolTip(
                0, FromCp1251(bytes.Ok() ? BytesToText(bytes.Value, TCoding::Hex) : bytes.Error));
        }
        View->addTopLevelItem(item);
    }
    if (QTreeWidgetItem* current = View->topLevelItem(List.Current())) {
        View->setCurrentItem(current);
        current->setSelected(true);
    }
    Refreshing = false;
    UpdateCommands();
}

void TGeneratorWindow::UpdateCommands() {
    TGeneratorCommands enabled = List.EnabledCommands();
    Commands[AddCommand]->setEnabled(enabled.Add);
    Commands[InsertCommand]->setEnabled(enabled.Insert);
    Commands[DeleteCommand]->setEnabled(enabled.Delete);
    Commands[UpCommand]->setEnabled(enabled.MoveUp);
    Commands[DownCommand]->setEnabled(enabled.MoveDown);
    Commands[SendCommand]->setEnabled(enabled.Send);
    Commands[ChangeCommand]->setEnabled(enabled.Change);
}

void TGeneratorWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    // Only the user's hiding ends the loop (after at most one more send); a minimised
    // window, or one hidden with its minimised owner, goes on sending.
    Loop->setChecked(false);
    hide();
}

} // namespace vemla
