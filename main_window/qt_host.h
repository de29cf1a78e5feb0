#pragma once

#include "engine/terminal_host.h"

#include <QEvent>
#include <QObject>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace vemla {

// Engine reports travel to the GUI thread as posted events, in the order they were made.
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

class TTrafficEvent : public QEvent {
  public:
    explicit TTrafficEvent(std::unique_ptr<TTrafficRecord> record)
        : QEvent(static_cast<QEvent::Type>(TrafficEventType)), Record(std::move(record)) {}
    // Owned by the event: freed with it, whether shown, discarded or still queued at exit.
    std::unique_ptr<TTrafficRecord> Record;
};

class TTriggerEvent : public QEvent {
  public:
    TTriggerEvent(TEngineEventType type, TTrigger& trigger, int32_t milliseconds = 0)
        : QEvent(static_cast<QEvent::Type>(type)), Trigger(trigger), Milliseconds(milliseconds) {}
    TTrigger& Trigger; // borrowed: the engine's table outlives every window
    int32_t Milliseconds;
};

// Posts each report to one receiver; safe from any thread. Trigger changes are coalesced:
// at most one is pending per trigger, however many runs a SWITCH storm makes.
class TQtHost : public TTerminalHost {
  public:
    explicit TQtHost(QObject& receiver) : Receiver(receiver) {}
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyPortState(TPortState state) override;
    void NotifyModemLines(std::optional<TModemLines> lines) override;
    // The receiver calls this as it takes a trigger change, before it reads the trigger.
    void TriggerChangedDelivered(TTrigger& trigger);

  private:
    QObject& Receiver;
    std::mutex PendingMutex;
    std::unordered_set<const TTrigger*> PendingChanges; // guarded by PendingMutex
};

} // namespace vemla
