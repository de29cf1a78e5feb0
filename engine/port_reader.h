#pragma once

#include "engine/packet_order.h"
#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"
#include "platform/event.h"
#include "platform/port.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace vemla {

// How a port is opened for its settings; an opening that takes long ends early when cancel is
// set. Tests put a fake port in place.
using TPortOpener = std::function<TPortOpenResult(const TTerminalSettings&, const TEvent& cancel)>;
// The port its settings spell, opened by its kind.
TPortOpenResult OpenPortOf(const TTerminalSettings& settings, const TEvent& cancel);

// One port, and the thread that reads it: opens it, frames its packets, watches its modem
// lines and the driver's losses, waits for it when it is missing or lost and opens it again.
// Every received packet becomes a Received record and then goes to the owner's callback,
// on the reader thread; writes go through here too, so that each is recorded with its
// bytes. Reports go to the host.
class TPortReader {
  public:
    static constexpr int32_t ReceiveBufferSize = 1028;
    // How often a lost or missing port is tried again.
    static constexpr std::chrono::milliseconds ReconnectInterval{500};
    // How often the reader looks at the modem input lines and the driver's count of dropped
    // bytes, of a port that has them.
    static constexpr std::chrono::milliseconds LineStatusInterval{50};
    // How often a reader held back by its host asks again (and a writer whether a connection
    // is made).
    static constexpr std::chrono::milliseconds HostRoomInterval{5};

    using TPacketHandler = std::function<void(std::string_view packet)>;
    // Its records name `source` as the port they came from or went to.
    TPortReader(TTerminalHost& host, TTerminalSettings settings, TEvent& stopEvent,
                TPortOpener openPort, TPacketHandler onPacket,
                TTrafficSource source = TTrafficSource::Device);
    ~TPortReader();
    TPortReader(const TPortReader&) = delete;
    TPortReader& operator=(const TPortReader&) = delete;

    const TTerminalSettings& Settings() const { return Config; }
    // The line as the port has it: the settings', or what the application of a bridge set.
    TLineSettings LineInForce();
    // Opens the port if it is closed and starts the reader (with reconnect also for a port
    // that is missing); true when it is open afterwards. The owner's thread only.
    bool Open();
    // Ends the reader and closes the port for good. Every record of the reader has been
    // handed to the host when this returns. The stop event must be set before.
    void Stop();
    bool IsOpen() const;
    // While a port that opens slowly (a connection) is being opened, waits until that ends;
    // true when the port is open then. Any thread but the owner's.
    bool AwaitConnection();
    bool Connecting() const { return ConnectingNow; }
    // Closes the port and opens it again with the port's part of the settings (unless the
    // user closed it).
    void Reconfigure(const TTerminalSettings& settings);
    // The user lets the port go (for another program): closed, and nothing (a send, the
    // reconnect) opens it again before Reopen. The owner's thread only.
    void Close();
    bool Reopen();
    // Writes and reports the bytes written as a record of that kind; any thread.
    void Write(std::string_view bytes, TTrafficKind kind);
    bool SetModemOutput(TModemOutput line, bool on);
    bool SendBreak(std::chrono::milliseconds duration);
    // A record of the port's own (an error, a note); any thread.
    void Report(TTrafficKind kind, std::string_view text);

