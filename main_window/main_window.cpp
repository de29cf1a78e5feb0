#include "main_window/main_window.h"

#include "app/send_line.h"
#include "app/startup.h"
#include "app/status_texts.h"
#include "codec/codec.h"
#include "main_window/port_settings_dialog.h"
#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/port_list.h"
#include "platform/system.h"
#include "ui_common/elided_label.h"
#include "ui_common/fonts.h"
#include "ui_common/icons.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstdio>
#include <unistd.h>

namespace vemla {
namespace {

// A red frame, and the reason beside the field and as its tooltip; an empty reason takes them
// away.
void MarkRefused(QLineEdit& field, QLabel& beside, const QString& reason) {
    field.setStyleSheet(
        reason.isEmpty() ? QString() : QStringLiteral("QLineEdit { border: 1px solid #c62828; }"));
    field.setToolTip(reason);
    beside.setText(reason);
    beside.setVisible(!reason.isEmpty());
}

QLabel* RefusalLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setStyleSheet(QStringLiteral("QLabel { color: #c62828; }"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

// "Сохранить (Ctrl+S)": the shortcut in the words of the user's keyboard.
QString WithShortcut(const QString& tip, const QKeySequence& keys) {
    return keys.isEmpty() ? tip
                          : tip + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) +
                                QLatin1Char(')');
}

QString SendPlaceholder() {
    return TMainWindow::tr("Данные в текущей кодировке, Enter передаёт");
}

constexpr int TimeColumnWidth = 130;
constexpr int EmptyButtonWidth = 8;
const char* const CodingNames[] = {"Hex", "Win+Hex", "Win"};

} // namespace

// Paints the text column moved left by the sideways scroll bar's position: lines wider than
// the view are read by scrolling while the time stamps stay at the right-hand edge.
class TShiftedTextDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    int Shift = 0;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (Shift == 0 || index.column() != 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->setClipRect(option.rect);
        QStyleOptionViewItem shifted = option;
        shifted.rect.adjust(-Shift, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
        painter->restore();
    }
};

TMainWindow::TMainWindow(TMainWindowOptions options) : WindowOptions(std::move(options)) {
    if (WindowOptions.Echo)
        Recorder.EchoTo(std::make_unique<TEchoWriter>(STDOUT_FILENO, STDERR_FILENO));
    setWindowTitle(tr("Терминал"));
    setWindowIcon(LoadIcon("vemla"));
    setFont(ViewFont());
    resize(468, 453);
    setMinimumSize(345, 295);
    BuildView();
    BuildToolbar();
    BuildStatusBar();
    CenterOnScreen(*this);
    Configure();
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::BuildView() {
    Model = new TTrafficModel(Recorder.Lines(), this);
    Recorder.SetView(Model);
    View = new QTreeView(this);
    View->setModel(Model);
    View->setHeaderHidden(true);
    View->setRootIsDecorated(false);
    View->setUniformRowHeights(true);
    View->setItemsExpandable(false);
    View->setSelectionMode(QAbstractItemView::ExtendedSelection); // rows to copy
    View->setSelectionBehavior(QAbstractItemView::SelectRows);
    View->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    View->setIconSize(QSize(18, 18));
    QStyleOptionViewItem sample;
    sample.initFrom(View);
    sample.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    sample.decorationSize = View->iconSize();
    sample.text = QStringLiteral("00");
    Model->SetRowSize(
        View->style()->sizeFromContents(QStyle::CT_ItemViewItem, &sample, QSize(), View));
    View->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    View->header()->setStretchLastSection(false);
    TextDelegate = new TShiftedTextDelegate(View);
    View->setItemDelegate(TextDelegate);
    Sideways = new QScrollBar(Qt::Horizontal, this);
    Sideways->hide();
    connect(Sideways, &QScrollBar::valueChanged, this, [this](int value) {
        TextDelegate->Shift = value;
        FitShownCharacters();
        View->viewport()->update();
    });
    View->header()->resizeSection(1, TimeColumnWidth);
    View->viewport()->installEventFilter(this);
    // The selection shows only while the view has the focus.
    QPalette palette = View->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Inactive, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Inactive, QPalette::Text));
    View->setPalette(palette);
    // On the view, not its viewport: the viewport's children scroll with the lines.
    NewLinesButton = new QToolButton(View);
    NewLinesButton->setText(tr("новые строки ↓"));
    NewLinesButton->hide();
    connect(NewLinesButton, &QToolButton::clicked, View, &QTreeView::scrollToBottom);
    // Following the tail is the user's choice, made by scrolling: a resize or new lines keep it.
    QScrollBar* bar = View->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        Following = value >= bar->maximum();
        if (Following) NewLinesButton->hide();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (Following) bar->setValue(maximum);
    });
    Detail = new QPlainTextEdit(this);
    Detail->setReadOnly(true);
    Detail->setFont(ViewFont());
    Detail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Detail->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Detail->setFixedHeight(Detail->fontMetrics().lineSpacing() * 4 + 8);
    Detail->hide();
    connect(View->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TMainWindow::ShowDetail);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(View, 1);
    layout->addWidget(Sideways);
    layout->addWidget(Detail);
    layout->addWidget(BuildFindBar());
    layout->addLayout(BuildSendRow());
    SendReason = RefusalLabel(this);
    SendReason->setContentsMargins(4, 0, 4, 2);
    layout->addWidget(SendReason);
    setCentralWidget(central);
}

