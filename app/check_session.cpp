#include "app/check_session.h"

#include "engine/terminal.h"
#include "engine/timer_queue.h"
#include "engine/trigger_runtime.h"
#include "platform/cp1251.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace vemla {

namespace {

// SLEEP timers that expire at one moment, one after another, before the check gives up on
// triggers that sleep 0 ms round and round.
constexpr int32_t SameMomentTimerLimit = 10000;

std::string_view CommandName(TCommandKind kind) {
    switch (kind) {
    case TCommandKind::Outw:
        return "OUTW";
    case TCommandKind::Out:
        return "OUT";
    case TCommandKind::Replyw:
        return "REPLYW";
    case TCommandKind::Reply:
        return "REPLY";
    default:
        return "?";
    }
}

// A packet in a report: a long one by its head and tail, so that a report stays readable.
std::string ShortHex(const std::string& bytes) {
    constexpr size_t Head = 32, Tail = 16;
    if (bytes.size() <= Head + Tail + 8) return HexText(bytes);
    return HexText(bytes.substr(0, Head)) + " ... " + HexText(bytes.substr(bytes.size() - Tail)) +
           "  (" + std::to_string(bytes.size()) + " bytes)";
}

// The answers logged after one packet, compared with what the triggers write as they write
// it: the wire does not keep write boundaries, so both are byte streams. Nothing written is
// kept, and the first difference ends the comparison.
class TAnswerStream {
  public:
    void Expect(const std::vector<const TSessionLine*>& lines) {
        Lines = &lines;
        Line = 0;
        Offset = 0;
        SkipEmptyLines();
    }
    // False once the writes differ from the log.
    bool Differs() const { return Difference.has_value(); }
    void Take(std::string_view bytes, const std::string& from) {
        if (Differs()) return;
        for (size_t i = 0; i < bytes.size(); ++i) {
            const TSessionLine* line = Line < Lines->size() ? (*Lines)[Line] : nullptr;
            if (!line || line->Bytes[Offset] != bytes[i]) {
                Difference = TDifference{line, std::string(bytes), from};
                return;
            }
            ++Offset;
            SkipEmptyLines();
        }
        ++Writes;
    }
    // After the last write for the packet: a logged answer not written is a difference too.
    void Finish() {
        if (!Differs() && Line < Lines->size()) Difference = TDifference{(*Lines)[Line], {}, {}};
    }
    uint64_t WriteCount() const { return Writes; }

    // The report of the difference, if any; `next` is the packet after the answers, if any.
    std::optional<std::string> Report(const TSessionLog& log, const TSessionLine* packet,
                                      const TSessionLine* next) const {
        if (!Difference) return std::nullopt;
        const TSessionLine* expectedLine = Difference->Expected;
        const TSessionLine* place = expectedLine ? expectedLine : packet ? packet : next;
        std::string report = "MISMATCH";
        if (place) report += " at " + log.Where(*place);
        // The packet's file is named only when the answer is in another.
        const bool sameFile = place && packet && place->File == packet->File;
        report +=
            packet ? ": the answer to the packet of " +
                         (sameFile ? "line " + std::to_string(packet->Line) : log.Where(*packet)) +
                         "\n"
                   : ": the start-up runs, before the first packet\n";
        if (packet) report += "  packet:   " + ShortHex(packet->Bytes) + "\n";
        report += "  expected: " +
                  (expectedLine ? ShortHex(expectedLine->Bytes) + "  (line " +
                                      std::to_string(expectedLine->Line) + ")"
                                : std::string("nothing more")) +
                  "\n";
        report += "  sent:     " +
                  (Difference->From.empty()
                       ? std::string("nothing more")
                       : ShortHex(Difference->Sent) + "  (" + Difference->From + ")") +
                  "\n";
        return report;
    }

  private:
    void SkipEmptyLines() {
        while (Line < Lines->size() && Offset >= (*Lines)[Line]->Bytes.size()) {
            ++Line;
            Offset = 0;
        }
    }
    struct TDifference {
        const TSessionLine* Expected; // where the log differs; null past its last answer
        std::string Sent;             // the write that differs; empty From when none
        std::string From;
    };
    const std::vector<const TSessionLine*>* Lines = nullptr;
    size_t Line = 0, Offset = 0;
    uint64_t Writes = 0;
    std::optional<TDifference> Difference;
};

// The triggers without a port: what they write is compared with the log at once, time is
// whatever the session says.
class TSessionReplay final : public TTriggerEffects {
  public:
    TSessionReplay(std::unique_ptr<TriggerTable> table, int32_t hashSize, TAnswerStream& answers)
        : Answers(answers) {
        Runtime.SetTable(std::move(table), hashSize);
    }

