#pragma once

#include "app/traffic_recorder.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QSize>
#include <array>

namespace vemla {

// The traffic list as a two-column model. Lines reach the view in batches: the list may grow
// between two Publish calls, and the view sees only what was published.
class TTrafficModel : public QAbstractTableModel, public TTrafficView {
  public:
    explicit TTrafficModel(TTrafficList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Lines from firstChanged on were added or changed since the last Publish.
    void NoteChanged(size_t firstChanged);
    void Publish();
    // Around changes that remove or rewrite lines (clear, flush, recoding).
    void BeginReset() { beginResetModel(); }
    void EndReset();
    void LinesChanged(size_t first) override { NoteChanged(first); }
    void ResetBegins() override { BeginReset(); }
    void ResetEnds() override { EndReset(); }
    void LinesFlushed() override;
    void OldestDropping(size_t count) override;
    void OldestDropped(size_t count) override;
    // Every row has this size: the view then never lays out a row's text to learn its height,
    // which for a flood's kilobyte-long lines costs more than everything else.
    void SetRowSize(QSize size) { RowSize = size; }
    // The most characters of a line that the view can show; the rest is never laid out.
    void SetShownCharacters(size_t count) { ShownCharacters = count; }
    // The longest text of the published lines, in characters (the view's font is
    // monospace), at most `cap`.
    size_t WidestCharacters(size_t cap);
    // The row painted as the find bar's hit, whether or not the view has the focus.
    void SetHighlight(const QModelIndex& row);
    int HighlightedRow() const { return Highlight.isValid() ? Highlight.row() : -1; }
    // A tooltip holds at most this much of a line.
    static constexpr size_t ToolTipCharacters = 4096;

  private:
    TTrafficList& List;
    std::array<QIcon, 6> KindIcons;
    QIcon ApplicationIcon; // a packet of the application's port of a bridge (<-a-)
    size_t Published = 0;
    size_t ShownFlushed = 0; // rows painted as flushed
    size_t FirstChanged = SIZE_MAX;
    QSize RowSize;
    size_t ShownCharacters = 4096;
    QPersistentModelIndex Highlight;
    size_t Widest = 0;      // of the rows below WidestKnown
    size_t WidestKnown = 0; // rows measured
    size_t WidestCap = 0;
};

} // namespace vemla
