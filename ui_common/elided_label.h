#pragma once

#include <QLabel>

namespace vemla {

// A one-line label that gives up width before its neighbours do: a text that does not fit is
// cut with "…" and shown whole as the tooltip.
class TElidedLabel : public QLabel {
  public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;
    bool TextFits() const;
    // Where the "…" goes: a path keeps its start and its end (Qt::ElideMiddle).
    void SetElideMode(Qt::TextElideMode mode) { Mode = mode; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    Qt::TextElideMode Mode = Qt::ElideRight;
};

} // namespace vemla
