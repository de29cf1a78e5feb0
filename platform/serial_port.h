#pragma once

#include "platform/port.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vemla {

// "BaudRate = 0" for the first setting outside its range, empty when all are valid.
std::string InvalidLineSetting(const TLineSettings& settings);
// The path of port number n: /dev/ttyS<n-1> on POSIX, \\.\COM<n> on Windows.
std::string SerialPortPath(int32_t number);

// Where a serial port was refused for want of permission: what the user can do, in CP1251.
struct TPermissionFacts {
    std::string Group;          // the group that owns the device ("dialout"), empty if unknown
    bool AlreadyMember = false; // the user is in that group, but this session predates it
    bool Sandboxed = false;     // a Flatpak sandbox, which shows no devices unless allowed
};
std::string PermissionAdvice(const TPermissionFacts& facts);

// An open serial line: exclusive and raw, with every capability of a port. Each operating
// system has its own file behind this class (termios on POSIX, the communications API on
// Windows); the time-out rules are the same on both.
class TSerialPort final : public TPort {
  public:
    using TOpenResult = TPortOpenResult;
    static TOpenResult Open(const std::string& path, const TLineSettings& settings,
                            const TCommTimeouts& timeouts);

    // What an open line holds; each system's file defines it. Open is the way to get one.
    struct TState;
    explicit TSerialPort(std::unique_ptr<TState> state);
    ~TSerialPort() override;
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    TWaitResult
    WaitForReceive(const TEvent& stop,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(-1)) override;
    int Read(char* buffer, int count, const TEvent& stop) override;
    int ReadQueued(char* buffer, int count) override;
    int Write(const char* data, int count, const TEvent* stop = nullptr) override;
    // Those read ahead plus the driver's queue.
    int QueuedBytes() const override;
    void Purge() override;
    int LastError() const override;
    std::optional<TModemLines> ModemLines() const override;
    // Receiver and buffer overruns.
    std::optional<uint64_t> LostBytes() const override;
    bool SetModemOutput(TModemOutput line, bool on) override;
    int SendBreak(std::chrono::milliseconds duration, const TEvent& stop) override;
    int SetLine(const TLineSettings& settings) override;
    bool TapReads(TReadTap tap) override;

  private:
    std::unique_ptr<TState> State;
};

} // namespace vemla
