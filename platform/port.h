#pragma once

#include "platform/event.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// The line settings as the ini file gives them (the Win32 DCB values).
struct TLineSettings {
    int32_t BaudRate = 9600;
    int32_t ByteSize = 8;
    int32_t Parity = 3;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t StopBits = 0;   // 0 one, 1 one and a half (two on POSIX), 2 two
    int32_t DtrControl = 0; // 0 off, 1 on, 2 handshake (on, on POSIX)
    int32_t RtsControl = 0; // 0 off, 1 on, 2 RTS/CTS handshake, 3 toggle (RS-485 where offered)
};

// The Win32 COMMTIMEOUTS rules, in milliseconds.
struct TCommTimeouts {
    static constexpr uint32_t MaxValue = 0xFFFFFFFFu;
    uint32_t ReadIntervalTimeout = 20;
    uint32_t ReadTotalTimeoutMultiplier = 25;
    uint32_t ReadTotalTimeoutConstant = 300;
    uint32_t WriteTotalTimeoutMultiplier = 100;
    uint32_t WriteTotalTimeoutConstant = 100;
};

// The modem input lines, as a lamp shows them: true is on.
struct TModemLines {
    bool Cts = false;
    bool Dsr = false;
    bool Dcd = false;
    bool Ri = false;
    bool operator==(const TModemLines&) const = default;
};

enum class TModemOutput { Dtr, Rts };

// Something the port learned or has to say beside the data, for a record of its level.
struct TPortNotice {
    enum class TLevel { Info, Warning, Error };
    TLevel Level = TLevel::Info;
    std::string Text;
};

// An open port: anything that carries bytes both ways. Packets are framed by silence the same
// way on every kind (the read time-outs); every blocking call also wakes on a stop event and
// on Purge. Modem lines, the driver's loss count and break are capabilities a kind may lack:
// their calls then say so (nothing, false, ErrorNotOffered) and callers check.
// Calls come from the reader thread (waits and reads) and, one at a time, from writers;
// Purge from any thread.
class TPort {
  public:
    virtual ~TPort() = default;

    enum class TWaitResult { Received, Stopped, Failed, TimedOut };
    // Waits for a received byte, the stop event, or a hang-up of the line; a negative
    // timeout waits for ever.
    virtual TWaitResult
    WaitForReceive(const TEvent& stop,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(-1)) = 0;
    // Reads up to count bytes under the read time-outs; returns the count read.
    virtual int Read(char* buffer, int count, const TEvent& stop) = 0;
    // Takes up to count bytes of what the line has already delivered, without waiting.
    virtual int ReadQueued(char* buffer, int count) = 0;
    // Writes under the write time-outs, ending early when stop is set; returns the count
    // written.
    virtual int Write(const char* data, int count, const TEvent* stop = nullptr) = 0;
    // Bytes received and not read yet.
    virtual int QueuedBytes() const = 0;
    // Drops both queues (of this side: a network server keeps its own) and wakes a pending
    // wait, read or write.
    virtual void Purge() = 0;
    // The system's error number of the last failure the line reported (a hang-up on POSIX
    // gives EIO).
    virtual int LastError() const = 0;

    // The input lines, or nothing when the port has no modem lines.
    virtual std::optional<TModemLines> ModemLines() const { return std::nullopt; }
    // Received bytes the driver had to drop so far, or nothing when it does not count them.
    virtual std::optional<uint64_t> LostBytes() const { return std::nullopt; }
    // Switches DTR or RTS; false when the port has no modem lines.
    virtual bool SetModemOutput(TModemOutput, bool) { return false; }
    // Holds the line in the break state for the duration, or until stop is set; 0 or the
    // system's error number.
    virtual int SendBreak(std::chrono::milliseconds, const TEvent&);
    // New line settings for the open port (its modem lines stay as they are): 0, or the
    // system's error number; ErrorNotOffered where the kind has no line of its own.
    virtual int SetLine(const TLineSettings&);
    // The rate, stop bits and flow control an application set on a virtual port, once per
    // change since the last call: what a bridge passes on to the device's port.
    virtual std::optional<TLineSettings> TakePeerLine() { return std::nullopt; }
    // Hands every chunk the port reads to tap at once, before the time-outs frame it into
    // packets (a bridge passes bytes on without waiting for a packet's end). Set on the
    // reader thread before it reads; false where the kind cannot.
    using TReadTap = std::function<void(std::string_view bytes)>;
    virtual bool TapReads(TReadTap) { return false; }
    // What the port learned of its far side since the last call (the settings an application
    // gave a virtual port, a server that did not confirm a command); the reader thread asks
    // after each read and while the line is quiet.
    virtual std::vector<TPortNotice> TakeNotices() { return {}; }
    // The rate the far end confirmed it runs at, where it says (a network server).
    virtual std::optional<int32_t> ConfirmedRate() const { return std::nullopt; }
    // What the failure in LastError was, where the port knows more than the error number.
    virtual std::string FailureDetail() const { return {}; }
    // Whether the far side has its end open (an application on a virtual port), or nothing
    // when the kind cannot tell; the reader thread asks while the line is quiet.
    virtual std::optional<bool> PeerPresent() { return std::nullopt; }
};

struct TPortOpenResult {
    std::unique_ptr<TPort> Port;
    int Error = 0;      // the system's error number of the failed step
    std::string Detail; // what was wrong when the settings themselves were refused
};

// Opens the port its spelling names, with these settings: "pty:PATH" is a virtual port (a
// pseudo-terminal whose application side PATH links to); "tcp://", "socket://" and
// "rfc2217://" name a port on another machine; a device path (or the path of a numbered port)
// is a serial line. A spelling that no kind knows is a port that is not there. An opening
// that may take long (a connection) ends early when cancel is set.
TPortOpenResult OpenPort(const std::string& spelling, const TLineSettings& settings,
                         const TCommTimeouts& timeouts, const TEvent* cancel = nullptr);
// Whether opening the port may take long (name resolution, a connection): such a port is
// opened on its reader thread, never on a window's.
bool OpensSlowly(const std::string& spelling);

} // namespace vemla
