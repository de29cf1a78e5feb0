#pragma once

#include "platform/port.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace vemla {

// The timed reads and writes of a port on a non-blocking descriptor (POSIX), shared by every
// descriptor-based kind: the Win32 COMMTIMEOUTS rules (interval and total time-outs) on top of
// poll, over a read-ahead buffer, and every wait also wakes on a stop event and on Purge.
// It does not own the descriptor. The reading calls belong to one thread; Write to one
// writer at a time; Purge to any thread.
class TDescriptorIo {
  public:
    using TWaitResult = TPort::TWaitResult;

    // What one read() of the descriptor gave, rewritten in place into the bytes it carries
    // (a pty in packet mode puts a status byte before them); returns their count.
    using TReadFilter = std::function<size_t(char* bytes, size_t count)>;

    // A socket ends where a read finds no bytes (the far side closed it), and a write to a
    // closed one must not raise SIGPIPE; a tty read may find no bytes at any time.
    enum class TKind { Terminal, Socket };

    TDescriptorIo(int fd, const TCommTimeouts& timeouts, TReadFilter filter = {},
                  TKind kind = TKind::Terminal)
        : Fd(fd), Kind(kind), Timeouts(timeouts), Filter(std::move(filter)) {}
    // The system's error number when the event that wakes the waits could not be made.
    int CreationError() const { return Abort.CreationError(); }

    TWaitResult WaitForReceive(const TEvent& stop, std::chrono::milliseconds timeout);
    int Read(char* buffer, int count, const TEvent& stop);
    int ReadQueued(char* buffer, int count);
    int Write(const char* data, int count, const TEvent* stop);
    // Read ahead plus what the driver holds.
    int QueuedBytes() const;
    // Drops what was read ahead (the reading side does so at its next call) and wakes a
    // pending wait; the caller flushes the driver's own queues.
    void Purge();
    // Waits for the duration, or until stop is set or a purge comes (whose wake-up stays for
    // the wait or read it is meant for).
    void Pause(std::chrono::milliseconds duration, const TEvent& stop);
    int LastError() const { return LineError.load(); }
    // Every chunk read goes to the tap first (reading side only).
    void SetTap(TPort::TReadTap tap) { Tap = std::move(tap); }

  private:
    // The reading side takes the line's bytes in large chunks, so a flood costs one system
    // call per chunk, not several per packet; the reads hand them out by the time-out rules.
    static constexpr size_t AheadSize = 64 * 1024;
    // A socket in a flood brings its bytes as many small segments, and waking for each one
    // costs more than the data: a wait that follows bytes by less than FloodSpacing first lets
    // FloodGathering's worth gather. A request after a quiet spell is not delayed, and packets
    // inside a flood are cut by arrival anyway, far finer than any gap a packet ends on.
    static constexpr std::chrono::microseconds FloodSpacing{1000};
    static constexpr std::chrono::microseconds FloodGathering{250};
    int TakeAhead(char* buffer, int count);
    // One non-blocking read of what the driver holds, appended to the bytes read ahead.
    long FillAhead();
    void DropAheadIfPurged() {
        if (AheadPurged.exchange(false)) AheadBegin = AheadEnd = 0;
    }

    const int Fd;
    const TKind Kind;
    const TCommTimeouts Timeouts;
    const TReadFilter Filter;
    TPort::TReadTap Tap; // reading side only
    TEvent Abort;
    std::atomic<int> LineError{0};
    std::unique_ptr<char[]> Ahead = std::make_unique<char[]>(AheadSize); // reading side only
    size_t AheadBegin = 0, AheadEnd = 0;                                 // reading side only
    bool Drained = false; // the last read took all the driver had; reading side only
    std::chrono::steady_clock::time_point LastBytes{}; // a socket's last read; reading side only
    std::atomic<bool> AheadPurged{false};              // Purge asks the reading side to drop Ahead
};

} // namespace vemla
