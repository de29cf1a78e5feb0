#pragma once

#include "trigger_language/trigger.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace vemla {

// What a run of triggers does outside its table. The engine writes to its port and tells its
// host; a check against a recorded session collects the bytes and keeps a clock of its own.
class TTriggerEffects {
  public:
    virtual ~TTriggerEffects() = default;
    // OUT, OUTW, REPLY, REPLYW of the trigger's current command.
    virtual void Write(const TTrigger& trigger, std::string_view bytes) = 0;
    virtual void Print(std::string_view text) = 0;
    // A SLEEP began: one timer per trigger, a new one replaces the pending one. When it
    // expires, SleepExpired is called.
    virtual void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) = 0;
    // A trigger's status or current command changed.
    virtual void NotifyTriggerChanged(TTrigger& trigger) = 0;
};

// The triggers of one table: start-up runs, packets resuming triggers, SWITCH, SLEEP. Every
// run is serialised; SWITCH nests runs.
class TTriggerRuntime {
  public:
    static constexpr int32_t RunLimit = 101;      // commands one run may execute
    static constexpr int32_t MaxNestedRuns = 100; // SWITCH chains nest no deeper
    // Commands one run may execute together with the runs nested in it: SWITCH commands that
    // switch one another fan out, and without this bound a few of them run for ever.
    static constexpr int32_t TotalRunLimit = 10000;

    explicit TTriggerRuntime(TTriggerEffects& effects) : Effects(effects) {}

    // Takes a loaded table and resolves its SWITCH targets; packets are looked up by the hash
    // of their first hashSize bytes.
    void SetTable(std::unique_ptr<TriggerTable> table, int32_t hashSize);
    // Runs every trigger from its first command, in slot order.
    void Start();
    void MatchPacket(std::string_view bytes);
    void ResumeTrigger(TTrigger& trigger);
    void SetTriggerPosition(TTrigger& trigger, int32_t position);
    // A SLEEP timer expired: resumes the trigger if it still stands on a SLEEP.
    void SleepExpired(TTrigger& trigger);

    // Received packets that matched no trigger (counted only when there are triggers).
    uint64_t UnmatchedPacketCount() const { return UnmatchedPackets; }
    bool HasTriggers() const { return !NotedTriggers.empty(); }
    const TriggerTable& Triggers() const { return *Table; }
    TriggerTable& Triggers() { return *Table; }

  private:
    void RunTrigger(TTrigger& trigger);
    void ExecuteSwitch(TTrigger& trigger, const TTriggerCommand& command);

    TTriggerEffects& Effects;
    std::unique_ptr<TriggerTable> Table = std::make_unique<TriggerTable>();
    int32_t HashSize = 0;
    // (Id, slot) of every loaded trigger in slot order.
    std::vector<std::pair<int32_t, int32_t>> NotedTriggers;

    std::recursive_mutex RunMutex; // one run, with the runs nested in it
    int32_t RunDepth = 0;          // guarded by RunMutex
    int32_t RunBudget = 0;         // commands left to the outermost run; guarded by RunMutex
    std::atomic<uint64_t> UnmatchedPackets{0};
};

} // namespace vemla