void TMainWindow::ShowDetail() {
    const QModelIndex current = View->currentIndex();
    const size_t row = current.isValid() ? static_cast<size_t>(current.row()) : SIZE_MAX;
    const TTrafficList& lines = Recorder.Lines();
    // Shown only for a line the view cuts: the column is narrower than its text (the font is
    // monospace, so the width is counted, not laid out: an open "Win" line may be megabytes).
    const int advance = std::max(1, View->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    const bool cut =
        row < lines.Size() && lines[row].Text.size() * static_cast<size_t>(advance) +
                                      static_cast<size_t>(View->iconSize().width() + 12) >
                                  static_cast<size_t>(View->header()->sectionSize(0));
    if (!cut) {
        Detail->hide();
        return;
    }
    constexpr size_t MostShown = 65536;
    std::string line = lines.LogLine(row);
    line.resize(line.size() - 2); // CR LF
    if (line.size() > MostShown) line.replace(MostShown, std::string::npos, "...");
    // Set again only when it changed: the view calls this at every batch of new lines.
    if (QString text = FromCp1251(line); text != Detail->toPlainText()) Detail->setPlainText(text);
    Detail->show();
}

QWidget* TMainWindow::BuildFindBar() {
    FindRow = new QWidget(this);
    auto* row = new QHBoxLayout(FindRow);
    row->setContentsMargins(2, 0, 2, 0);
    FindEdit = new QLineEdit(FindRow);
    FindEdit->setPlaceholderText(tr("Найти (Enter, F3 - дальше, Shift+F3 - назад, Esc - закрыть)"));
    FindEdit->setClearButtonEnabled(true);
    FindStatus = RefusalLabel(FindRow);
    FindStatus->setWordWrap(false);
    row->addWidget(FindEdit, 1);
    row->addWidget(FindStatus);
    FindRow->hide();
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] { FindInView(true); });
    connect(FindEdit, &QLineEdit::textEdited, this,
            [this] { MarkRefused(*FindEdit, *FindStatus, QString()); });
    auto shortcut = [this](QKeySequence keys, QWidget* scope, auto action) {
        auto* s = new QShortcut(keys, scope, action);
        s->setContext(Qt::WidgetWithChildrenShortcut);
    };
    shortcut(QKeySequence::Find, this, [this] { OpenFindBar(); });
    shortcut(QKeySequence(Qt::Key_F3), this, [this] { FindInView(true); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this, [this] { FindInView(false); });
    shortcut(QKeySequence(Qt::Key_Escape), FindEdit, [this] {
        FindRow->hide();
        Model->SetHighlight({});
        View->setFocus();
    });
    shortcut(QKeySequence::Copy, View, [this] { CopySelection(); });
    return FindRow;
}

void TMainWindow::OpenFindBar() {
    FindRow->show();
    FindEdit->setFocus();
    FindEdit->selectAll();
}

bool TMainWindow::FindInView(bool forward) {
    PublishTraffic();
    QModelIndex current = View->currentIndex();
    const TTrafficList& lines = Recorder.Lines();
    size_t from = current.isValid() ? static_cast<size_t>(current.row()) : lines.Size();
    size_t found = lines.Find(ToCp1251(FindEdit->text()), from, forward);
    bool ok = found < lines.Size();
    MarkRefused(*FindEdit, *FindStatus, ok ? QString() : tr("Не найдено"));
    if (ok) {
        QModelIndex row = Model->index(static_cast<int>(found), 0);
        // Painted apart from the selection, which shows only while the view has the focus.
        Model->SetHighlight(row);
        View->setCurrentIndex(row);
        View->scrollTo(row, QAbstractItemView::PositionAtCenter);
    }
    return ok;
}

void TMainWindow::CopySelection() {
    std::vector<size_t> rows;
    for (const QModelIndex& index : View->selectionModel()->selectedRows())
        rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    QGuiApplication::clipboard()->setText(FromCp1251(Recorder.Lines().CopyText(rows)));
}

