#include "platform/descriptor_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vemla {
namespace {

using TClock = std::chrono::steady_clock;
using TNanoseconds = std::chrono::nanoseconds;

// Polls the line with the stop event and the purge event; a negative timeout waits forever.
struct TPollOutcome {
    bool Ready = false;
    bool Hangup = false;
    bool Stopped = false;
    bool Aborted = false;
};

TPollOutcome PollLine(int fd, short events, const TEvent* stop, const TEvent& abort,
                      TNanoseconds timeout) {
    pollfd fds[3] = {{fd, events, 0}, {abort.Handle(), POLLIN, 0}, {-1, POLLIN, 0}};
    if (stop) fds[2].fd = stop->Handle();
    timespec ts{};
    timespec* tsp = nullptr;
    if (timeout.count() >= 0) {
        ts.tv_sec = static_cast<time_t>(timeout.count() / 1'000'000'000);
        ts.tv_nsec = static_cast<long>(timeout.count() % 1'000'000'000);
        tsp = &ts;
    }
    TPollOutcome outcome;
    int n = ppoll(fds, 3, tsp, nullptr);
    if (n <= 0) return outcome;
    outcome.Stopped = fds[2].revents & POLLIN;
    outcome.Aborted = fds[1].revents & POLLIN;
    outcome.Hangup = fds[0].revents & (POLLHUP | POLLERR | POLLNVAL);
    outcome.Ready = !outcome.Hangup && (fds[0].revents & events);
    return outcome;
}

TNanoseconds Milliseconds(uint64_t ms) {
    return std::chrono::milliseconds(ms);
}

} // namespace

int TDescriptorIo::TakeAhead(char* buffer, int count) {
    size_t taken = std::min(AheadEnd - AheadBegin, static_cast<size_t>(std::max(count, 0)));
    std::memcpy(buffer, Ahead.get() + AheadBegin, taken);
    AheadBegin += taken;
    if (AheadBegin == AheadEnd) AheadBegin = AheadEnd = 0;
    return static_cast<int>(taken);
}

long TDescriptorIo::FillAhead() {
    if (AheadBegin > 0 && AheadEnd == AheadSize) {
        std::memmove(Ahead.get(), Ahead.get() + AheadBegin, AheadEnd - AheadBegin);
        AheadEnd -= AheadBegin;
        AheadBegin = 0;
    }
    if (AheadEnd == AheadSize) return 0;
    ssize_t n = read(Fd, Ahead.get() + AheadEnd, AheadSize - AheadEnd);
    Drained = n < static_cast<ssize_t>(AheadSize - AheadEnd);
    if (n == 0 && Kind == TKind::Socket) {
        errno = ECONNRESET;
        return -1;
    }
    if (n > 0 && Filter) n = static_cast<ssize_t>(Filter(Ahead.get() + AheadEnd, size_t(n)));
    if (n > 0) {
        if (Tap) Tap(std::string_view(Ahead.get() + AheadEnd, static_cast<size_t>(n)));
        AheadEnd += static_cast<size_t>(n);
        if (Kind == TKind::Socket) LastBytes = TClock::now(); // only a socket's waits ask
    }
    return n;
}

TDescriptorIo::TWaitResult TDescriptorIo::WaitForReceive(const TEvent& stop,
                                                         std::chrono::milliseconds timeout) {
    DropAheadIfPurged();
    if (AheadEnd > AheadBegin) return TWaitResult::Received;
    if (Kind == TKind::Socket && TClock::now() - LastBytes < FloodSpacing)
        std::this_thread::sleep_for(FloodGathering);
    const bool forever = timeout.count() < 0;
    const auto deadline = TClock::now() + timeout;
    for (;;) {
        TNanoseconds left =
            forever ? TNanoseconds(-1) : std::max(TNanoseconds(0), deadline - TClock::now());
        TPollOutcome outcome = PollLine(Fd, POLLIN, &stop, Abort, left);
        if (outcome.Stopped) return TWaitResult::Stopped;
        if (outcome.Aborted) {
            Abort.Reset();
            return TWaitResult::Received;
        }
        // A line that hung up with bytes still queued delivers them first.
        if (outcome.Ready || (outcome.Hangup && QueuedBytes() > 0)) return TWaitResult::Received;
        if (outcome.Hangup) {
            LineError = EIO;
            return TWaitResult::Failed;
        }
        if (!forever && TClock::now() >= deadline) return TWaitResult::TimedOut;
    }
}

int TDescriptorIo::Read(char* buffer, int count, const TEvent& stop) {
    if (count <= 0) return 0;
    const uint32_t interval = Timeouts.ReadIntervalTimeout;
    const uint32_t multiplier = Timeouts.ReadTotalTimeoutMultiplier;
    const uint32_t constant = Timeouts.ReadTotalTimeoutConstant;
    constexpr uint32_t Max = TCommTimeouts::MaxValue;
    const bool returnAtOnce = interval == Max && multiplier == 0 && constant == 0;
    const bool returnOnAny =
        interval == Max && multiplier == Max && constant != 0 && constant != Max;
    const bool useInterval = interval != 0 && interval != Max;
    bool hasTotal = multiplier != 0 || constant != 0;
    uint64_t totalMs = returnOnAny ? constant : uint64_t{multiplier} * uint64_t(count) + constant;

    LineError = 0;
    DropAheadIfPurged();
    const auto start = TClock::now();
    auto lastByte = start;
    int got = TakeAhead(buffer, count);
    if (got == count || (returnOnAny && got > 0)) return got;
    for (;;) {
        ssize_t n = FillAhead();
        if (n > 0) {
            got += TakeAhead(buffer + got, count - got);
            lastByte = TClock::now();
            if (got == count || (returnOnAny && got > 0)) return got;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            LineError = errno;
            return got;
        }
        if (returnAtOnce) return got;
        auto now = TClock::now();
        TNanoseconds wait(-1);
        if (hasTotal) wait = start + Milliseconds(totalMs) - now;
        if (useInterval && got > 0) {
            TNanoseconds intervalLeft = lastByte + Milliseconds(interval) - now;
            wait = wait.count() < 0 ? intervalLeft : std::min(wait, intervalLeft);
        }
        if (wait.count() == 0 || (wait.count() < 0 && (hasTotal || (useInterval && got > 0))))
            return got;
        TPollOutcome outcome = PollLine(Fd, POLLIN, &stop, Abort, wait);
        if (outcome.Aborted) Abort.Reset();
        if (outcome.Stopped || outcome.Aborted) return got;
        if (outcome.Hangup) {
            LineError = EIO;
            return got;
        }
    }
}

int TDescriptorIo::Write(const char* data, int count, const TEvent* stop) {
    if (count <= 0) return 0;
    const uint64_t multiplier = Timeouts.WriteTotalTimeoutMultiplier;
    const uint64_t constant = Timeouts.WriteTotalTimeoutConstant;
    const bool hasTotal = multiplier != 0 || constant != 0;
    const auto deadline = TClock::now() + Milliseconds(multiplier * uint64_t(count) + constant);
    int done = 0;
    while (done < count) {
        const size_t left = static_cast<size_t>(count - done);
        ssize_t n = Kind == TKind::Socket ? send(Fd, data + done, left, MSG_NOSIGNAL)
                                          : write(Fd, data + done, left);
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            LineError = errno;
            break;
        }
        TNanoseconds wait = hasTotal ? deadline - TClock::now() : TNanoseconds(-1);
        if (hasTotal && wait.count() <= 0) break;
        TPollOutcome outcome = PollLine(Fd, POLLOUT, stop, Abort, wait);
        if (outcome.Aborted) Abort.Reset();
        if (outcome.Aborted || outcome.Stopped) break;
        if (outcome.Hangup) {
            LineError = EIO;
            break;
        }
    }
    return done;
}

int TDescriptorIo::ReadQueued(char* buffer, int count) {
    DropAheadIfPurged();
    int got = TakeAhead(buffer, count);
    // What the driver holds is read whole (it may be more than asked; the rest stays ahead).
    // A tty is asked first: a read that finds nothing makes its layer wait for its worker. A
    // socket that the last read emptied is not read again at once: in a flood of small
    // segments that read would find nothing nearly always, and a system call is what a
    // segment costs most.
    int driverQueue = 0;
    const bool mayHold = Kind == TKind::Socket
                             ? !Drained
                             : ioctl(Fd, FIONREAD, &driverQueue) == 0 && driverQueue > 0;
    if (got < count && mayHold && FillAhead() > 0) got += TakeAhead(buffer + got, count - got);
    return got;
}

int TDescriptorIo::QueuedBytes() const {
    int queued = 0;
    if (ioctl(Fd, FIONREAD, &queued) != 0) queued = 0;
    return queued + static_cast<int>(AheadEnd - AheadBegin);
}

void TDescriptorIo::Purge() {
    AheadPurged = true;
    Abort.Set();
}

void TDescriptorIo::Pause(std::chrono::milliseconds duration, const TEvent& stop) {
    PollLine(-1, 0, &stop, Abort, duration);
}

} // namespace vemla
