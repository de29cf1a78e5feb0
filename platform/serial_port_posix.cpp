#include "platform/serial_baud_linux.h"
#include "platform/serial_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vemla {
namespace {

using TClock = std::chrono::steady_clock;
using TNanoseconds = std::chrono::nanoseconds;

speed_t StandardSpeed(int32_t rate) {
    static constexpr std::pair<int32_t, speed_t> Rates[] = {
        {50, B50},         {75, B75},         {110, B110},        {134, B134},
        {150, B150},       {200, B200},       {300, B300},        {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (auto [value, speed] : Rates)
        if (value == rate) return speed;
    return B0;
}

// The whole line state from zero: no input or output processing, no parity checking, no
// XON/XOFF, no special characters; nothing a previous program left on the line survives.
termios Framing(const TLineSettings& s) {
    termios tio{};
    tio.c_cflag = CLOCAL | CREAD;
    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= Sizes[s.ByteSize - 5];
    switch (s.Parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.StopBits != 0) tio.c_cflag |= CSTOPB; // POSIX has no 1.5: two stop bits instead
    if (s.RtsControl == 2) tio.c_cflag |= CRTSCTS;
    return tio;
}

// Modem lines a pty does not have are refused by the driver; that must not fail the open.
void SetModemLine(int fd, int line, bool on) {
    [[maybe_unused]] int result = ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

void ApplyModemLines(int fd, const TLineSettings& s) {
    SetModemLine(fd, TIOCM_DTR, s.DtrControl != 0);
    if (s.RtsControl == 3) {
        serial_rs485 rs485{};
        rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        if (ioctl(fd, TIOCSRS485, &rs485) == 0) return;
    }
    if (s.RtsControl != 2) SetModemLine(fd, TIOCM_RTS, s.RtsControl != 0);
}

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

bool IsPseudoTerminal(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    unsigned major = major(info.st_rdev);
    return major >= 136 && major <= 143;
}

TNanoseconds Milliseconds(uint64_t ms) {
    return std::chrono::milliseconds(ms);
}

} // namespace

std::string SerialPortPath(int32_t number) {
    return "/dev/ttyS" + std::to_string(static_cast<int64_t>(number) - 1);
}

struct TSerialPort::TState {
    TState(int fd, const TCommTimeouts& timeouts) : Fd(fd), Timeouts(timeouts) {}
    ~TState() { close(Fd); }

    // The reading side takes the line's bytes in large chunks, so a flood costs one system
    // call per chunk, not several per packet; the reads hand them out by the time-out rules.
    static constexpr size_t AheadSize = 64 * 1024;
    int TakeAhead(char* buffer, int count);
    // One non-blocking read of what the driver holds, appended to the bytes read ahead.
    ssize_t FillAhead();
    void DropAheadIfPurged() {
        if (AheadPurged.exchange(false)) AheadBegin = AheadEnd = 0;
    }

    int Fd;
    TCommTimeouts Timeouts;
    TEvent Abort;
    std::atomic<int> LineError{0};
    std::unique_ptr<char[]> Ahead = std::make_unique<char[]>(AheadSize); // reading side only
    size_t AheadBegin = 0, AheadEnd = 0;                                 // reading side only
    std::atomic<bool> AheadPurged{false}; // Purge asks the reading side to drop Ahead
};

TSerialPort::TOpenResult TSerialPort::Open(const std::string& path, const TLineSettings& settings,
                                           const TCommTimeouts& timeouts) {
    TOpenResult result;
    if (std::string problem = InvalidLineSetting(settings); !problem.empty()) {
        result.Error = EINVAL;
        result.Detail = problem;
        return result;
    }
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.Error = errno;
        return result;
    }
    auto fail = [&](int error) {
        close(fd);
        result.Error = error;
        return std::move(result);
    };
    // TIOCEXCL alone does not stop root; the lock does.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    termios previous{};
    if (tcgetattr(fd, &previous) != 0) return fail(errno); // not a terminal at all
    [[maybe_unused]] int exclusive = ioctl(fd, TIOCEXCL);
    termios tio = Framing(settings);
    speed_t speed = StandardSpeed(settings.BaudRate);
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        // A pseudo-terminal has no parity; the C library reports the dropped bit as EINVAL.
        if (errno != EINVAL || !IsPseudoTerminal(fd)) return fail(errno);
        tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        if (tcsetattr(fd, TCSANOW, &tio) != 0) return fail(errno);
    }
    if (speed == B0)
        if (int error = SetArbitraryBaudRate(fd, settings.BaudRate); error != 0) return fail(error);
    ApplyModemLines(fd, settings);
    tcflush(fd, TCIOFLUSH);
    auto state = std::make_unique<TState>(fd, timeouts);
    // A port whose waits nothing could wake is refused.
    if (int error = state->Abort.CreationError(); error != 0) {
        result.Error = error;
        return result;
    }
    result.Port = std::make_unique<TSerialPort>(std::move(state));
    return result;
}

TSerialPort::TSerialPort(std::unique_ptr<TState> state) : State(std::move(state)) {}

TSerialPort::~TSerialPort() = default;

int TSerialPort::LastError() const {
    return State->LineError.load();
}

int TSerialPort::TState::TakeAhead(char* buffer, int count) {
    size_t taken = std::min(AheadEnd - AheadBegin, static_cast<size_t>(std::max(count, 0)));
    std::memcpy(buffer, Ahead.get() + AheadBegin, taken);
    AheadBegin += taken;
    if (AheadBegin == AheadEnd) AheadBegin = AheadEnd = 0;
    return static_cast<int>(taken);
}

ssize_t TSerialPort::TState::FillAhead() {
    if (AheadBegin > 0 && AheadEnd == AheadSize) {
        std::memmove(Ahead.get(), Ahead.get() + AheadBegin, AheadEnd - AheadBegin);
        AheadEnd -= AheadBegin;
        AheadBegin = 0;
    }
    if (AheadEnd == AheadSize) return 0;
    ssize_t n = read(Fd, Ahead.get() + AheadEnd, AheadSize - AheadEnd);
    if (n > 0) AheadEnd += static_cast<size_t>(n);
    return n;
}

TSerialPort::TWaitResult TSerialPort::WaitForReceive(const TEvent& stop,
                                                     std::chrono::milliseconds timeout) {
    State->DropAheadIfPurged();
    if (State->AheadEnd > State->AheadBegin) return TWaitResult::Received;
    const bool forever = timeout.count() < 0;
    const auto deadline = TClock::now() + timeout;
    for (;;) {
        TNanoseconds left =
            forever ? TNanoseconds(-1) : std::max(TNanoseconds(0), deadline - TClock::now());
        TPollOutcome outcome = PollLine(State->Fd, POLLIN, &stop, State->Abort, left);
        if (outcome.Stopped) return TWaitResult::Stopped;
        if (outcome.Aborted) {
            State->Abort.Reset();
            return TWaitResult::Received;
        }
        // A line that hung up with bytes still queued delivers them first.
        if (outcome.Ready || (outcome.Hangup && QueuedBytes() > 0)) return TWaitResult::Received;
        if (outcome.Hangup) {
            State->LineError = EIO;
            return TWaitResult::Failed;
        }
        if (!forever && TClock::now() >= deadline) return TWaitResult::TimedOut;
    }
}

int TSerialPort::Read(char* buffer, int count, const TEvent& stop) {
    if (count <= 0) return 0;
    const uint32_t interval = State->Timeouts.ReadIntervalTimeout;
    const uint32_t multiplier = State->Timeouts.ReadTotalTimeoutMultiplier;
    const uint32_t constant = State->Timeouts.ReadTotalTimeoutConstant;
    constexpr uint32_t Max = TCommTimeouts::MaxValue;
    const bool returnAtOnce = interval == Max && multiplier == 0 && constant == 0;
    const bool returnOnAny =
        interval == Max && multiplier == Max && constant != 0 && constant != Max;
    const bool useInterval = interval != 0 && interval != Max;
    bool hasTotal = multiplier != 0 || constant != 0;
    uint64_t totalMs = returnOnAny ? constant : uint64_t{multiplier} * uint64_t(count) + constant;

    State->LineError = 0;
    State->DropAheadIfPurged();
    const auto start = TClock::now();
    auto lastByte = start;
    int got = State->TakeAhead(buffer, count);
    if (got == count || (returnOnAny && got > 0)) return got;
    for (;;) {
        ssize_t n = State->FillAhead();
        if (n > 0) {
            got += State->TakeAhead(buffer + got, count - got);
            lastByte = TClock::now();
            if (got == count || (returnOnAny && got > 0)) return got;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            State->LineError = errno;
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
        TPollOutcome outcome = PollLine(State->Fd, POLLIN, &stop, State->Abort, wait);
        if (outcome.Aborted) State->Abort.Reset();
        if (outcome.Stopped || outcome.Aborted) return got;
        if (outcome.Hangup) {
            State->LineError = EIO;
            return got;
        }
    }
}

int TSerialPort::Write(const char* data, int count, const TEvent* stop) {
    if (count <= 0) return 0;
    const uint64_t multiplier = State->Timeouts.WriteTotalTimeoutMultiplier;
    const uint64_t constant = State->Timeouts.WriteTotalTimeoutConstant;
    const bool hasTotal = multiplier != 0 || constant != 0;
    const auto deadline = TClock::now() + Milliseconds(multiplier * uint64_t(count) + constant);
    int done = 0;
    while (done < count) {
        ssize_t n = write(State->Fd, data + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            State->LineError = errno;
            break;
        }
        TNanoseconds wait = hasTotal ? deadline - TClock::now() : TNanoseconds(-1);
        if (hasTotal && wait.count() <= 0) break;
        TPollOutcome outcome = PollLine(State->Fd, POLLOUT, stop, State->Abort, wait);
        if (outcome.Aborted) State->Abort.Reset();
        if (outcome.Aborted || outcome.Stopped) break;
        if (outcome.Hangup) {
            State->LineError = EIO;
            break;
        }
    }
    return done;
}

int TSerialPort::ReadQueued(char* buffer, int count) {
    State->DropAheadIfPurged();
    int got = State->TakeAhead(buffer, count);
    // What the driver holds is read whole (it may be more than asked; the rest stays ahead).
    // It is asked first: a read that finds nothing makes the tty layer wait for its worker.
    int driverQueue = 0;
    if (got < count && ioctl(State->Fd, FIONREAD, &driverQueue) == 0 && driverQueue > 0 &&
        State->FillAhead() > 0)
        got += State->TakeAhead(buffer + got, count - got);
    return got;
}

int TSerialPort::QueuedBytes() const {
    int queued = 0;
    if (ioctl(State->Fd, FIONREAD, &queued) != 0) queued = 0;
    return queued + static_cast<int>(State->AheadEnd - State->AheadBegin);
}

void TSerialPort::Purge() {
    tcflush(State->Fd, TCIOFLUSH);
    State->AheadPurged = true;
    State->Abort.Set();
}

std::optional<TModemLines> TSerialPort::ModemLines() const {
    int bits = 0;
    if (ioctl(State->Fd, TIOCMGET, &bits) != 0) return std::nullopt;
    return TModemLines{.Cts = (bits & TIOCM_CTS) != 0,
                       .Dsr = (bits & TIOCM_DSR) != 0,
                       .Dcd = (bits & TIOCM_CAR) != 0,
                       .Ri = (bits & TIOCM_RNG) != 0};
}

std::optional<uint64_t> TSerialPort::LostBytes() const {
    serial_icounter_struct counts{};
    if (ioctl(State->Fd, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    return static_cast<uint64_t>(counts.overrun) + static_cast<uint64_t>(counts.buf_overrun);
}

bool TSerialPort::SetModemOutput(TModemOutput line, bool on) {
    int bit = line == TModemOutput::Dtr ? TIOCM_DTR : TIOCM_RTS;
    return ioctl(State->Fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

int TSerialPort::SendBreak(std::chrono::milliseconds duration, const TEvent& stop) {
    if (ioctl(State->Fd, TIOCSBRK) != 0) return errno;
    // The stop event or a purge (the port is being let go) cuts the break short; the purge's
    // event stays set for the wait or read it is meant for.
    PollLine(-1, 0, &stop, State->Abort, duration);
    return ioctl(State->Fd, TIOCCBRK) == 0 ? 0 : errno;
}

} // namespace vemla