QHBoxLayout* TMainWindow::BuildSendRow() {
    SendEdit = new QLineEdit(this);
    SendEdit->setPlaceholderText(SendPlaceholder());
    SendEdit->installEventFilter(this);
    connect(SendEdit, &QLineEdit::returnPressed, this, &TMainWindow::SendLineCommand);
    // A refused line stays marked until it is edited.
    connect(SendEdit, &QLineEdit::textEdited, this,
            [this] { MarkRefused(*SendEdit, *SendReason, QString()); });
    EndingBox = new QComboBox(this);
    EndingBox->addItems(
        {tr("нет"), QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    EndingBox->setToolTip(tr("Конец строки"));
    // While a transmission waits for the device, the empty line says so.
    SendWatch = new QTimer(this);
    SendWatch->setInterval(SendWatchInterval);
    connect(SendWatch, &QTimer::timeout, this, [this] {
        const bool waiting = Terminal && Terminal->PendingSends() > 0;
        if (waiting && ++SendWatchTicks * SendWatchInterval >= SendStallTime) {
            SendEdit->setPlaceholderText(tr("Передача ждёт: устройство не принимает данные"));
        } else if (!waiting) {
            SendWatch->stop();
            SendWatchTicks = 0;
            SendEdit->setPlaceholderText(SendPlaceholder());
        }
    });
    auto* send = new QPushButton(tr("Передать"), this);
    connect(send, &QPushButton::clicked, this, &TMainWindow::SendLineCommand);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(2, 0, 2, 2);
    row->addWidget(SendEdit, 1);
    row->addWidget(EndingBox);
    row->addWidget(send);
    return row;
}

void TMainWindow::SendLineCommand() {
    QString text = SendEdit->text();
    std::string cp1251 = ToCp1251(text);
    if (FromCp1251(cp1251) != text) {
        MarkRefused(*SendEdit, *SendReason, tr("Символ не из кодовой страницы 1251"));
        return;
    }
    TResult<std::string> bytes = SendLineBytes(cp1251, CurrentCoding, TLineEnding::None);
    if (!bytes.Ok()) {
        MarkRefused(*SendEdit, *SendReason, FromCp1251(bytes.Error));
        return;
    }
    const std::string line = bytes.Value;
    bytes.Value += LineEndingBytes(static_cast<TLineEnding>(EndingBox->currentIndex()));
    // A line that did not go keeps its text, to be sent again.
    switch (Terminal->SendLater(bytes.Value)) {
    case TTerminal::TSendOutcome::Busy:
        MarkRefused(*SendEdit, *SendReason,
                    tr("Предыдущие передачи ещё ждут: устройство не принимает данные"));
        return;
    case TTerminal::TSendOutcome::PortClosed:
        MarkRefused(*SendEdit, *SendReason, tr("Порт закрыт: строка не передана"));
        return;
    case TTerminal::TSendOutcome::Queued:
        break;
    }
    MarkRefused(*SendEdit, *SendReason, QString());
    SendHistory.Add(line);
    SendEdit->clear();
    SendWatch->start();
}

void TMainWindow::BuildToolbar() {
    Tools = addToolBar(QString());
    Tools->setMovable(false);
    Tools->setFloatable(false);
    Tools->setIconSize(QSize(18, 18));
    Tools->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Tools->toggleViewAction()->setVisible(false);

    auto push = [this](const char* icon, const char* tip, QKeySequence keys = {}) {
        QAction* action = Tools->addAction(icon ? LoadIcon(icon) : QIcon(), QString());
        action->setShortcut(keys);
        action->setToolTip(WithShortcut(tr(tip), keys));
        return action;
    };
    // The buttons without image or action are narrow empty ones.
    auto narrow = [this](QAction* action) {
        if (QWidget* button = Tools->widgetForAction(action))
            button->setFixedWidth(EmptyButtonWidth);
    };
    connect(push("tool_floppy", QT_TR_NOOP("Сохранить"), QKeySequence::Save), &QAction::triggered,
            this, &TMainWindow::SaveCommand);
    narrow(push(nullptr, QT_TR_NOOP("Сохранить")));
    auto* logGroup = new QActionGroup(this);
    LogOnAction =
        push("tool_log_on", QT_TR_NOOP("Включить Лог"), QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction* logOff = push("tool_log_off", QT_TR_NOOP("Выключить Лог"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    for (QAction* action : {LogOnAction, logOff}) {
        action->setCheckable(true);
        logGroup->addAction(action);
    }
    LogOnAction->setChecked(true);
    connect(LogOnAction, &QAction::toggled, this, [this](bool on) { Recorder.SetRecording(on); });
    narrow(push(nullptr, QT_TR_NOOP("Сохранить")));
    connect(push("tool_eraser", QT_TR_NOOP("Очистить"), QKeySequence(Qt::CTRL | Qt::Key_L)),
            &QAction::triggered, this, &TMainWindow::ClearView);
    Tools->addSeparator();

    Codings = new QMenu(this);
    auto* codingGroup = new QActionGroup(this);
    for (int i = 0; i < 3; ++i) {
        QAction* item = Codings->addAction(QString::fromLatin1(CodingNames[i]));
        item->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)));
        addAction(item); // its shortcut works while the menu is closed
        item->setCheckable(true);
        codingGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, i] { CodingChanged(i); });
    }
    QAction* coding = push("tool_text", QT_TR_NOOP("Кодировка"));
    coding->setToolTip(tr("Кодировка (Ctrl+1, Ctrl+2, Ctrl+3)"));
    coding->setMenu(Codings);
    // The whole face opens the menu: the button has nothing else to do.
    if (auto* button = qobject_cast<QToolButton*>(Tools->widgetForAction(coding)))
        button->setPopupMode(QToolButton::InstantPopup);
    connect(push("tool_tree", QT_TR_NOOP("Триггеры"), QKeySequence(Qt::CTRL | Qt::Key_T)),
            &QAction::triggered, this, [this] { ShowTriggersWindow(); });
    Tools->addSeparator();
    connect(
        push("tool_lightning", QT_TR_NOOP("Передача данных"), QKeySequence(Qt::CTRL | Qt::Key_G)),
        &QAction::triggered, this, [this] { ShowGeneratorWindow(); });
    Tools->addSeparator();
    connect(push("tool_port", QT_TR_NOOP("Настройки порта"), QKeySequence(Qt::CTRL | Qt::Key_P)),
            &QAction::triggered, this, &TMainWindow::PortSettingsCommand);
    QIcon plug;
    plug.addPixmap(LoadIcon("tool_plug_on").pixmap(18), QIcon::Normal, QIcon::On);
    plug.addPixmap(LoadIcon("tool_plug_off").pixmap(18), QIcon::Normal, QIcon::Off);
    PortAction = Tools->addAction(plug, QString());
    PortAction->setCheckable(true);
    PortAction->setChecked(true);
    PortAction->setToolTip(tr("Закрыть порт (Ctrl+Shift+O)"));
    connect(PortAction, &QAction::triggered, this, &TMainWindow::SwitchPort);
    auto portKey = [this](QKeyCombination keys, bool open) {
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, this,
                [this, open] { SwitchPort(open); });
    };
    portKey(Qt::CTRL | Qt::Key_O, true);
    portKey(Qt::CTRL | Qt::SHIFT | Qt::Key_O, false);
}

