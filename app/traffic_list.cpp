#include "app/traffic_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vemla {

namespace {

struct TDirection {
    TTrafficKind Kind;
    TTrafficSource Source;
    std::string_view Prefix;
};

constexpr TDirection Directions[] = {
    {TTrafficKind::Received, TTrafficSource::Device, "---> "},
    {TTrafficKind::Sent, TTrafficSource::Device, "<--- "},
    {TTrafficKind::TriggerSent, TTrafficSource::Device, "<-t- "},
    {TTrafficKind::Received, TTrafficSource::Application, "<-a- "},
};

} // namespace

std::string_view DirectionPrefix(TTrafficKind kind, TTrafficSource source) {
    for (const TDirection& direction : Directions)
        if (direction.Kind == kind && direction.Source == source) return direction.Prefix;
    return "     ";
}

TLineBreak LineBreakFromText(std::string_view text) {
    std::string upper(text);
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper == "LF") return TLineBreak::Lf;
    if (upper == "CRLF") return TLineBreak::CrLf;
    if (upper == "ANY") return TLineBreak::Any;
    return TLineBreak::Cr;
}

size_t TTrafficList::Add(const TTrafficRecord& record, TCoding coding) {
    if (!IsDataKind(record.Kind)) {
        AfterCr = false;
        AddLine(record, record.Data);
        return Lines.size() - 1;
    }
    if (coding == TCoding::Win) return AddSplitAtCarriageReturns(record);
    AddLine(record, BytesToText(record.Data, coding));
    return Lines.size() - 1;
}

// "Win" keeps the last line open: a record of the same kind, or any data record when that
// line is empty, continues it; carriage returns start new lines, other control bytes vanish.
// The bytes that stay (32 and above) read as themselves in the text coding, so they are
// appended in place: a long open line under a flood is never copied or rendered again.
size_t TTrafficList::AddSplitAtCarriageReturns(const TTrafficRecord& record) {
    const bool open = Lines.size() > FlushedCount; // a flushed line is never continued
    const bool sameDirection =
        open && Lines.back().Kind == record.Kind && Lines.back().Source == record.Source;
    if (!open || (!sameDirection && !Lines.back().Text.empty())) {
        AddLine(record, {});
        AfterCr = false;
    } else if (Lines.back().Source != record.Source) {
        // The empty line is the other port's now: a bridge never shows one side's bytes
        // under the other side's mark.
        Lines.back() = {record.Kind, record.Time, {}, record.Source};
    }
    size_t first = Lines.size() - 1;
    for (char ch : record.Data) {
        auto byte = static_cast<uint8_t>(ch);
        bool cr = byte == 13, lf = byte == 10, ends = false;
        switch (Break) {
        case TLineBreak::Cr:
            ends = cr;
            break;
        case TLineBreak::Lf:
            ends = lf;
            break;
        case TLineBreak::CrLf:
            ends = lf && AfterCr;
            break;
        case TLineBreak::Any:
            ends = cr || (lf && !AfterCr);
            break;
        }
        AfterCr = cr;
        if (ends)
            AddLine(record, {});
        else if (byte >= 32)
            Lines.back().Text += ch;
    }
    return first;
}

void TTrafficList::Recode(TCoding from, TCoding to) {
    if (from == to) return;
    FlushedBytes = 0;
    for (size_t i = 0; i < Lines.size(); ++i) {
        TTrafficLine& line = Lines[i];
        if (IsDataKind(line.Kind)) line.Text = vemla::Recode(line.Text, from, to);
        if (i < FlushedCount) FlushedBytes += line.Text.size();
    }
}

void TTrafficList::SetText(size_t index, std::string text) {
    if (index < FlushedCount) FlushedBytes += text.size() - Lines[index].Text.size();
    Lines[index].Text = std::move(text);
}

void TTrafficList::Clear() {
    Lines.clear();
    FlushedCount = FlushedBytes = 0;
}

void TTrafficList::MarkFlushed() {
    for (; FlushedCount < Lines.size(); ++FlushedCount)
        FlushedBytes += Lines[FlushedCount].Text.size();
}

size_t TTrafficList::OldestBeyond(size_t lines, size_t textBytes) const {
    size_t count = 0, bytes = FlushedBytes;
    while (count < FlushedCount && (Lines.size() - count > lines || bytes > textBytes))
        bytes -= Lines[count++].Text.size();
    return count;
}

void TTrafficList::DropOldest(size_t count) {
    count = std::min(count, FlushedCount);
    for (size_t i = 0; i < count; ++i)
        FlushedBytes -= Lines[i].Text.size();
    Lines.erase(Lines.begin(), Lines.begin() + static_cast<std::ptrdiff_t>(count));
    FlushedCount -= count;
}

namespace {

// Lower case of a CP1251 byte: A-Z, А-Я and Ё.
char FoldCase(char ch) {
    auto byte = static_cast<unsigned char>(ch);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDF))
        return static_cast<char>(byte + 0x20);
    if (byte == 0xA8) return static_cast<char>(0xB8);
    return ch;
}

bool HoldsFolded(std::string_view text, std::string_view foldedNeedle) {
    if (foldedNeedle.size() > text.size()) return false;
    for (size_t at = 0; at + foldedNeedle.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < foldedNeedle.size() && FoldCase(text[at + i]) == foldedNeedle[i])
            ++i;
        if (i == foldedNeedle.size()) return true;
    }
    return false;
}

} // namespace

size_t TTrafficList::Find(std::string_view needle, size_t from, bool forward) const {
    const size_t count = Lines.size();
    if (needle.empty() || count == 0) return count;
    std::string folded(needle);
    for (char& ch : folded)
        ch = FoldCase(ch);
    size_t at = from < count ? from : (forward ? count - 1 : 0);
    for (size_t step = 0; step < count; ++step) {
        at = forward ? (at + 1) % count : (at + count - 1) % count;
        if (HoldsFolded(Lines[at].Text, folded)) return at;
    }
    return count;
}

std::string TTrafficList::CopyText(const std::vector<size_t>& rows) const {
    std::string text;
    for (size_t row : rows) {
        if (row >= Lines.size()) continue;
        AppendLogLine(row, text);
        text.replace(text.size() - 2, 2, "\n");
    }
    return text;
}

std::string TTrafficList::LogLine(size_t index) const {
    std::string text;
    AppendLogLine(index, text);
    return text;
}

void TTrafficList::AppendLogLine(size_t index, std::string& out) const {
    const TTrafficLine& line = Lines[index];
    const size_t start = out.size();
    out += TimeStamp(line.Time);
    out.resize(start + 13, ' ');
    out += ' ';
    out += DirectionPrefix(line.Kind, line.Source);
    out += line.Text;
    out += "\r\n";
}

} // namespace vemla
