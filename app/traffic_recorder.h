#pragma once

#include "app/echo_writer.h"
#include "app/log_files.h"
#include "app/report_queue.h"
#include "app/traffic_list.h"
#include "engine/timer_queue.h"
#include "platform/result.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vemla {

// What a view of the recorded lines hears of them, on the recorder's thread.
class TTrafficView {
  public:
    virtual ~TTrafficView() = default;
    // The lines from `first` on are new or changed.
    virtual void LinesChanged(size_t first) = 0;
    // The list is about to change as a whole (cleared, recoded, ended), and has.
    virtual void ResetBegins() = 0;
    virtual void ResetEnds() = 0;
    // More lines at the front count as flushed.
    virtual void LinesFlushed() = 0;
    // The oldest lines are about to go from the front, and have.
    virtual void OldestDropping(size_t count) = 0;
    virtual void OldestDropped(size_t count) = 0;
};

// What happens to the engine's records in every front end: counted, turned into lines in the
// current coding, echoed to standard output, moved into log files, and all of them flushed at
// the end. One thread (the front end's) owns it.
class TTrafficRecorder {
  public:
    // The log settings and line break of a configuration.
    void Configure(const TIniFile& config);
    // Every complete line, in the log format and in UTF-8, to this writer too.
    void EchoTo(std::unique_ptr<TEchoWriter> echo) { Echo = std::move(echo); }
    void SetView(TTrafficView* view) { View = view; }

    // Counts the record's bytes and, while recording, adds its lines. An Error is what the
    // user must be told: a log file that could not be written.
    TResult<> Add(const TTrafficRecord& record);
    // A text for the echo only (the modem lines): in UTF-8, with its line end.
    void EchoText(std::string utf8);
    // Off: records are counted but leave no line (the window's "log on" switch).
    void SetRecording(bool on) { RecordingOn = on; }
    bool Recording() const { return RecordingOn; }
    TCoding Coding() const { return CurrentCoding; }
    // Rewrites every data line in the new coding; records to come are written in it.
    void SetCoding(TCoding coding);
    void Clear();
    // The last flush: every line into the log (or, failing that, a fallback file); records
    // after it leave no line. Once only.
    TResult<> Finish();
    bool Finished() const { return Closed; }

    TTrafficList& Lines() { return List; }
    const TTrafficList& Lines() const { return List; }
    // Since start, whether recorded or not.
    uint64_t ReceivedBytes() const { return Received; }
    uint64_t SentBytes() const { return Sent; }

  private:
    TResult<> Flush();
    void EchoLines(size_t upTo);
    void ResetBegins() {
        if (View) View->ResetBegins();
    }
    void ResetEnds() {
        if (View) View->ResetEnds();
    }

    TTrafficList List;
    TLogWriter Logger{TLogSettings{}};
    TScrollback Scrollback;
    std::unique_ptr<TEchoWriter> Echo;
    TTrafficView* View = nullptr;
    TCoding CurrentCoding = TCoding::Hex;
    bool RecordingOn = true;
    bool Closed = false;
    size_t Echoed = 0; // lines already echoed
    uint64_t Received = 0, Sent = 0;
};

// What every front end does alike with an engine report: a record recorded, a SLEEP put on
// the timers (of the steady clock: the clock is read for a SLEEP only, never per record), the
// modem lines echoed. An Error is what the user must be told.
TResult<> RecordReport(const TEngineReport& report, TTrafficRecorder& recorder,
                       TTimerQueue& timers);

} // namespace vemla
