#include "ui_common/elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace vemla {

QSize TElidedLabel::minimumSizeHint() const {
    QSize size = QLabel::minimumSizeHint();
    const QMargins margins = contentsMargins();
    size.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("Ab…")) + margins.left() +
                  margins.right() + 2 * frameWidth());
    return size;
}

bool TElidedLabel::TextFits() const {
    return fontMetrics().horizontalAdvance(text()) <= contentsRect().width();
}

bool TElidedLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || !toolTip().isEmpty()) return QLabel::event(event);
    if (TextFits())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    return true;
}

void TElidedLabel::paintEvent(QPaintEvent* event) {
    if (TextFits()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect();
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Mode, area.width()));
}

} // namespace vemla