void TMainWindow::SwitchPort(bool open) {
    PortAction->setChecked(open);
    PortAction->setToolTip(open ? tr("Закрыть порт (Ctrl+Shift+O)") : tr("Открыть порт (Ctrl+O)"));
    if (open)
        Terminal->Reopen();
    else
        Terminal->Close();
}

void TMainWindow::BuildStatusBar() {
    BatchTimer = new QTimer(this);
    BatchTimer->setSingleShot(true);
    connect(BatchTimer, &QTimer::timeout, this, &TMainWindow::TakeReports);
    SleepTimer = new QTimer(this);
    SleepTimer->setSingleShot(true);
    SleepTimer->setTimerType(Qt::PreciseTimer);
    connect(SleepTimer, &QTimer::timeout, this, &TMainWindow::RunSleepTimers);
    StatusTimer = new QTimer(this);
    StatusTimer->setSingleShot(true);
    StatusTimer->setInterval(StatusInterval);
    connect(StatusTimer, &QTimer::timeout, this, &TMainWindow::ShowStatus);
    // The interface's own face, small: the view's monospace leaves the fields no room.
    QFont small = QApplication::font();
    small.setPixelSize(11);
    statusBar()->setFont(small);
    // The state and the rate and frame are never cut; the path (in its middle) and the
    // counters give up width first.
    StatusArea = new QWidget(this);
    for (size_t i = 0; i < StatusFields.size(); ++i) {
        QLabel*& field = StatusFields[i];
        if (i == 0 || i == 2) {
            auto* elided = new TElidedLabel(StatusArea);
            elided->SetElideMode(i == 0 ? Qt::ElideMiddle : Qt::ElideRight);
            field = elided;
        } else {
            field = new QLabel(StatusArea);
        }
        field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        field->setContentsMargins(4, 0, 4, 0);
    }
    StatusFields[0]->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    StatusFields[2]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ModemGroup = BuildModemControls();
    ModemGroup->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* grid = new QGridLayout(StatusArea);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);
    statusBar()->addWidget(StatusArea, 1);
    ArrangeStatus();
}

