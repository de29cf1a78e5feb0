#include "trigger_monitor/change_command_dialog.h"

#include "trigger_monitor/trigger_texts.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QLabel>
#include <QListView>

namespace vemla {

TCommandListModel::TCommandListModel(const TTrigger& trigger, QObject* parent)
    : QAbstractListModel(parent), Trigger(trigger) {}

int TCommandListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Trigger.CommandCount();
}

QVariant TCommandListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return FromCp1251(CommandText(Trigger, index.row()));
}

TChangeCommandDialog::TChangeCommandDialog(QWidget* owner, const TTrigger& trigger)
    : QDialog(owner, DialogFlags) {

    LabelText = tr("Выберите команду для триггера  \"%1\"").arg(FromCp1251(trigger.Name));
    auto* label = new QLabel(LabelText, this);
    label->move(16, 8);
    label->adjustSize();
    List = new QListView(this);
    List->setGeometry(16, 24, 513, 289);
    List->setUniformItemSizes(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setModel(new TCommandListModel(trigger, List));
    SetUpDialog(*this, tr("Изменение текущей команды триггера"), {544, 361}, {368, 321},
                {456, 321});
    SelectCommand(trigger.CurrentCommand);
}

int32_t TChangeCommandDialog::SelectedCommand() const {
    QModelIndexList selected = List->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void TChangeCommandDialog::SelectCommand(int32_t index) {
    QModelIndex line = List->model()->index(index, 0);
    if (!line.isValid()) return;
    List->setCurrentIndex(line);
    List->selectionModel()->select(line, QItemSelectionModel::ClearAndSelect);
    List->scrollTo(line);
}

QString TChangeCommandDialog::Label() const {
    return LabelText;
}

} // namespace vemla
