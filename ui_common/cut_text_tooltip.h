#pragma once

#include <QStyledItemDelegate>

namespace vemla {

// Shows a cell's whole text as its tooltip when the column is too narrow for it.
class TCutTextTooltip : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // The tooltip of a cell: its whole text when the view cuts it, else empty.
    QString ToolTipFor(const QAbstractItemView& view, const QModelIndex& index) const;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

} // namespace vemla