void TMainWindow::ArrangeStatus() {
    if (!StatusArea) return;
    // One row when every field fits whole; else the modem controls go to a second row, and
    // what still does not fit is cut: the counters first, then the path in its middle.
    int row = 4 * 3; // the spacing
    for (QWidget* field :
         {static_cast<QWidget*>(StatusFields[0]), static_cast<QWidget*>(StatusFields[1]),
          static_cast<QWidget*>(StatusFields[2]), static_cast<QWidget*>(StatusFields[3]),
          ModemGroup})
        row += field->sizeHint().width();
    // The window's width, not the area's: the status bar lays the area out after the window
    // has been resized. Less the size grip and the bar's margins.
    constexpr int GripAndMargins = 24;
    const bool twoRows = width() - GripAndMargins < row;
    if (twoRows == StatusInTwoRows && StatusArea->layout()->count() > 0) return;
    StatusInTwoRows = twoRows;
    auto* grid = static_cast<QGridLayout*>(StatusArea->layout());
    for (QWidget* widget :
         {static_cast<QWidget*>(StatusFields[0]), static_cast<QWidget*>(StatusFields[3]),
          static_cast<QWidget*>(StatusFields[1]), static_cast<QWidget*>(StatusFields[2]),
          ModemGroup})
        grid->removeWidget(widget);
    grid->addWidget(StatusFields[0], 0, 0);
    grid->addWidget(StatusFields[3], 0, 1);
    grid->addWidget(StatusFields[1], 0, 2);
    grid->addWidget(StatusFields[2], 0, 3);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(3, 3);
    if (twoRows)
        grid->addWidget(ModemGroup, 1, 0, 1, 4, Qt::AlignRight);
    else
        grid->addWidget(ModemGroup, 0, 4);
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ArrangeStatus();
}

QWidget* TMainWindow::BuildModemControls() {
    auto* group = new QWidget(this);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    group->setStyleSheet(QStringLiteral("QToolButton { padding: 0px 2px; }"));
    for (size_t i = 0; i < ModemLamps.size(); ++i) {
        ModemLamps[i] = new QLabel(group);
        layout->addWidget(ModemLamps[i]);
    }
    auto button = [&](const char* text, const char* tip, bool checkable) {
        auto* made = new QToolButton(group);
        made->setText(QString::fromLatin1(text));
        made->setToolTip(tr(tip));
        made->setCheckable(checkable);
        made->setAutoRaise(true);
        layout->addWidget(made);
        return made;
    };
    DtrButton = button("DTR", QT_TR_NOOP("Линия DTR: включить или выключить"), true);
    RtsButton = button("RTS", QT_TR_NOOP("Линия RTS: включить или выключить"), true);
    BreakButton = button("Break", QT_TR_NOOP("Послать Break (250 мс)"), false);
    // A refused switch (no modem lines, handshake) shows the line as it stays.
    connect(DtrButton, &QToolButton::clicked, this, [this](bool on) {
        if (!Terminal->SetDtr(on)) ShowModemControls();
    });
    connect(RtsButton, &QToolButton::clicked, this, [this](bool on) {
        if (!Terminal->SetRts(on)) ShowModemControls();
    });
    connect(BreakButton, &QToolButton::clicked, this,
            [this] { Terminal->SendBreak(BreakDuration); });
    return group;
}

void TMainWindow::ShowModemControls() {
    if (!Terminal) return;
    TModemControls controls = ModemControls(ModemLines, Terminal->Settings().Line, PortState);
    for (size_t i = 0; i < ModemLamps.size(); ++i) {
        QLabel& lamp = *ModemLamps[i];
        const QString name = QString::fromLatin1(ModemLineNames[i]);
        switch (controls.Lamps[i]) {
        case TLamp::On:
            lamp.setText(QStringLiteral("<span style='color:#2e9d32'>●</span>") + name);
            lamp.setToolTip(tr("%1: включена").arg(name));
            break;
        case TLamp::Off:
            lamp.setText(QStringLiteral("<span style='color:#757575'>●</span>") + name);
            lamp.setToolTip(tr("%1: выключена").arg(name));
            break;
        case TLamp::Unavailable:
            lamp.setText(QStringLiteral("○") + name);
            lamp.setToolTip(tr("Линии модема недоступны"));
            break;
        }
        lamp.setEnabled(controls.Lamps[i] != TLamp::Unavailable);
    }
    DtrButton->setEnabled(controls.DtrEnabled);
    DtrButton->setChecked(controls.DtrOn);
    RtsButton->setEnabled(controls.RtsEnabled);
    RtsButton->setChecked(controls.RtsOn);
    BreakButton->setEnabled(controls.BreakEnabled);
}

void TMainWindow::ShowStatus() {
    if (!Terminal) return;
    TTerminalSettings settings = Terminal->Settings();
    settings.Line = Terminal->LineInForce();
    TStatusTexts texts = StatusTexts(
        settings, PortState, Recorder.ReceivedBytes(), Recorder.SentBytes(),
        Terminal->HasTriggers() ? std::optional(Terminal->UnmatchedPacketCount()) : std::nullopt,
        ConfirmedRate, SecondPortState);
    StatusFields[0]->setText(FromCp1251(texts.Path));
    StatusFields[1]->setText(FromCp1251(texts.State));
    StatusFields[2]->setText(FromCp1251(texts.Counters));
    StatusFields[3]->setText(FromCp1251(texts.Line));
    ArrangeStatus(); // longer texts may need the second row
    ShowModemControls();
}

