#include "platform/descriptor_io.h"
#include "platform/serial_baud_linux.h"
#include "platform/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vemla {
namespace {

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

bool IsPseudoTerminal(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    unsigned major = major(info.st_rdev);
    return major >= 136 && major <= 143;
}

} // namespace

std::string SerialPortPath(int32_t number) {
    return "/dev/ttyS" + std::to_string(static_cast<int64_t>(number) - 1);
}

struct TSerialPort::TState {
    TState(int fd, const TCommTimeouts& timeouts) : Fd(fd), Io(fd, timeouts) {}
    ~TState() { close(Fd); }
    int Fd;
    TDescriptorIo Io;
};

namespace {

// The rate and frame; 0, or the system's error number.
int ApplyLine(int fd, const TLineSettings& settings) {
    termios tio = Framing(settings);
    speed_t speed = StandardSpeed(settings.BaudRate);
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        // A pseudo-terminal has no parity; the C library reports the dropped bit as EINVAL.
        if (errno != EINVAL || !IsPseudoTerminal(fd)) return errno;
        tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        if (tcsetattr(fd, TCSANOW, &tio) != 0) return errno;
    }
    return speed == B0 ? SetArbitraryBaudRate(fd, settings.BaudRate) : 0;
}

TPermissionFacts PermissionFactsOf(const std::string& path) {
    TPermissionFacts facts;
    facts.Sandboxed = access("/.flatpak-info", F_OK) == 0;
    struct stat device {};
    if (stat(path.c_str(), &device) != 0) return facts;
    group entry{}, *found = nullptr;
    char buffer[4096];
    if (getgrgid_r(device.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        facts.Group = found->gr_name;
    // In the group's list but not in this process's groups: joined after this session began.
    for (char** member = found ? found->gr_mem : nullptr; member && *member; ++member) {
        passwd user{}, *me = nullptr;
        char names[4096];
        if (getpwuid_r(getuid(), &user, names, sizeof names, &me) == 0 && me &&
            std::strcmp(*member, me->pw_name) == 0)
            facts.AlreadyMember = true;
    }
    return facts;
}

} // namespace

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
        // The most common first-day failure: the user is not in the port's group.
        if (result.Error == EACCES) result.Detail = PermissionAdvice(PermissionFactsOf(path));
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
    if (int error = ApplyLine(fd, settings); error != 0) return fail(error);
    ApplyModemLines(fd, settings);
    tcflush(fd, TCIOFLUSH);
    auto state = std::make_unique<TState>(fd, timeouts);
    // A port whose waits nothing could wake is refused.
    if (int error = state->Io.CreationError(); error != 0) {
        result.Error = error;
        return result;
    }
    result.Port = std::make_unique<TSerialPort>(std::move(state));
    return result;
}

TSerialPort::TSerialPort(std::unique_ptr<TState> state) : State(std::move(state)) {}

TSerialPort::~TSerialPort() = default;

int TSerialPort::LastError() const {
    return State->Io.LastError();
}

TSerialPort::TWaitResult TSerialPort::WaitForReceive(const TEvent& stop,
                                                     std::chrono::milliseconds timeout) {
    return State->Io.WaitForReceive(stop, timeout);
}

int TSerialPort::Read(char* buffer, int count, const TEvent& stop) {
    return State->Io.Read(buffer, count, stop);
}

int TSerialPort::ReadQueued(char* buffer, int count) {
    return State->Io.ReadQueued(buffer, count);
}

int TSerialPort::Write(const char* data, int count, const TEvent* stop) {
    return State->Io.Write(data, count, stop);
}

int TSerialPort::QueuedBytes() const {
    return State->Io.QueuedBytes();
}

void TSerialPort::Purge() {
    tcflush(State->Fd, TCIOFLUSH);
    State->Io.Purge();
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

bool TSerialPort::TapReads(TReadTap tap) {
    State->Io.SetTap(std::move(tap));
    return true;
}

int TSerialPort::SetLine(const TLineSettings& settings) {
    if (std::string problem = InvalidLineSetting(settings); !problem.empty()) return EINVAL;
    return ApplyLine(State->Fd, settings);
}

int TSerialPort::SendBreak(std::chrono::milliseconds duration, const TEvent& stop) {
    if (ioctl(State->Fd, TIOCSBRK) != 0) return errno;
    // The stop event or a purge (the port is being let go) cuts the break short; the purge's
    // event stays set for the wait or read it is meant for.
    State->Io.Pause(duration, stop);
    return ioctl(State->Fd, TIOCCBRK) == 0 ? 0 : errno;
}

} // namespace vemla
