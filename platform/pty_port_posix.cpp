#include "platform/pty_port.h"

#include "platform/descriptor_io.h"
#include "platform/messages.h"
#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vemla {
namespace {

constexpr std::string_view Prefix = "pty:";

constexpr std::pair<speed_t, int32_t> Rates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

int32_t RateOf(speed_t speed) {
    for (auto [value, rate] : Rates)
        if (value == speed) return rate;
    return 0;
}

// The configured rate, as far as termios names it: what the application reads back before
// it sets its own.
speed_t SpeedOf(int32_t rate) {
    for (auto [value, known] : Rates)
        if (known == rate) return value;
    return B9600;
}

// "9600 8N1 RTS/CTS": what the application set, as far as a pty carries it.
std::string SettingsText(const termios& t) {
    static constexpr std::pair<tcflag_t, char> Sizes[] = {{CS5, '5'}, {CS6, '6'}, {CS7, '7'}};
    char bits = '8';
    for (auto [size, digit] : Sizes)
        if ((t.c_cflag & CSIZE) == size) bits = digit;
    char parity = 'N';
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        parity = (t.c_cflag & CMSPAR) ? (odd ? 'M' : 'S') : (odd ? 'O' : 'E');
    }
    int32_t rate = RateOf(cfgetospeed(&t));
    std::string text = (rate > 0 ? std::to_string(rate) : std::string("?")) + " " + bits + parity +
                       ((t.c_cflag & CSTOPB) ? "2" : "1");
    if (t.c_cflag & CRTSCTS) text += " RTS/CTS";
    if (t.c_iflag & IXON) text += " XON/XOFF";
    return text;
}

class TPtyPort final : public TPort {
  public:
    TPtyPort(int master, int slave, std::string link, std::string slavePath,
             const TCommTimeouts& timeouts)
        : Master(master), Slave(slave), Link(std::move(link)), SlavePath(std::move(slavePath)),
          Io(master, timeouts, [this](char* bytes, size_t count) { return Unpack(bytes, count); }) {
        // Who opens and closes the application's side, vemla's own handle aside: the system
        // tells a watch on the device's node. Without one vemla cannot tell.
        Openings = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (Openings >= 0 && inotify_add_watch(Openings, SlavePath.c_str(),
                                               IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
            close(Openings);
            Openings = -1;
        }
    }
    ~TPtyPort() override {
        // Only a link that is still ours goes: someone may have put another one there since.
        char target[4096];
        ssize_t n = readlink(Link.c_str(), target, sizeof target);
        if (n > 0 && SlavePath == std::string_view(target, static_cast<size_t>(n)))
            unlink(Link.c_str());
        if (Openings >= 0) close(Openings);
        close(Slave);
        close(Master);
    }

    TWaitResult WaitForReceive(const TEvent& stop, std::chrono::milliseconds timeout) override {
        return Io.WaitForReceive(stop, timeout);
    }
    int Read(char* buffer, int count, const TEvent& stop) override {
        return Io.Read(buffer, count, stop);
    }
    int ReadQueued(char* buffer, int count) override { return Io.ReadQueued(buffer, count); }
    int Write(const char* data, int count, const TEvent* stop) override {
        return Io.Write(data, count, stop);
    }
    int QueuedBytes() const override { return Io.QueuedBytes(); }
    void Purge() override { Io.Purge(); }
    int LastError() const override { return Io.LastError(); }
    // A pty has no break: it is taken and dropped, as the driver does with one.
    int SendBreak(std::chrono::milliseconds, const TEvent&) override { return 0; }
    std::vector<TPortNotice> TakeNotices() override { return std::exchange(Notices, {}); }
    std::optional<TLineSettings> TakePeerLine() override { return std::exchange(PeerLine, {}); }
    bool TapReads(TReadTap tap) override {
        Io.SetTap(std::move(tap));
        return true;
    }
    std::optional<bool> PeerPresent() override {
        if (Openings < 0) return std::nullopt;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = read(Openings, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->mask & IN_OPEN) ++Openers;
                if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && Openers > 0) --Openers;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return Openers > 0;
    }

  private:
    // In packet mode every read of the master starts with a status byte: 0 before data, or
    // the news that the application changed the line settings.
    size_t Unpack(char* bytes, size_t count) {
        const auto status = static_cast<unsigned char>(bytes[0]);
        if (status == TIOCPKT_DATA) {
            std::memmove(bytes, bytes + 1, count - 1);
            return count - 1;
        }
        if (status & TIOCPKT_IOCTL) NoteSettings();
        return 0;
    }
    void NoteSettings() {
        termios t{};
        if (tcgetattr(Slave, &t) != 0) return;
        std::string text = SettingsText(t);
        if (text == LastSettings) return;
        LastSettings = text;
        TLineSettings line;
        line.BaudRate = RateOf(cfgetospeed(&t));
        line.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
        line.RtsControl = (t.c_cflag & CRTSCTS) ? 2 : 0;
        if (line.BaudRate > 0) PeerLine = line;
        Notices.push_back(
            {TPortNotice::TLevel::Info, MessageText(TMessage::ApplicationSet, {text})});
    }

    const int Master, Slave;
    const std::string Link, SlavePath;
    TDescriptorIo Io;
    int Openings = -1;                     // the watch on the application's side
    std::vector<TPortNotice> Notices;      // reader thread only
    std::optional<TLineSettings> PeerLine; // rate, stop bits, flow; reader thread only
    std::string LastSettings;              // reader thread only
    int Openers = 0;                       // reader thread only
};

TPortOpenResult Failed(int error, std::string detail = {}) {
    TPortOpenResult result;
    result.Error = error;
    result.Detail = std::move(detail);
    return result;
}

} // namespace

bool NamesAVirtualPort(std::string_view spelling) {
    return spelling.rfind(Prefix, 0) == 0;
}

TPortOpenResult OpenVirtualPort(const std::string& spelling, const TLineSettings& settings,
                                const TCommTimeouts& timeouts) {
    const std::string link = spelling.substr(Prefix.size());
    if (link.empty()) return Failed(ENOENT);
    // A link (a stale one, say) is replaced; anything else at the path is not vemla's.
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            return Failed(EEXIST, MessageText(TMessage::PtyLinkNotALink));
    } else if (errno != ENOENT) {
        return Failed(errno);
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return Failed(errno);
    auto fail = [&](int error, int slave = -1) {
        if (slave >= 0) close(slave);
        close(master);
        return Failed(error);
    };
    char name[256];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        return fail(errno);
    // vemla's own handle on the application's side: the pty never hangs up under it.
    int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return fail(errno);
    termios t{};
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_lflag |= EXTPROC; // the application's settings are announced to packet mode
    cfsetspeed(&t, SpeedOf(settings.BaudRate));
    int one = 1;
    if (tcsetattr(slave, TCSANOW, &t) != 0 || ioctl(master, TIOCPKT, &one) != 0)
        return fail(errno, slave);
    // Put in place in one step: a link there before is replaced, never missing meanwhile.
    const std::string fresh = link + ".vemla-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(name, fresh.c_str()) != 0) return fail(errno, slave);
    if (rename(fresh.c_str(), link.c_str()) != 0) {
        int error = errno;
        unlink(fresh.c_str());
        return fail(error, slave);
    }
    auto port = std::make_unique<TPtyPort>(master, slave, link, name, timeouts);
    TPortOpenResult result;
    result.Port = std::move(port);
    return result;
}

} // namespace vemla
