#pragma once

#include "platform/event.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

// "BaudRate = 0" for the first setting outside its range, empty when all are valid.
std::string InvalidLineSetting(const TLineSettings& settings);
// The path of port number n: /dev/ttyS<n-1> on POSIX, \\.\COM<n> on Windows.
std::string SerialPortPath(int32_t number);

// An open serial line: exclusive, raw, and every blocking call also wakes on a stop event and
// on Purge. Each operating system has its own file behind this interface (termios on POSIX,
// the communications API on Windows); the time-out rules are the same on both.
class TSerialPort {
  public:
    struct TOpenResult {
        std::unique_ptr<TSerialPort> Port;
        int Error = 0;      // the system's error number of the failed step
        std::string Detail; // what was wrong when the settings themselves were refused
    };
    static TOpenResult Open(const std::string& path, const TLineSettings& settings,
                            const TCommTimeouts& timeouts);

    // What an open line holds; each system's file defines it. Open is the way to get one.
    struct TState;
    explicit TSerialPort(std::unique_ptr<TState> state);
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    enum class TWaitResult { Received, Stopped, Failed, TimedOut };
    // Waits for a received byte, the stop event, or a hang-up of the line; a negative
    // timeout waits for ever.
    TWaitResult WaitForReceive(const TEvent& stop,
                               std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

    // Reads up to count bytes under the read time-outs; returns the count read.
    int Read(char* buffer, int count, const TEvent& stop);
    // Takes up to count bytes of what the line has already delivered, without waiting.
    int ReadQueued(char* buffer, int count);
    // Writes under the write time-outs, ending early when stop is set; returns the count
    // written.
    int Write(const char* data, int count, const TEvent* stop = nullptr);
    // Bytes received and not read yet: those read ahead plus the driver's queue.
    int QueuedBytes() const;
    // Drops both queues and wakes a pending wait, read or write. Any thread may call it.
    void Purge();

    // The input lines, or nothing when the driver has no modem lines (a pseudo-terminal).
    std::optional<TModemLines> ModemLines() const;
    // Received bytes the driver had to drop so far (receiver and buffer overruns), or nothing
    // when it does not count them.
    std::optional<uint64_t> LostBytes() const;
    // Switches DTR or RTS; false when the driver has no modem lines.
    bool SetModemOutput(TModemOutput line, bool on);
    // Holds the line in the break state for the duration, or until stop is set; 0 or the
    // system's error number.
    int SendBreak(std::chrono::milliseconds duration, const TEvent& stop);

    // The system's error number of the last failure the line reported (a hang-up on POSIX
    // gives EIO).
    int LastError() const;

  private:
    std::unique_ptr<TState> State;
};

} // namespace vemla
