#pragma once

#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "trigger_language/trigger.h"
#include "trigger_language/trigger_file.h"

#include <atomic>
#include <chrono>
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
class TTerminal {
  public:
    static constexpr int32_t ReceiveBufferSize = 1028;
    static constexpr int32_t RunLimit = 101;      // commands one run may execute
    static constexpr int32_t MaxNestedRuns = 100; // SWITCH chains nest no deeper
    // Commands one run may execute together with the runs nested in it: SWITCH commands that
    // switch one another fan out, and without this bound a few of them run for ever.
    static constexpr int32_t TotalRunLimit = 10000;
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
    ~TTerminal();
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

    // Runtime of the triggers; all runs are serialised, SWITCH nests runs.
    void MatchPacket(std::string_view bytes);
    void ResumeTrigger(TTrigger& trigger);
    void SetTriggerPosition(TTrigger& trigger, int32_t position);
    // A SLEEP timer expired: resumes the trigger if it still stands on a SLEEP.
    void SleepExpired(TTrigger& trigger);

    // Received packets that matched no trigger (counted only when there are triggers).
    uint64_t UnmatchedPacketCount() const { return UnmatchedPackets; }
    bool HasTriggers() const { return !NotedTriggers.empty(); }

    // Filled at start-up and never changed afterwards.
    const TriggerTable& Triggers() const { return *Table; }
    TriggerTable& Triggers() { return *Table; }

  private:
    void LoadTriggerTable(const std::string& fileName);
    void StartTriggers();
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
    void PostTraffic(TTrafficKind kind, std::string_view bytes);
    std::string PortFailureText(int error, const std::string& detail = {}) const;
    void RunTrigger(TTrigger& trigger);
    void ExecuteSwitch(TTrigger& trigger, const TTriggerCommand& command);

    TTerminalHost& Host;
    TTerminalSettings Config;
    std::unique_ptr<TEvent> OwnedStopEvent;
    TEvent& StopEvent;
    std::unique_ptr<TriggerTable> Table = std::make_unique<TriggerTable>();
    // (Id, slot) of every loaded trigger in slot order; empty after a failed load.
    std::vector<std::pair<int32_t, int32_t>> NotedTriggers;

    mutable std::mutex PortMutex; // guards Port only, never held while blocking
    std::shared_ptr<TSerialPort> Port;
    std::mutex WriteMutex;               // one write at a time, with its record
    std::thread ReaderThread;            // touched by the owner's thread only
    std::atomic<bool> ReaderDone{false}; // the reader has ended (no reconnect, or stopped)
    std::atomic<bool> Restarting{false}; // Reconfigure asks the reader to let go
    std::mutex OpenMutex; // one open attempt at a time; guards Config.Line after start-up
    TEvent PortOpened;    // a Send opened the port while the reader waited
    TLineStatusSource LineStatus;
    std::optional<TModemLines> ReportedModemLines;      // reader thread only
    std::optional<uint64_t> LostBytesSeen;              // reader thread only
    std::chrono::steady_clock::time_point NextLineLook; // reader thread only

    std::recursive_mutex RunMutex; // one run, with the runs nested in it
    int32_t RunDepth = 0;          // guarded by RunMutex
    int32_t RunBudget = 0;         // commands left to the outermost run; guarded by RunMutex
    std::atomic<uint64_t> UnmatchedPackets{0};
};

} // namespace vemla
