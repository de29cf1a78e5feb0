#include "main_window/check_session.h"

#include "engine/terminal.h"
#include "engine/trigger_runtime.h"
#include "platform/cp1251.h"

#include <algorithm>
#include <map>
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

struct TSentBytes {
    std::string Bytes;
    std::string From; // "trigger 1, command 2 (OUTW)"
};

// The triggers without a port: what they write is kept, time is whatever the session says.
class TSessionReplay final : public TTriggerEffects {
  public:
    TSessionReplay(std::unique_ptr<TriggerTable> table, int32_t hashSize) {
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
    // Expires every SLEEP due by then, in the order they fall due; false when triggers keep
    // sleeping 0 ms without end.
    bool RunTimers(int64_t until) {
        int32_t sameMoment = 0;
        for (;;) {
            auto next = std::min_element(Timers.begin(), Timers.end(), [](auto& a, auto& b) {
                return std::pair(a.second.Due, a.second.Order) <
                       std::pair(b.second.Due, b.second.Order);
            });
            if (next == Timers.end() || next->second.Due > until) return true;
            sameMoment = next->second.Due == Clock ? sameMoment + 1 : 0;
            if (sameMoment > SameMomentTimerLimit) return false;
            Clock = next->second.Due;
            TTrigger& trigger = *next->first;
            Timers.erase(next);
            Runtime.SleepExpired(trigger);
        }
    }
    std::vector<TSentBytes> TakeSent() { return std::exchange(Sent, {}); }

  private:
    void Write(const TTrigger& trigger, std::string_view bytes) override {
        int32_t index = trigger.CurrentCommand;
        std::string from =
            "trigger " + std::to_string(trigger.Id) + ", command " + std::to_string(index + 1);
        if (index >= 0 && index < trigger.CommandCount())
            from += " (" + std::string(CommandName(trigger.Commands[size_t(index)].Kind)) + ")";
        Sent.push_back({std::string(bytes), std::move(from)});
    }
    void Print(std::string_view) override {}
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override {
        Timers[&trigger] = {Clock + std::max(milliseconds, 0), NextOrder++};
    }
    void NotifyTriggerChanged(TTrigger&) override {}

    struct TTimer {
        int64_t Due = 0;
        uint64_t Order = 0;
    };
    TTriggerRuntime Runtime{*this};
    int64_t Clock = 0;
    std::map<TTrigger*, TTimer> Timers; // one per trigger, as in the engine
    uint64_t NextOrder = 0;
    std::vector<TSentBytes> Sent;
};

// The answers logged after one packet against what the triggers sent for it, as byte streams
// (the wire does not keep write boundaries); the report of the first difference, if any.
// `next` is the packet after them, if any.
std::optional<std::string> CompareAnswers(const TSessionLog& log, const TSessionLine* packet,
                                          const std::vector<const TSessionLine*>& expected,
                                          const std::vector<TSentBytes>& sent,
                                          const TSessionLine* next) {
    std::string logged, written;
    for (const TSessionLine* line : expected)
        logged += line->Bytes;
    for (const TSentBytes& write : sent)
        written += write.Bytes;
    if (logged == written) return std::nullopt;
    auto differs = std::mismatch(logged.begin(), logged.end(), written.begin(), written.end());
    size_t at = static_cast<size_t>(differs.first - logged.begin());
    const TSessionLine* expectedLine = nullptr;
    for (size_t i = 0, end = 0; i < expected.size() && !expectedLine; ++i)
        if ((end += expected[i]->Bytes.size()) > at) expectedLine = expected[i];
    const TSentBytes* sentWrite = nullptr;
    for (size_t i = 0, end = 0; i < sent.size() && !sentWrite; ++i)
        if ((end += sent[i].Bytes.size()) > at) sentWrite = &sent[i];

    const TSessionLine* place = expectedLine ? expectedLine : packet ? packet : next;
    std::string report = "MISMATCH";
    if (place) report += " at " + log.Where(*place);
    // The packet's file is named only when the answer is in another.
    const bool sameFile = place && packet && place->File == packet->File;
    report +=
        packet ? ": the answer to the packet of " +
                     (sameFile ? "line " + std::to_string(packet->Line) : log.Where(*packet)) + "\n"
               : ": the start-up runs, before the first packet\n";
    if (packet) report += "  packet:   " + HexText(packet->Bytes) + "\n";
    report += "  expected: " +
              (expectedLine ? HexText(expectedLine->Bytes) + "  (line " +
                                  std::to_string(expectedLine->Line) + ")"
                            : std::string("nothing more")) +
              "\n";
    report += "  sent:     " +
              (sentWrite ? HexText(sentWrite->Bytes) + "  (" + sentWrite->From + ")"
                         : std::string("nothing more")) +
              "\n";
    return report;
}

} // namespace

TSessionVerdict CheckSession(const TSessionLog& log, std::unique_ptr<TriggerTable> table,
                             int32_t hashSize, TSessionSide side) {
    TSessionReplay replay(std::move(table), hashSize);
    auto isPacket = [side](const TSessionLine& line) {
        return (line.Kind == TTrafficKind::Received) == (side == TSessionSide::Received);
    };
    const TTrafficKind answerKind =
        side == TSessionSide::Received ? TTrafficKind::TriggerSent : TTrafficKind::Received;
    TSessionVerdict verdict;
    size_t packets = 0, answers = 0;
    const TSessionLine* packet = nullptr;
    std::vector<const TSessionLine*> expected;
    auto closeAnswers = [&](int64_t until, const TSessionLine* next) {
        if (!replay.RunTimers(until)) {
            verdict.Report = "FAILED: triggers keep sleeping 0 ms at one moment";
            if (packet) verdict.Report += ", after the packet of " + log.Where(*packet);
            verdict.Report += "\n";
            return false;
        }
        std::vector<TSentBytes> sent = replay.TakeSent();
        if (auto mismatch = CompareAnswers(log, packet, expected, sent, next)) {
            verdict.Report = *mismatch;
            return false;
        }
        answers += sent.size();
        expected.clear();
        return true;
    };

    replay.Start(log.Lines.empty() ? 0 : log.Lines.front().Time);
    for (const TSessionLine& line : log.Lines) {
        if (isPacket(line)) {
            if (!closeAnswers(line.Time, &line)) return verdict;
            packet = &line;
            ++packets;
            replay.Packet(line.Time, line.Bytes);
        } else if (line.Kind == answerKind) {
            expected.push_back(&line);
        }
    }
    if (!closeAnswers(log.Lines.empty() ? 0 : log.Lines.back().Time, nullptr)) return verdict;
    verdict.Passed = true;
    verdict.Report =
        "OK: " + std::to_string(packets) + " packets, " + std::to_string(answers) + " answers\n";
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
