#include "app/traffic_recorder.h"

#include "app/status_texts.h"
#include "platform/cp1251.h"
#include "platform/system.h"

namespace vemla {

void TTrafficRecorder::Configure(const TIniFile& config) {
    Logger = TLogWriter(ReadLogSettings(config));
    List.SetLineBreak(LineBreakFromText(config.ReadString("Terminal", "LineBreak", "CR")));
    Scrollback = ReadScrollback(config);
    if (!Scrollback.Warning.empty()) (void)Add({Now(), TTrafficKind::Warning, Scrollback.Warning});
}

TResult<> TTrafficRecorder::Add(const TTrafficRecord& record) {
    if (record.Kind == TTrafficKind::Received) Received += record.Data.size();
    if (record.Kind == TTrafficKind::Sent || record.Kind == TTrafficKind::TriggerSent)
        Sent += record.Data.size();
    if (!RecordingOn || Closed) return {};
    size_t first = List.Add(record, CurrentCoding);
    if (View) View->LinesChanged(first);
    // In "Win" coding the last data line stays open until a carriage return or another kind
    // ends it; it is echoed once complete.
    bool lastOpen = CurrentCoding == TCoding::Win && IsDataKind(List[List.Size() - 1].Kind);
    EchoLines(lastOpen ? List.Size() - 1 : List.Size());
    return Logger.FlushDue(List) ? Flush() : TResult<>{};
}

void TTrafficRecorder::EchoText(std::string utf8) {
    if (Echo) Echo->Write(std::move(utf8));
}

void TTrafficRecorder::EchoLines(size_t upTo) {
    if (!Echo) return;
    for (; Echoed < upTo; ++Echoed)
        Echo->Write(Cp1251ToUtf8(List.LogLine(Echoed)));
}

TResult<> TTrafficRecorder::Flush() {
    EchoLines(List.Size());
    if (Closed) {
        ResetBegins();
        TResult<> outcome =
            Logger.FinalFlush(List, Now(), {WorkingDirectory(), TemporaryDirectory()});
        ResetEnds();
        Echoed = 0;
        return outcome;
    }
    const size_t flushedBefore = List.Flushed();
    TResult<> outcome = Logger.Flush(List, Now());
    if (View && List.Flushed() != flushedBefore) View->LinesFlushed();
    // The view keeps the newest lines as scrollback; the oldest flushed ones make room.
    // Without a view (vemla-cli) nobody reads them back: none are kept.
    const size_t keep = View ? Scrollback.Lines : 0;
    if (size_t oldest = List.OldestBeyond(keep, TScrollback::TextLimit)) {
        if (View) View->OldestDropping(oldest);
        List.DropOldest(oldest);
        Echoed -= oldest;
        if (View) View->OldestDropped(oldest);
    }
    return outcome;
}

void TTrafficRecorder::SetCoding(TCoding coding) {
    ResetBegins();
    List.Recode(CurrentCoding, coding);
    CurrentCoding = coding;
    ResetEnds();
}

void TTrafficRecorder::Clear() {
    EchoLines(List.Size());
    Echoed = 0;
    ResetBegins();
    List.Clear();
    ResetEnds();
}

TResult<> TTrafficRecorder::Finish() {
    if (Closed) return {};
    Closed = true;
    return Flush();
}

TResult<> RecordReport(const TEngineReport& report, TTrafficRecorder& recorder,
                       TTimerQueue& timers) {
    switch (report.Kind) {
    case TEngineReport::TKind::Traffic:
        return recorder.Add(*report.Record);
    case TEngineReport::TKind::Sleep:
        timers.Start(*report.Trigger, report.Milliseconds, SteadyMilliseconds());
        break;
    case TEngineReport::TKind::ModemLines:
        if (report.Lines) recorder.EchoText(ModemLinesText(*report.Lines) + "\r\n");
        break;
    case TEngineReport::TKind::TriggerChanged:
    case TEngineReport::TKind::PortState:
    case TEngineReport::TKind::ConfirmedRate:
        break;
    }
    return {};
}

} // namespace vemla
