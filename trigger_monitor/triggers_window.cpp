#include "trigger_monitor/triggers_window.h"

#include "platform/system.h"
#include "trigger_monitor/change_command_dialog.h"
#include "trigger_monitor/trigger_texts.h"
#include "ui_common/cut_text_tooltip.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace vemla {
namespace {

constexpr int ColumnWidths[] = {40, 100, 50, 200, 105, 90};
const char* const Headings[] = {QT_TRANSLATE_NOOP("TTriggerTableModel", "Id"),
                                QT_TRANSLATE_NOOP("TTriggerTableModel", "Наименование"),
                                QT_TRANSLATE_NOOP("TTriggerTableModel", "Статус"),
                                QT_TRANSLATE_NOOP("TTriggerTableModel", "Текущая команда"),
                                QT_TRANSLATE_NOOP("TTriggerTableModel", "Срабатываний"),
                                QT_TRANSLATE_NOOP("TTriggerTableModel", "Последнее")};
constexpr int ColumnCount = 6;

std::optional<int32_t> RunChangeCommandDialog(QWidget& owner, const TTrigger& trigger) {
    TChangeCommandDialog dialog(&owner, trigger);
    CenterOver(owner, dialog);
    if (dialog.exec() != TChangeCommandDialog::ResultOk) return std::nullopt;
    return dialog.SelectedCommand();
}

} // namespace

TTriggerTableModel::TTriggerTableModel(TriggerTable& table, QObject* parent)
    : QAbstractTableModel(parent) {
    for (int32_t slot = 0; slot < table.Size(); ++slot)
        if (TTrigger* trigger = table.At(slot)) Rows.push_back(trigger);
    std::stable_sort(Rows.begin(), Rows.end(),
                     [](const TTrigger* a, const TTrigger* b) { return a->Id < b->Id; });
    for (int row = 0; row < static_cast<int>(Rows.size()); ++row)
        RowOf[Rows[static_cast<size_t>(row)]] = row;
}

int TTriggerTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TTriggerTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

TTrigger* TTriggerTableModel::TriggerAt(int row) const {
    return row >= 0 && row < static_cast<int>(Rows.size()) ? Rows[static_cast<size_t>(row)]
                                                           : nullptr;
}

QVariant TTriggerTableModel::data(const QModelIndex& index, int role) const {
    const TTrigger* trigger = TriggerAt(index.row());
    if (role != Qt::DisplayRole || !trigger) return {};
    switch (index.column()) {
    case 0:
        return QString::number(trigger->Id);
    case 1:
        return FromCp1251(trigger->Name);
    case 2:
        return FromCp1251(StatusText(trigger->Status));
    case 3:
        return FromCp1251(CommandText(*trigger, trigger->CurrentCommand));
    case 4:
        return QString::number(trigger->Matches);
    default:
        return trigger->Matches == 0 ? QString() : FromCp1251(TimeStamp(trigger->LastMatch));
    }
}

QVariant TTriggerTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return {};
    return tr(Headings[section]);
}

void TTriggerTableModel::TriggerChanged(const TTrigger& trigger) {
    auto row = RowOf.find(&trigger);
    if (row == RowOf.end()) return;
    emit dataChanged(index(row->second, 2), index(row->second, ColumnCount - 1));
}

TTriggersWindow::TTriggersWindow(QWidget* parent, TriggerTable& table, TTriggersContext context)
    : QWidget(parent, Qt::Window), Context(std::move(context)) {
    if (!Context.ChooseCommand) Context.ChooseCommand = RunChangeCommandDialog;
    setWindowTitle(tr("Триггеры"));
    resize(605, 270); // wide enough for the match counters beside the four first columns
    Model = new TTriggerTableModel(table, this);
    View = new QTreeView(this);
    View->setModel(Model);
    View->setItemDelegate(new TCutTextTooltip(View));
    View->setRootIsDecorated(false);
    View->setUniformRowHeights(true);
    View->setSelectionMode(QAbstractItemView::SingleSelection);
    View->setSelectionBehavior(QAbstractItemView::SelectRows);
    View->setEditTriggers(QAbstractItemView::NoEditTriggers);
    View->header()->setSectionsClickable(false);
    View->header()->setStretchLastSection(false);
    for (int column = 0; column < ColumnCount; ++column)
        View->header()->resizeSection(column, ColumnWidths[column]);
    connect(View, &QTreeView::doubleClicked, this, [this] { ChangeSelectedTrigger(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(View);
    CenterOnScreen(*this);
    LoadSaveTriggers(true);
}

void TTriggersWindow::LoadSaveTriggers(bool loading) {
    TIniFile desktop(Context.DesktopFile);
    ReadWriteLayout(desktop, "Triggers", *this, View->header(), loading);
    if (!loading) desktop.Save(); // a layout that cannot be stored is not worth a message
}

void TTriggersWindow::ChangeSelectedTrigger() {
    QModelIndexList selected = View->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    TTrigger* trigger = Model->TriggerAt(selected.front().row());
    if (!trigger) return;
    if (std::optional<int32_t> chosen = Context.ChooseCommand(*this, *trigger))
        Context.SetTriggerPosition(*trigger, *chosen);
}

void TTriggersWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

} // namespace vemla