    // A bridge: the bytes this reader reads are written to the other reader's port as they are
    // read (each packet whole, where the port cannot hand out what it reads), before they are
    // recorded. Set before the first Open; the owner's thread.
    void ForwardTo(TPortReader& other) { ForwardTarget = &other; }
    // Writes bytes read on the other port of a bridge, without a record of their own (the
    // packet's record is the other port's). Bytes that find this port closed, or a virtual
    // port without its application, are dropped and counted; once the port takes bytes
    // again, one Info record says how many were not passed on. Any thread.
    void Forward(std::string_view bytes);
    // What an application set on this (virtual) port: the reader thread hands it over.
    using TPeerLineHandler = std::function<void(const TLineSettings& line)>;
    void OnPeerLine(TPeerLineHandler handler) { PeerLineHandler = std::move(handler); }
    // The rate, stop bits and flow control an application set on the other port of a bridge,
    // applied to this port (and kept for its reopenings); one Info record per change.
    void ApplyPeerLine(const TLineSettings& line);
    // Reports the bytes that were not passed on, if any (and not reported yet).
    void ReportUnforwarded();
    // Two ports: the records of both go to the host in the order their packets began. Set
    // before the first Open; the owner's thread.
    void OrderRecordsBy(TPacketOrder& order) { Order = &order; }
    // "COM 1: No such file or directory": how a failure of the port reads.
    std::string FailureText(int error, const std::string& detail = {}) const;

  private:
    // Ends the reader and lets go of the port.
    void ReleasePort();
    std::unique_ptr<TTrafficRecord> MakeRecord(TTrafficKind kind, std::string_view text) const;
    // A reader without a port waits for it; with openFirst it opens it at once (a port that
    // opens slowly is opened there, not on the owner's thread).
    void StartReader(std::shared_ptr<TPort> port, bool openFirst = false);
    void ReaderMain(std::shared_ptr<TPort> port, bool openFirst);
    // Reads packets until the engine stops (true) or the line fails (false).
    bool ReadLoop(const std::shared_ptr<TPort>& port);
    // Opens the port if nobody has; reports "открыт" on success. Failures are reported when
    // reportFailure says so. The port, or null.
    std::shared_ptr<TPort> OpenPort(bool reportFailure);
    void ClosePortAfterFailure(int error, const std::string& detail);
    // Reader thread: the port's notices as records.
    void TakeNotices(TPort& port);
    // Reader thread: reports the input lines when they differ from the last report, and bytes
    // the driver dropped since the last look as one Error record.
    void WatchLineStatus(TPort& port);
    void ReportModemLines(std::optional<TModemLines> lines);
    std::shared_ptr<TPort> CurrentPort() const;

    TTerminalHost& Host;
    TTerminalSettings Config;
    TEvent& StopEvent;
    const TPortOpener Opener;
    const TPacketHandler OnPacket;
    const TTrafficSource Source;
    mutable std::mutex PortMutex; // guards Port only, never held while blocking
    std::shared_ptr<TPort> Port;
    std::mutex WriteMutex;               // one write at a time, with its record
    std::thread ReaderThread;            // touched by the owner's thread only
    std::atomic<bool> ReaderDone{false}; // the reader has ended (no reconnect, or stopped)
    std::atomic<bool> Restarting{false}; // Reconfigure asks the reader to let go
    std::atomic<bool> ClosedByUser{false};
    std::atomic<bool> ConnectingNow{false}; // the reader opens a slow port the owner asked for
    std::mutex OpenMutex; // one open attempt at a time; guards Config.Line after start-up
    TEvent PortOpened;    // a write opened the port while the reader waited
    TEvent OpenCancel;    // ends an opening in progress when the port is let go
    std::optional<TModemLines> ReportedModemLines;      // reader thread only
    std::optional<uint64_t> LostBytesSeen;              // reader thread only
    std::optional<bool> PeerSeen;                       // reader thread only
    std::optional<int32_t> ConfirmedRateSeen;           // reader thread only
    std::chrono::steady_clock::time_point NextLineLook; // reader thread only
    TPortReader* ForwardTarget = nullptr;               // set before the reader starts
    TPacketOrder* Order = nullptr;                      // set before the reader starts
    TPeerLineHandler PeerLineHandler;                   // set before the reader starts
    std::optional<TLineSettings> PeerLine;              // guarded by OpenMutex
    // A virtual port's application has closed its side; any thread reads it.
    std::atomic<bool> PeerAbsent{false};
    std::atomic<uint64_t> Unforwarded{0}; // bytes dropped since the port last took any
};

} // namespace vemla
