#pragma once

#include "engine/terminal_host.h"

#include <QEvent>
#include <QObject>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace vemla {

// Engine reports travel to the GUI thread as posted events, in the order they were made (the
// types are one range: receivers tell them from other events by it).
enum TEngineEventType {
    TriggerChangedEventType = QEvent::User + 100,
    TrafficEventType = QEvent::User + 101,
    SleepEventType = QEvent::User + 102,
    PortStateEventType = QEvent::User + 103,
    ModemLinesEventType = QEvent::User + 104,
};

class TModemLinesEvent : public QEvent {
  public:
    explicit TModemLinesEvent(std::optional<TModemLines> lines)
        : QEvent(static_cast<QEvent::Type>(ModemLinesEventType)), Lines(lines) {}
    std::optional<TModemLines> Lines;
};

class TPortStateEvent : public QEvent {
  public:
    explicit TPortStateEvent(TPortState state)
        : QEvent(static_cast<QEvent::Type>(PortStateEventType)), State(state) {}
    TPortState State;
};

// Records made close together: one posted event announces the batch, and records join it
// until the receiver finds it empty and closes it; the next record then opens a new batch with
// an event of its own. A flood so costs a wake-up of the receiver per batch, not per record.
// The receiver takes the records as it handles the event, and again while there are any.
class TTrafficBatch {
  public:
    explicit TTrafficBatch(std::shared_ptr<std::atomic<size_t>> backlog)
        : Backlog(std::move(backlog)) {}
    // Adds a record unless the batch is closed; false when it is.
    bool Add(std::unique_ptr<TTrafficRecord>& record);
    // The records so far; taking none closes the batch.
    std::vector<std::unique_ptr<TTrafficRecord>> Take();
    // The memory a record holds while it waits here: a flood of one-byte packets costs many
    // times its bytes.
    static size_t Cost(const TTrafficRecord& record);

  private:
    std::mutex Mutex;
    std::vector<std::unique_ptr<TTrafficRecord>> Records; // guarded by Mutex
    bool Closed = false;                                  // guarded by Mutex
    std::shared_ptr<std::atomic<size_t>> Backlog; // Cost of what the host posted, not yet taken
};

class TTrafficEvent : public QEvent {
  public:
    explicit TTrafficEvent(std::shared_ptr<TTrafficBatch> batch)
        : QEvent(static_cast<QEvent::Type>(TrafficEventType)), Batch(std::move(batch)) {}
    // Shared with the host until taken: records never taken (discarded, still queued at exit)
    // go with the event.
    std::shared_ptr<TTrafficBatch> Batch;
};

class TTriggerEvent : public QEvent {
  public:
    TTriggerEvent(TEngineEventType type, TTrigger& trigger, int32_t milliseconds = 0)
        : QEvent(static_cast<QEvent::Type>(type)), Trigger(trigger), Milliseconds(milliseconds) {}
    TTrigger& Trigger; // borrowed: the engine's table outlives every window
    int32_t Milliseconds;
};

// Posts each report to one receiver, in the order they were made; safe from any thread.
// Records travel in batches; trigger changes are coalesced: at most one is pending per trigger,
// however many runs a SWITCH storm makes.
class TQtHost : public TTerminalHost {
  public:
    // Memory of records posted and not taken yet (TTrafficBatch::Cost) beyond which the host
    // has no room.
    static constexpr size_t BacklogLimit = size_t{8} << 20;

    explicit TQtHost(QObject& receiver) : Receiver(receiver) {}
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override;
    bool HasRoom() override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyPortState(TPortState state) override;
    void NotifyModemLines(std::optional<TModemLines> lines) override;
    // The receiver calls this as it takes a trigger change, before it reads the trigger.
    void TriggerChangedDelivered(TTrigger& trigger);

  private:
    // Posts a report of another kind: records made after it go into a batch after it.
    void PostInOrder(std::unique_ptr<QEvent> event);

    QObject& Receiver;
    std::mutex Mutex;
    std::unordered_set<const TTrigger*> PendingChanges; // guarded by Mutex
    std::shared_ptr<TTrafficBatch> OpenBatch;           // guarded by Mutex
    std::shared_ptr<std::atomic<size_t>> BacklogBytes = std::make_shared<std::atomic<size_t>>(0);
};

} // namespace vemla
