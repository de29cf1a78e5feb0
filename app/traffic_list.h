#pragma once

#include "codec/codec.h"
#include "engine/traffic_record.h"
#include "platform/system.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

struct TTrafficLine {
    TTrafficKind Kind = TTrafficKind::Info;
    TDateTime Time = 0;
    std::string Text; // CP1251, as shown
    TTrafficSource Source = TTrafficSource::Device;
};

// The five characters before a line's text in saved lists and logs: the direction of data
// (and the port it passed), blanks for messages.
std::string_view DirectionPrefix(TTrafficKind kind, TTrafficSource source = TTrafficSource::Device);

// Where a line of the "Win" coding ends: CR (the default), LF, the pair CR LF, or any of them.
enum class TLineBreak { Cr, Lf, CrLf, Any };
// "CR", "LF", "CRLF", "ANY" in any case; anything else is CR.
TLineBreak LineBreakFromText(std::string_view text);

// The lines of the traffic view, and how records become lines in each coding.
class TTrafficList {
  public:
    void SetLineBreak(TLineBreak lineBreak) { Break = lineBreak; }
    // Adds the record's lines; returns the index of the first line that is new or changed
    // (in "Win" coding a record may continue the last line).
    size_t Add(const TTrafficRecord& record, TCoding coding);
    // Rewrites every data line from one coding into another.
    void Recode(TCoding from, TCoding to);
    void SetText(size_t index, std::string text);
    void Clear();

    // Lines at the front that a flush has taken care of (written to a log, or let go without
    // one). They stay to be read back, are never continued or written again, and go first.
    size_t Flushed() const { return FlushedCount; }
    size_t Unflushed() const { return Lines.size() - FlushedCount; }
    void MarkFlushed();
    // How many of the oldest flushed lines must go so that at most `lines` lines stay and
    // the flushed ones hold at most `textBytes` of text.
    size_t OldestBeyond(size_t lines, size_t textBytes) const;
    void DropOldest(size_t count);

    size_t Size() const { return Lines.size(); }
    bool Empty() const { return Lines.empty(); }
    const TTrafficLine& operator[](size_t index) const { return Lines[index]; }

    // One line as saved: time stamp padded to 13, a blank, the prefix, the text, CR LF.
    std::string LogLine(size_t index) const;
    void AppendLogLine(size_t index, std::string& out) const;

    // The next line after `from` (or before it, backwards) whose text holds the needle,
    // without regard to case (Latin and Cyrillic letters of code page 1251), wrapping round;
    // Size() when none does.
    size_t Find(std::string_view needle, size_t from, bool forward) const;
    // The lines as copied: as in a log (so the direction stays), each ended by LF; in the
    // order given.
    std::string CopyText(const std::vector<size_t>& rows) const;

  private:
    void AddLine(const TTrafficRecord& record, std::string text) {
        Lines.push_back({record.Kind, record.Time, std::move(text), record.Source});
    }
    size_t AddSplitAtCarriageReturns(const TTrafficRecord& record);

    std::deque<TTrafficLine> Lines;
    size_t FlushedCount = 0;
    size_t FlushedBytes = 0; // text of the flushed lines
    TLineBreak Break = TLineBreak::Cr;
    bool AfterCr = false; // the open "Win" line's last byte was a CR
};

} // namespace vemla
