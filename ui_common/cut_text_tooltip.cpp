#include "ui_common/cut_text_tooltip.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace vemla {

QString TCutTextTooltip::ToolTipFor(const QAbstractItemView& view, const QModelIndex& index) const {
    QStyleOptionViewItem option;
    option.initFrom(view.viewport());
    option.rect = view.visualRect(index);
    option.font = view.font();
    initStyleOption(&option, index);
    const QWidget* widget = &view;
    QRect room = widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    // The style keeps a margin on each side of the text inside that room.
    int margin = widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, widget) + 1;
    int needed = option.fontMetrics.horizontalAdvance(option.text) + 2 * margin;
    return needed > room.width() ? option.text : QString();
}

bool TCutTextTooltip::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !view)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QString text = ToolTipFor(*view, index);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, view, view->visualRect(index));
    return true;
}

} // namespace vemla
