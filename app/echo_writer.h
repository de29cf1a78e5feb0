#pragma once

#include "platform/event.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace vemla {

// Copies the echoed traffic lines to a descriptor (standard output) on a thread of its own,
// so that a reader that stalls or goes away never holds up the program. Lines that do not
// fit the bounded queue, or come after the reader has gone, are dropped and counted; the
// log files still get them.
class TEchoWriter {
  public:
    using TClock = std::chrono::steady_clock;

    explicit TEchoWriter(int fd, int errorFd, size_t queueLimit = size_t{1} << 20);
    // Gives the queued lines up to two seconds to get out, then reports any drops once on
    // errorFd.
    ~TEchoWriter();
    TEchoWriter(const TEchoWriter&) = delete;
    TEchoWriter& operator=(const TEchoWriter&) = delete;

    // Never blocks.
    void Write(std::string line);
    uint64_t DroppedLines() const;

  private:
    void Run();
    // Writes one line, waiting for the descriptor at most until the deadline (if stopping);
    // false when the line could not be written whole.
    bool WriteLine(const std::string& line);

    const int Fd;
    const int ErrorFd;
    const size_t QueueLimit;
    mutable std::mutex Mutex;
    std::condition_variable Ready;
    std::deque<std::string> Queue; // guarded by Mutex
    size_t QueuedBytes = 0;        // guarded by Mutex
    uint64_t Dropped = 0;          // guarded by Mutex
    bool Stopping = false;         // guarded by Mutex
    // Only the writer thread touches these two.
    bool Broken = false; // the reader is gone
    TClock::time_point StopDeadline = TClock::time_point::max();
    TEvent Wake;
    std::thread Thread;
};

} // namespace vemla
