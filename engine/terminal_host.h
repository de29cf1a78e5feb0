#pragma once

#include "engine/traffic_record.h"
#include "platform/serial_port.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vemla {

struct TTrigger;

// What the status bar says of the port.
enum class TPortState : uint8_t {
    Closed, // not open, and nobody tries (no reconnect): a send opens it
    Open,
    Waiting, // lost or missing: tried again by itself
    // A virtual port is open, and an application has its other side open, or not yet.
    ApplicationConnected,
    ApplicationAwaited,
    ClosedByUser, // let go for another program: nothing opens it until the user does
};

inline bool IsOpenState(TPortState state) {
    return state != TPortState::Closed && state != TPortState::Waiting &&
           state != TPortState::ClosedByUser;
}

// What the engine needs of the user interface. Every call is non-blocking and may come from
// any thread.
class TTerminalHost {
  public:
    virtual ~TTerminalHost() = default;
    virtual void PostTraffic(std::unique_ptr<TTrafficRecord> record) = 0;
    // False while the records handed over are not taken fast enough: the reader then stops
    // reading, and the line's flow control (or the driver's full queue) holds the device back.
    virtual bool HasRoom() { return true; }
    // A trigger's status or current command changed.
    virtual void NotifyTriggerChanged(TTrigger& trigger) = 0;
    // A SLEEP began: one timer per trigger, a new one replaces the pending one. When it
    // expires the host calls TTerminal::SleepExpired on its own thread.
    virtual void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) = 0;
    // The port opened, closed or began waiting for its device. Not a traffic record.
    virtual void NotifyPortState(TPortState) {}
    // The same of the application's port of a bridge, or of a tap's second line.
    virtual void NotifySecondPortState(TPortState) {}
    // The modem input lines changed; nothing when the port is closed or has no modem lines.
    // Not a traffic record.
    virtual void NotifyModemLines(std::optional<TModemLines>) {}
    // The rate the far end confirmed (a network server), or nothing when it has not (yet).
    // Not a traffic record.
    virtual void NotifyConfirmedRate(std::optional<int32_t>) {}
};

} // namespace vemla
