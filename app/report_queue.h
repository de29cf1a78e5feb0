#pragma once

#include "engine/terminal_host.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

namespace vemla {

// One report of the engine as a front end takes it.
struct TEngineReport {
    enum class TKind : uint8_t {
        Traffic,
        TriggerChanged,
        Sleep,
        PortState,
        ModemLines,
        ConfirmedRate
    };
    TKind Kind = TKind::Traffic;
    std::unique_ptr<TTrafficRecord> Record; // Traffic
    TTrigger* Trigger = nullptr;            // TriggerChanged, Sleep; the engine's table owns it
    int32_t Milliseconds = 0;               // Sleep
    TPortState State = TPortState::Closed;  // PortState
    bool SecondPort = false;                // PortState: of a bridge's or a tap's second port
    std::optional<TModemLines> Lines;       // ModemLines
    std::optional<int32_t> Rate;            // ConfirmedRate
};

// The host of every front end: the engine's reports wait here, in the order they were made,
// until the front end's thread takes them. Its `wake` is called (from the engine's thread)
// when reports wait and the taker is idle, i.e. its last take found nothing: a taker that
// found some comes back by itself, so a flood costs one wake-up per take, not per record.
// Trigger changes are coalesced: at most one waits per trigger, however many runs a SWITCH
// storm makes. Reports never taken are freed with the queue.
class TReportQueue : public TTerminalHost {
  public:
    // Memory of records waiting here (Cost) beyond which the engine is told there is no room.
    static constexpr size_t BacklogLimit = size_t{8} << 20;

    explicit TReportQueue(std::function<void()> wake) : Wake(std::move(wake)) {}

    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override;
    bool HasRoom() override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyPortState(TPortState state) override;
    void NotifySecondPortState(TPortState state) override;
    void NotifyModemLines(std::optional<TModemLines> lines) override;
    void NotifyConfirmedRate(std::optional<int32_t> rate) override;

    // Every report waiting, oldest first. A trigger change taken here may be reported again
    // at once, so the taker reads the trigger after this call. Taking none makes the taker
    // idle: the next report wakes it.
    std::vector<TEngineReport> Take();
    // The memory a record holds while it waits: a flood of one-byte packets costs many
    // times its bytes.
    static size_t Cost(const TTrafficRecord& record);

  private:
    void Push(TEngineReport report);

    const std::function<void()> Wake;
    std::mutex Mutex;
    std::vector<TEngineReport> Reports;                 // guarded by Mutex
    std::unordered_set<const TTrigger*> PendingChanges; // guarded by Mutex
    bool TakerIdle = true;                              // guarded by Mutex
    std::atomic<size_t> Backlog{0};                     // Cost of the records in Reports
};

} // namespace vemla