    void Start(int64_t time) {
        Clock = time;
        Runtime.Start();
    }
    void Packet(int64_t time, std::string_view bytes) {
        Clock = time;
        Runtime.MatchPacket(bytes);
    }
    // Expires every SLEEP due by then, in the order they fall due, until the answers differ;
    // false when triggers keep sleeping 0 ms without end.
    bool RunTimers(int64_t until) {
        int32_t sameMoment = 0;
        while (!Answers.Differs()) {
            auto due = Timers.TakeDue(until);
            if (!due) return true;
            sameMoment = due->second == Clock ? sameMoment + 1 : 0;
            if (sameMoment > SameMomentTimerLimit) return false;
            Clock = due->second;
            Runtime.SleepExpired(*due->first);
        }
        return true;
    }

  private:
    void Write(const TTrigger& trigger, std::string_view bytes) override {
        if (Answers.Differs()) return;
        int32_t index = trigger.CurrentCommand;
        std::string from =
            "trigger " + std::to_string(trigger.Id) + ", command " + std::to_string(index + 1);
        if (index >= 0 && index < trigger.CommandCount())
            from += " (" + std::string(CommandName(trigger.Commands[size_t(index)].Kind)) + ")";
        Answers.Take(bytes, from);
    }
    void Print(std::string_view) override {}
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override {
        Timers.Start(trigger, milliseconds, Clock);
    }
    void NotifyTriggerChanged(TTrigger&) override {}

    TAnswerStream& Answers;
    TTriggerRuntime Runtime{*this};
    int64_t Clock = 0;
    TTimerQueue Timers;
};

} // namespace

TSessionVerdict CheckSession(const TSessionLog& log, std::unique_ptr<TriggerTable> table,
                             int32_t hashSize, TSessionSide side) {
    // Received: the device's packets, answered by the triggers' writes. Mirror: what the
    // device was sent (by vemla, or by the application of a bridge), answered by the device.
    auto isPacket = [side](const TSessionLine& line) {
        return line.FromDevice() == (side == TSessionSide::Received);
    };
    auto isAnswer = [side](const TSessionLine& line) {
        return side == TSessionSide::Received ? line.Kind == TTrafficKind::TriggerSent
                                              : line.FromDevice();
    };
    // The answers logged after each packet (and before the first), known before the triggers
    // run, so that their writes are compared as they come.
    std::vector<std::vector<const TSessionLine*>> expected(1);
    std::vector<const TSessionLine*> packets{nullptr};
    for (const TSessionLine& line : log.Lines) {
        if (isPacket(line)) {
            packets.push_back(&line);
            expected.emplace_back();
        } else if (isAnswer(line)) {
            expected.back().push_back(&line);
        }
    }
    TAnswerStream answers;
    TSessionReplay replay(std::move(table), hashSize, answers);
    TSessionVerdict verdict;
    answers.Expect(expected[0]);
    replay.Start(log.Lines.empty() ? 0 : log.Lines.front().Time);
    for (size_t i = 0; i < packets.size(); ++i) {
        const TSessionLine* next = i + 1 < packets.size() ? packets[i + 1] : nullptr;
        const int64_t until = next ? next->Time : log.Lines.empty() ? 0 : log.Lines.back().Time;
        if (!replay.RunTimers(until)) {
            verdict.Report = "FAILED: triggers keep sleeping 0 ms at one moment";
            if (packets[i]) verdict.Report += ", after the packet of " + log.Where(*packets[i]);
            verdict.Report += "\n";
            return verdict;
        }
        answers.Finish();
        if (auto mismatch = answers.Report(log, packets[i], next)) {
            verdict.Report = *mismatch;
            return verdict;
        }
        if (!next) break;
        answers.Expect(expected[i + 1]);
        replay.Packet(next->Time, next->Bytes);
    }
    verdict.Passed = true;
    verdict.Report = "OK: " + std::to_string(packets.size() - 1) + " packets, " +
                     std::to_string(answers.WriteCount()) + " answers\n";
    return verdict;
}

TResult<TSessionVerdict> CheckSessionFiles(const std::string& logPath,
                                           const std::string& triggerFile, int32_t hashSize,
                                           TSessionSide side) {
    TResult<TSessionVerdict> result;
    TResult<TSessionLog> log = ReadSessionLog(logPath);
    if (!log.Ok()) {
        result.Error = log.Error;
        return result;
    }
    TTableLoad loaded = LoadTriggerFile(triggerFile, hashSize);
    if (!loaded.Ok()) {
        result.Error = Cp1251ToUtf8(loaded.Error);
        return result;
    }
    result.Value = CheckSession(log.Value, std::move(loaded.Value), hashSize, side);
    return result;
}

} // namespace vemla
