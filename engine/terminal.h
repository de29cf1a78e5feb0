#pragma once

#include "engine/port_reader.h"
#include "engine/send_schedule.h"
#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"
#include "engine/trigger_runtime.h"
#include "platform/event.h"
#include "trigger_language/trigger.h"
#include "trigger_language/trigger_file.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace vemla {

// Reads and loads a trigger file as the engine does at start-up. On failure the table is empty
// and Error holds the report the engine shows ("Ошибка открытия файла :..." or
// "Ошибка загрузки файла ...").
TTableLoad LoadTriggerFile(const std::string& fileName, int32_t hashSize);

// The terminal engine: one port with its reader, the writes, and the triggers that answer
// received packets. It reports only through its host.
class TTerminal : private TTriggerEffects {
  public:
    static constexpr int32_t ReceiveBufferSize = TPortReader::ReceiveBufferSize;
    static constexpr std::chrono::milliseconds ReconnectInterval = TPortReader::ReconnectInterval;

    // Loads the trigger file of the settings, opens the port and starts the triggers.
    // Failures become Error records; the object is usable whatever happened. A stop event
    // given here (set by a signal handler, say) stops the engine as Stop does and also ends
    // a write that is waiting for the line, even one of the start-up runs. openPort: how the
    // port is opened (by its spelling when empty).
    TTerminal(TTerminalHost& host, TTerminalSettings settings, TEvent* stopEvent = nullptr,
              TPortOpener openPort = {});
    ~TTerminal() override;
    TTerminal(const TTerminal&) = delete;
    TTerminal& operator=(const TTerminal&) = delete;

    const TTerminalSettings& Settings() const { return Reader->Settings(); }
    // The device port's line as it has it (a bridge's application may have set it).
    TLineSettings LineInForce() { return Reader->LineInForce(); }

    // Opens and configures the port if it is closed; true when it is open afterwards.
    bool Open();
    // The user's "close port": nothing opens it again (a send, the reconnect) until Reopen.
    void Close() { Reader->Close(); }
    bool Reopen() { return Reader->Reopen(); }
    // Ends the reader thread and closes the port for good; the triggers stay readable. Every
    // record of the reader has been handed to the host when this returns.
    void Stop();
    bool IsOpen() const;
    // The user's transmission: opens the port if needed, writes, reports a Sent record.
    void Send(std::string_view bytes);
    // The same, written on the engine's sender thread in the order given, so that a device
    // that does not take its bytes never holds up the caller (the port is opened at once).
    // Nothing is queued while SendQueueLimit transmissions still wait, or when the port is
    // closed and does not open (the failure has been reported).
    enum class TSendOutcome { Queued, Busy, PortClosed };
    TSendOutcome SendLater(std::string bytes);
    // Transmissions queued or being written by SendLater.
    size_t PendingSends() const { return SendsPending.load(); }
    // Packets sent by the sender thread at their own periods; their timing never waits for the
    // owner. Lists run side by side: a new list replaces the running one of its number only
    // (an empty one stops it). A period shorter than a packet's time on the wire at the port's
    // rate is reported once as a Warning, and such packets go back to back.
    static constexpr int CommandLineSends = 0;
    static constexpr int GeneratorSends = 1;
    void StartTimedSends(std::vector<TTimedSend> sends, int list = CommandLineSends);
    static constexpr size_t SendQueueLimit = 64;
    // New port settings (port, line, time-outs, packet size, reconnect): closes the port and
    // opens it again with them. The triggers keep their state.
    void Reconfigure(const TTerminalSettings& settings);

    // The user's modem output lines: false when the port is closed, has no modem lines, or the
    // line is under handshake control. The choice stays for later reopens of the port.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    // Holds the line in the break state for the duration (no write meanwhile); false when the
    // port is closed or refuses.
    bool SendBreak(std::chrono::milliseconds duration);

    // The triggers, as TTriggerRuntime runs them; their table is filled at start-up and
    // never changed afterwards.
    void MatchPacket(std::string_view bytes) { Runtime.MatchPacket(bytes); }
    void ResumeTrigger(TTrigger& trigger) { Runtime.ResumeTrigger(trigger); }
    void SetTriggerPosition(TTrigger& trigger, int32_t position) {
        Runtime.SetTriggerPosition(trigger, position);
    }
    void SleepExpired(TTrigger& trigger) { Runtime.SleepExpired(trigger); }
    uint64_t UnmatchedPacketCount() const { return Runtime.UnmatchedPacketCount(); }
    bool HasTriggers() const { return Runtime.HasTriggers(); }
    const TriggerTable& Triggers() const { return Runtime.Triggers(); }
    TriggerTable& Triggers() { return Runtime.Triggers(); }

  private:
    void LoadTriggerTable(const std::string& fileName, int32_t hashSize);
    // What the triggers' runs do: write to the port, tell the host.
    void Write(const TTrigger& trigger, std::string_view bytes) override;
    void Print(std::string_view text) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void SenderMain();
    void StartSender();
    // A timed packet: while the port is closed, the first one says so and the rest go quietly.
    void WriteTimed(const std::string& bytes);

    TTerminalHost& Host;
    std::unique_ptr<TEvent> OwnedStopEvent;
    TEvent& StopEvent;
    TTriggerRuntime Runtime{*this};
    std::unique_ptr<TPortReader> Reader;
    // The application's port of a bridge, or a tap's second line: its records name it as
    // their source, and no trigger sees its packets.
    std::unique_ptr<TTerminalHost> SecondHost;
    std::unique_ptr<TPacketOrder> RecordOrder; // of the two ports' records
    std::unique_ptr<TPortReader> SecondReader;
    std::mutex SendMutex; // guards SendQueue and SenderStopping
    std::condition_variable SendQueued;
    std::deque<std::string> SendQueue;
    bool SenderStopping = false;
    TSendSchedule Schedule;           // guarded by SendMutex
    bool ScheduleChanged = false;     // guarded by SendMutex
    bool TimedClosedReported = false; // sender thread only
    std::atomic<size_t> SendsPending{0};
    std::thread SenderThread; // started by the first SendLater; touched by the owner's thread
};

} // namespace vemla
