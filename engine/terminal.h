#pragma once

#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"
#include "engine/trigger_runtime.h"
#include "platform/event.h"
#include "platform/serial_port.h"
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

// What the engine asks the driver of an open port besides its bytes. Tests put doubles in
// place of the driver, as a pseudo-terminal has neither; an empty function asks the driver.
struct TLineStatusSource {
    std::function<std::optional<TModemLines>(const TSerialPort&)> ModemLines;
    std::function<std::optional<uint64_t>(const TSerialPort&)> LostBytes;
};

// The terminal engine: one serial port, its reader thread, the writes, and the triggers that
// answer received packets. It reports only through its host.
class TTerminal : private TTriggerEffects {
  public:
    static constexpr int32_t ReceiveBufferSize = 1028;
    // How often a lost or missing port is tried again.
    static constexpr std::chrono::milliseconds ReconnectInterval{500};
    // How often the reader looks at the modem input lines and the driver's count of dropped
    // bytes, of a port that has them.
    static constexpr std::chrono::milliseconds LineStatusInterval{50};
    // How often a reader held back by its host asks again.
    static constexpr std::chrono::milliseconds HostRoomInterval{5};

    // Reads the settings, loads the trigger file, opens the port and starts the triggers.
    // Failures become Error records; the object is usable whatever happened. A stop event
    // given here (set by a signal handler, say) stops the engine as Stop does and also ends
    // a write that is waiting for the line, even one of the start-up runs.
    TTerminal(TTerminalHost& host, const std::string& configFileName, TEvent* stopEvent = nullptr,
              const TSettingOverrides& overrides = {}, TLineStatusSource lineStatus = {});
    ~TTerminal() override;
    TTerminal(const TTerminal&) = delete;
    TTerminal& operator=(const TTerminal&) = delete;

    const TTerminalSettings& Settings() const { return Config; }

    // Opens and configures the port if it is closed; true when it is open afterwards.
    bool Open();
    // Ends the reader thread and closes the port for good; the triggers stay readable. Every
    // record of the reader has been handed to the host when this returns.
    void Stop();
    bool IsOpen() const;
    // The user's transmission: opens the port if needed, writes, reports a Sent record.
    void Send(std::string_view bytes);
    // The same, written on the engine's sender thread in the order given, so that a device
    // that does not take its bytes never holds up the caller (the port is opened at once).
    // False, and nothing queued, while SendQueueLimit transmissions still wait.
    bool SendLater(std::string bytes);
    // Transmissions queued or being written by SendLater.
    size_t PendingSends() const { return SendsPending.load(); }
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
    void LoadTriggerTable(const std::string& fileName);
    // What the triggers' runs do: write to the port, tell the host.
    void Write(const TTrigger& trigger, std::string_view bytes) override;
    void Print(std::string_view text) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void StartReader(std::shared_ptr<TSerialPort> port);
    void ReaderMain(std::shared_ptr<TSerialPort> port);
    // Reads packets until the engine stops (true) or the line fails (false).
    bool ReadLoop(const std::shared_ptr<TSerialPort>& port);
    // Opens the port if nobody has; posts "открыт" on success. Failures are posted when
    // reportFailure says so. The port, or null.
    std::shared_ptr<TSerialPort> OpenPort(bool reportFailure);
    void ClosePortAfterFailure(int error);
    // Reader thread: reports the input lines when they differ from the last report, and bytes
    // the driver dropped since the last look as one Error record.
    void WatchLineStatus(const TSerialPort& port);
    void ReportModemLines(std::optional<TModemLines> lines);
    std::shared_ptr<TSerialPort> CurrentPort() const;
    void WritePort(std::string_view bytes, TTrafficKind kind);
    void SenderMain();
    void PostTraffic(TTrafficKind kind, std::string_view bytes);
    std::string PortFailureText(int error, const std::string& detail = {}) const;

    TTerminalHost& Host;
    TTerminalSettings Config;
    std::unique_ptr<TEvent> OwnedStopEvent;
    TEvent& StopEvent;
    TTriggerRuntime Runtime{*this};

    mutable std::mutex PortMutex; // guards Port only, never held while blocking
    std::shared_ptr<TSerialPort> Port;
    std::mutex WriteMutex;               // one write at a time, with its record
    std::thread ReaderThread;            // touched by the owner's thread only
    std::atomic<bool> ReaderDone{false}; // the reader has ended (no reconnect, or stopped)
    std::atomic<bool> Restarting{false}; // Reconfigure asks the reader to let go
    std::mutex OpenMutex; // one open attempt at a time; guards Config.Line after start-up
    TEvent PortOpened;    // a Send opened the port while the reader waited
    TLineStatusSource LineStatus;
    std::mutex SendMutex; // guards SendQueue and SenderStopping
    std::condition_variable SendQueued;
    std::deque<std::string> SendQueue;
    bool SenderStopping = false;
    std::atomic<size_t> SendsPending{0};
    std::thread SenderThread; // started by the first SendLater; touched by the owner's thread
    std::optional<TModemLines> ReportedModemLines;      // reader thread only
    std::optional<uint64_t> LostBytesSeen;              // reader thread only
    std::chrono::steady_clock::time_point NextLineLook; // reader thread only
};

} // namespace vemla
