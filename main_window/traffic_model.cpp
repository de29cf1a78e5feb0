#include "main_window/traffic_model.h"

#include "ui_common/icons.h"
#include "ui_common/qt_text.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>

namespace vemla {

TTrafficModel::TTrafficModel(TTrafficList& list, QObject* parent)
    : QAbstractTableModel(parent), List(list) {
    static const char* const Names[] = {"state_blank",    "state_warning", "state_error",
                                        "state_received", "state_sent",    "state_trigger_sent"};
    for (size_t i = 0; i < KindIcons.size(); ++i)
        KindIcons[i] = LoadIcon(Names[i]);
    ApplicationIcon = LoadIcon("state_application");
}

int TTrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Published);
}

int TTrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TTrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= Published) return {};
    if (role == Qt::SizeHintRole) return RowSize.isValid() ? QVariant(RowSize) : QVariant();
    const TTrafficLine& line = List[static_cast<size_t>(index.row())];
    if (index.column() == 1 && role == Qt::DisplayRole) return FromCp1251(TimeStamp(line.Time));
    if (index.column() == 0 && role == Qt::EditRole) return FromCp1251(line.Text);
    if (index.column() == 0 && role == Qt::DisplayRole) {
        // Shaping a kilobyte-long line to show its first dozens of characters would cost more
        // than everything else a flood does; a "Win" line can even grow to megabytes.
        if (line.Text.size() <= ShownCharacters) return FromCp1251(line.Text);
        return FromCp1251(std::string_view(line.Text).substr(0, ShownCharacters)) + QChar(0x2026);
    }
    // Lines already flushed are scrollback: readable, but set apart from what the next
    // flush will write.
    if (role == Qt::ForegroundRole && static_cast<size_t>(index.row()) < List.Flushed())
        return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    if (role == Qt::BackgroundRole && index.row() == HighlightedRow())
        return QApplication::palette().color(QPalette::Active, QPalette::Highlight).lighter(170);
    if (role == Qt::ToolTipRole && index.column() == 0) {
        // Wrapped by the tooltip as rich text; a flood's megabyte line is cut.
        const bool cut = line.Text.size() > ToolTipCharacters;
        QString text =
            FromCp1251(std::string_view(line.Text).substr(0, ToolTipCharacters)).toHtmlEscaped();
        return QStringLiteral("<p style='white-space:pre-wrap'>") + text +
               (cut ? QStringLiteral("…") : QString()) + QStringLiteral("</p>");
    }
    if (role == Qt::DecorationRole && index.column() == 0) {
        if (line.Source == TTrafficSource::Application && IsDataKind(line.Kind))
            return ApplicationIcon;
        auto kind = static_cast<size_t>(line.Kind);
        return kind < KindIcons.size() ? KindIcons[kind] : QIcon();
    }
    return {};
}

bool TTrafficModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != 0 ||
        static_cast<size_t>(index.row()) >= Published)
        return false;
    List.SetText(static_cast<size_t>(index.row()), ToCp1251(value.toString()));
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags TTrafficModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == 0) flags |= Qt::ItemIsEditable;
    return flags;
}

void TTrafficModel::NoteChanged(size_t firstChanged) {
    FirstChanged = std::min(FirstChanged, firstChanged);
}

void TTrafficModel::Publish() {
    WidestKnown = std::min(WidestKnown, FirstChanged);
    if (FirstChanged < Published)
        emit dataChanged(index(static_cast<int>(FirstChanged), 0),
                         index(static_cast<int>(Published) - 1, 1));
    FirstChanged = SIZE_MAX;
    if (List.Size() > Published) {
        beginInsertRows({}, static_cast<int>(Published), static_cast<int>(List.Size()) - 1);
        Published = List.Size();
        endInsertRows();
    }
}

size_t TTrafficModel::WidestCharacters(size_t cap) {
    // Rows are measured once each; changed, dropped or reset rows are measured again.
    if (cap != WidestCap || WidestKnown > Published) {
        Widest = 0;
        WidestKnown = 0;
        WidestCap = cap;
    }
    for (; WidestKnown < Published && Widest < cap; ++WidestKnown)
        Widest = std::max(Widest, List[WidestKnown].Text.size());
    return std::min(Widest, cap);
}

void TTrafficModel::SetHighlight(const QModelIndex& row) {
    const int old = HighlightedRow();
    Highlight = row;
    if (old >= 0) emit dataChanged(index(old, 0), index(old, 1), {Qt::BackgroundRole});
    if (row.isValid())
        emit dataChanged(index(row.row(), 0), index(row.row(), 1), {Qt::BackgroundRole});
}

void TTrafficModel::LinesFlushed() {
    const size_t flushed = std::min(List.Flushed(), Published);
    if (flushed > ShownFlushed)
        emit dataChanged(index(static_cast<int>(ShownFlushed), 0),
                         index(static_cast<int>(flushed) - 1, 1), {Qt::ForegroundRole});
    ShownFlushed = flushed;
}

void TTrafficModel::OldestDropping(size_t count) {
    // Lines the view never saw go without a word.
    if (const size_t seen = std::min(count, Published))
        beginRemoveRows({}, 0, static_cast<int>(seen) - 1);
}

void TTrafficModel::OldestDropped(size_t count) {
    const size_t seen = std::min(count, Published);
    Published -= seen;
    ShownFlushed -= std::min(ShownFlushed, count);
    if (FirstChanged != SIZE_MAX) FirstChanged -= std::min(FirstChanged, count);
    // The widest line may have gone; the scroll width stays until the next reset rather than
    // measuring the whole scrollback on every flush.
    WidestKnown -= std::min(WidestKnown, count);
    if (seen) endRemoveRows();
}

void TTrafficModel::EndReset() {
    Published = List.Size();
    ShownFlushed = List.Flushed();
    FirstChanged = SIZE_MAX;
    Widest = WidestKnown = 0;
    endResetModel();
}

} // namespace vemla