void TMainWindow::Configure() {
    const TConfigChoice& choice = WindowOptions.Config;
    if (!choice.MissingFile.empty())
        Message(QMessageBox::Warning, MissingConfigWarning(choice.MissingFile));
    ConfigFile = choice.FileName;
    CaptionSuffix = choice.CaptionSuffix;
    ReadWriteDesktop(true);
    Terminal = std::make_unique<TTerminal>(
        Host, ReadEngineSettings(ConfigFile, WindowOptions.Overrides, Host),
        WindowOptions.StopEvent);
    setWindowTitle(FromCp1251(MainCaption(Terminal->Settings(), CaptionSuffix)));
    if (!WindowOptions.TimedSends.empty()) Terminal->StartTimedSends(WindowOptions.TimedSends);
    if (WindowOptions.Duration) QTimer::singleShot(*WindowOptions.Duration, this, &QWidget::close);
    ShowStatus();
    FitColumns();
}

void TMainWindow::ReadWriteDesktop(bool reading) {
    TIniFile desktop(WindowOptions.Desktop.Main.empty() ? WorkingDirectory() + "desktop.ini"
                                                        : WindowOptions.Desktop.Main);
    ReadWriteLayout(desktop, "MainForm", *this, nullptr, reading);
    if (reading) {
        CurrentCoding = CodingFromInteger(
            desktop.ReadInteger("Custom", "Coding", CodingToInteger(CurrentCoding)));
        Codings->actions()[CodingToInteger(CurrentCoding)]->setChecked(true);
        EndingBox->setCurrentIndex(std::clamp(desktop.ReadInteger("SendLine", "Ending", 0), 0, 3));
        SendHistory.Load(desktop);

        Recorder.Configure(ReadConfiguration(ConfigFile, WindowOptions.Overrides));
        Recorder.SetCoding(CurrentCoding);
        return;
    }
    desktop.WriteInteger("Custom", "Coding", CodingToInteger(CurrentCoding));
    desktop.WriteInteger("SendLine", "Ending", EndingBox->currentIndex());
    SendHistory.Save(desktop);
    if (int error = desktop.Save(); error != 0)
        Message(QMessageBox::Critical, FileErrorText(desktop.Path(), error));
}

bool TMainWindow::LogOn() const {
    return LogOnAction->isChecked();
}

void TMainWindow::customEvent(QEvent* event) {
    if (event->type() == EngineReportsEventType) TakeReports();
}

void TMainWindow::TakeReports() {
    size_t taken = HandleReports();
    if (taken == 0) return;
    // More may be on their way: they are taken shortly, without an event (and a wake-up)
    // each; in a flood at the next pass of the event loop.
    constexpr size_t FloodBatch = 16;
    BatchTimer->start(taken >= FloodBatch ? std::chrono::milliseconds(0) : BatchInterval);
}

size_t TMainWindow::HandleReports() {
    std::vector<TEngineReport> reports = Host.Take();
    const size_t taken = reports.size();
    for (TEngineReport& report : reports)
        UnhandledReports.push_back(std::move(report));
    // A message box's event loop may come here again: the reports go on in their order.
    while (!UnhandledReports.empty()) {
        TEngineReport report = std::move(UnhandledReports.front());
        UnhandledReports.pop_front();
        HandleReport(report);
    }
    return taken;
}

void TMainWindow::HandleReport(const TEngineReport& report) {
    if (TResult<> recorded = RecordReport(report, Recorder, SleepTimers); !recorded.Ok())
        Message(QMessageBox::Critical, recorded.Error);
    switch (report.Kind) {
    case TEngineReport::TKind::Traffic:
        if (!PublishPending) {
            PublishPending = true;
            QMetaObject::invokeMethod(this, &TMainWindow::PublishTraffic, Qt::QueuedConnection);
        }
        break;
    case TEngineReport::TKind::PortState:
        (report.SecondPort ? SecondPortState : PortState) = report.State;
        ShowStatus();
        break;
    case TEngineReport::TKind::ModemLines:
        ModemLines = report.Lines;
        ShowModemControls();
        break;
    case TEngineReport::TKind::ConfirmedRate:
        ConfirmedRate = report.Rate;
        ShowStatus();
        break;
    case TEngineReport::TKind::TriggerChanged:
        if (TriggersWindow) TriggersWindow->TriggerChanged(*report.Trigger);
        break;
    case TEngineReport::TKind::Sleep:
        ArmSleepTimer();
        break;
    }
}

