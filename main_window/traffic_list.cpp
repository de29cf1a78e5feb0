#include "main_window/traffic_list.h"

#include <cstdio>

namespace vemla {

std::string TimeStamp(TDateTime time) {
    TLocalTime t = DecodeDateTime(time);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour % 100, t.Minute % 100,
                  t.Second % 100, t.Millisecond % 1000);
    return text;
}

std::string_view DirectionPrefix(TTrafficKind kind) {
    switch (kind) {
    case TTrafficKind::Received:
        return "---> ";
    case TTrafficKind::Sent:
        return "<--- ";
    case TTrafficKind::TriggerSent:
        return "<-t- ";
    default:
        return "     ";
    }
}

size_t TTrafficList::Add(const TTrafficRecord& record, TCoding coding) {
    if (!IsDataKind(record.Kind)) {
        AddLine(record.Kind, record.Time, record.Data);
        return Lines.size() - 1;
    }
    if (coding == TCoding::Win) return AddSplitAtCarriageReturns(record);
    AddLine(record.Kind, record.Time, BytesToText(record.Data, coding));
    return Lines.size() - 1;
}

// "Win" keeps the last line open: a record of the same kind, or any data record when that
// line is empty, continues it; carriage returns start new lines, other control bytes vanish.
// The bytes that stay (32 and above) read as themselves in the text coding, so they are
// appended in place: a long open line under a flood is never copied or rendered again.
size_t TTrafficList::AddSplitAtCarriageReturns(const TTrafficRecord& record) {
    if (Lines.empty() || (Lines.back().Kind != record.Kind && !Lines.back().Text.empty()))
        AddLine(record.Kind, record.Time, {});
    size_t first = Lines.size() - 1;
    for (char ch : record.Data) {
        auto byte = static_cast<uint8_t>(ch);
        if (byte == 13)
            AddLine(record.Kind, record.Time, {});
        else if (byte >= 32)
            Lines.back().Text += ch;
    }
    return first;
}

void TTrafficList::Recode(TCoding from, TCoding to) {
    if (from == to) return;
    for (TTrafficLine& line : Lines)
        if (IsDataKind(line.Kind)) line.Text = vemla::Recode(line.Text, from, to);
}

std::string TTrafficList::LogLine(size_t index) const {
    const TTrafficLine& line = Lines[index];
    std::string text = TimeStamp(line.Time);
    text.resize(13, ' ');
    text += ' ';
    text += DirectionPrefix(line.Kind);
    text += line.Text;
    text += "\r\n";
    return text;
}

} // namespace vemla