void TMainWindow::PublishTraffic() {
    PublishPending = false;
    // The view follows the tail only while the user is at it; scrolled up, it stays put.
    Model->Publish();
    // A hidden window lays nothing out; it catches up when it is shown.
    if (!isVisible()) return;
    // The counters change with every record: shown at most ten times a second.
    if (!StatusTimer->isActive()) {
        ShowStatus();
        StatusTimer->start();
    }
    FitColumns();
    if (Following) {
        View->scrollToBottom();
    } else if (NewLinesButton->isHidden()) {
        PlaceNewLinesButton();
        NewLinesButton->show();
    }
}

void TMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    ShowStatus();
    FitColumns();
    View->scrollToBottom();
    // The first show puts the cursor where the user types.
    if (!FirstShown) SendEdit->setFocus();
    FirstShown = true;
}

void TMainWindow::PlaceNewLinesButton() {
    if (!NewLinesButton) return; // the view may resize before the button exists
    NewLinesButton->adjustSize();
    const QRect area = View->viewport()->geometry();
    NewLinesButton->move(area.right() - NewLinesButton->width() - 4,
                         area.bottom() - NewLinesButton->height() - 4);
}

void TMainWindow::ClearView() {
    Recorder.Clear();
}

void TMainWindow::PortSettingsCommand() {
    TPortSettingsForm form = TPortSettingsForm::FromSettings(Terminal->Settings());
    bool accepted = false;
    if (WindowOptions.EditPortSettings) {
        accepted = WindowOptions.EditPortSettings(*this, form);
    } else {
        TPortSettingsDialog dialog(this, form, ListSerialPorts());
        CenterOver(*this, dialog);
        accepted = dialog.exec() == QDialog::Accepted;
        form = dialog.Form();
    }
    if (accepted) ApplyPortSettings(form);
}

void TMainWindow::ApplyPortSettings(const TPortSettingsForm& form) {
    TResult<TTerminalSettings> settings = form.ToSettings(Terminal->Settings());
    if (!settings.Ok()) {
        Message(QMessageBox::Critical, settings.Error);
        return;
    }
    const TTerminalSettings before = Terminal->Settings();
    Terminal->Reconfigure(settings.Value);
    setWindowTitle(FromCp1251(MainCaption(Terminal->Settings(), CaptionSuffix)));
    ShowStatus();
    TIniFile config(ConfigFile);
    if (TResult<> stored = StorePortSettings(config, before, settings.Value); !stored.Ok())
        Message(config.ReadError() != 0 ? QMessageBox::Warning : QMessageBox::Critical,
                stored.Error);
}

void TMainWindow::CodingChanged(int index) {
    if (index < 0 || index > 2) return;
    Codings->actions()[index]->setChecked(true);
    CurrentCoding = CodingFromInteger(index);
    if (Generator) Generator->RecodePackets();
    Recorder.SetCoding(CurrentCoding);
}

void TMainWindow::SaveCommand() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString textFiles = tr("Текстовые файлы (*.txt)");
    dialog.setNameFilters({textFiles, tr("Все файлы (*)")});
    // A name without a suffix under the text filter gets ".txt", and the dialog asks before
    // it replaces that file, not the bare name.
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, textFiles](const QString& f) {
        dialog.setDefaultSuffix(f == textFiles ? QStringLiteral("txt") : QString());
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveListAs(ToCp1251(dialog.selectedFiles().constFirst()));
}

void TMainWindow::SaveListAs(const std::string& fileName) {
    PublishTraffic();
    if (int error = SaveListToFile(Recorder.Lines(), fileName); error != 0)
        Message(QMessageBox::Critical, FileErrorText(fileName, error));
}

void TMainWindow::ArmSleepTimer() {
    std::optional<int64_t> due = SleepTimers.NextDue();
    if (!due) {
        SleepTimer->stop();
        return;
    }
    SleepTimer->start(std::chrono::milliseconds(std::max<int64_t>(*due - SteadyMilliseconds(), 0)));
}

void TMainWindow::RunSleepTimers() {
    while (auto due = SleepTimers.TakeDue(SteadyMilliseconds()))
        Terminal->SleepExpired(*due->first);
    ArmSleepTimer();
}

void TMainWindow::Finish() {
    if (Closed || Closing) return;
    Closing = true;
    // A signal sets the stop event before it closes the window; nobody waits at a message box
    // for a program that was told to end.
    ClosingBySignal = WindowOptions.StopEvent && WindowOptions.StopEvent->IsSet();
    ReadWriteDesktop(false);
    if (Generator) Generator->LoadSaveGenerator(false);
    if (TriggersWindow) TriggersWindow->LoadSaveTriggers(false);
    // Whatever the line delivered up to now reaches the final log; nothing after it.
    Terminal->Stop();
    while (HandleReports() != 0) {
    }
    Closed = true;
    PublishTraffic();
    if (TResult<> flushed = Recorder.Finish(); !flushed.Ok())
        Message(QMessageBox::Critical, flushed.Error);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    Finish();
    event->accept();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == View->viewport() && event->type() == QEvent::Resize) {
        FitColumns();
        PlaceNewLinesButton();
    }
    if (watched == SendEdit && event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            // The bytes sent, in the coding in force now.
            const std::string bytes = key == Qt::Key_Up ? SendHistory.Older() : SendHistory.Newer();
            SendEdit->setText(FromCp1251(BytesToText(bytes, CurrentCoding)));
            MarkRefused(*SendEdit, *SendReason, QString());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::FitColumns() {
    const int textWidth = std::max(0, View->viewport()->width() - TimeColumnWidth);
    View->header()->resizeSection(0, textWidth);
    View->header()->resizeSection(1, TimeColumnWidth);
    // The widest line sets how far the text scrolls sideways, up to a limit: a flood's
    // kilobyte lines would cost every repaint their whole length; the detail field shows them.
    constexpr size_t MostScrolled = 1024;
    const int advance = std::max(1, View->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    const int widest = static_cast<int>(Model->WidestCharacters(MostScrolled)) * advance +
                       View->iconSize().width() + 16;
    Sideways->setRange(0, std::max(0, widest - textWidth));
    Sideways->setPageStep(std::max(1, textWidth));
    Sideways->setSingleStep(advance * 4);
    Sideways->setVisible(Sideways->maximum() > 0);
    FitShownCharacters();
    ShowDetail();
}

void TMainWindow::FitShownCharacters() {
    // As many characters as the column shows at its sideways position, and a few for the "…"
    // the view adds; never so few that a narrow or hidden view cuts an ordinary line. Only
    // the visible part is laid out: a flood's long lines cost no more than short ones.
    constexpr size_t FewestShown = 256;
    const int textWidth = View->header()->sectionSize(0);
    const int narrowest = std::max(1, View->fontMetrics().horizontalAdvance(QLatin1Char('i')));
    Model->SetShownCharacters(std::max(
        FewestShown, static_cast<size_t>((textWidth + Sideways->value()) / narrowest) + 8));
}

void TMainWindow::Message(QMessageBox::Icon icon, const std::string& text) {
    const QString caption = icon == QMessageBox::Warning ? tr("Внимание") : tr("Ошибка");
    if (ClosingBySignal) {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), Cp1251ToUtf8(text).c_str());
        return;
    }
    if (WindowOptions.ShowMessage) {
        WindowOptions.ShowMessage(icon, caption, FromCp1251(text));
        return;
    }
    // A hidden or offscreen window has nobody to click a modal box away: stderr instead.
    if (WindowOptions.Hide || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), Cp1251ToUtf8(text).c_str());
        return;
    }
    QMessageBox box(icon, caption, FromCp1251(text), QMessageBox::Ok, this);
    FitCaption(box);
    // Closing ends in a bounded time: a box shown then goes away by itself.
    if (Closing) QTimer::singleShot(ClosingMessageTime, &box, &QMessageBox::accept);
    box.exec();
}

std::string TMainWindow::ToolsDesktopFile() const {
    return WindowOptions.Desktop.Tools.empty() ? ProgramDirectory() + "desktop.ini"
                                               : WindowOptions.Desktop.Tools;
}

TGeneratorWindow& TMainWindow::ShowGeneratorWindow() {
    if (!Generator) {
        TGeneratorContext context;
        context.Coding = [this] { return CurrentCoding; };
        context.ConfigFileName = ConfigFile;
        context.DesktopFile = ToolsDesktopFile();
        context.Send = [this](std::string_view bytes) {
            if (Terminal->SendLater(std::string(bytes)) == TTerminal::TSendOutcome::Queued)
                SendWatch->start();
        };
        context.StartTimedSends = [this](std::vector<TTimedSend> sends) {
            Terminal->StartTimedSends(std::move(sends), TTerminal::GeneratorSends);
        };
        context.Refused = [this](const std::string& text) {
            Host.PostTraffic(
                std::make_unique<TTrafficRecord>(TTrafficRecord{Now(), TTrafficKind::Error, text}));
        };
        Generator = new TGeneratorWindow(this, std::move(context));
    }
    BringToFront(*Generator);
    return *Generator;
}

TTriggersWindow& TMainWindow::ShowTriggersWindow() {
    if (!TriggersWindow) {
        TTriggersContext context;
        context.DesktopFile = ToolsDesktopFile();
        context.SetTriggerPosition = [this](TTrigger& trigger, int32_t position) {
            Terminal->SetTriggerPosition(trigger, position);
        };
        TriggersWindow = new TTriggersWindow(this, Terminal->Triggers(), std::move(context));
    }
    BringToFront(*TriggersWindow);
    return *TriggersWindow;
}

} // namespace vemla
