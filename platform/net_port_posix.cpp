#include "platform/net_port.h"

#include "platform/cp1251.h"
#include "platform/descriptor_io.h"
#include "platform/messages.h"
#include "platform/rfc2217.h"
#include "platform/system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemla {
namespace {

// An address that takes no answer at all is given up after this, and the next one tried.
constexpr int ConnectTimeoutMs = 3000;

class TNetPort final : public TPort {
  public:
    // The connection as Negotiate left it.
    TNetPort(int fd, TTelnetClient telnet, bool comPortControl, const TCommTimeouts& timeouts)
        : Fd(fd), ComPortControl(comPortControl), Telnet(std::move(telnet)),
          Io(
              fd, timeouts, [this](char* bytes, size_t count) { return Decode(bytes, count); },
              TDescriptorIo::TKind::Socket) {}
    ~TNetPort() override { close(Fd); }

    TWaitResult WaitForReceive(const TEvent& stop, std::chrono::milliseconds timeout) override {
        return Io.WaitForReceive(stop, timeout);
    }
    int Read(char* buffer, int count, const TEvent& stop) override {
        return Io.Read(buffer, count, stop);
    }
    int ReadQueued(char* buffer, int count) override { return Io.ReadQueued(buffer, count); }
    bool TapReads(TReadTap tap) override {
        Io.SetTap(std::move(tap));
        return true;
    }
    int Write(const char* data, int count, const TEvent* stop) override {
        std::lock_guard lock(WriteMutex);
        if (!ComPortControl) return Io.Write(data, count, stop);
        const std::string_view bytes(data, static_cast<size_t>(std::max(count, 0)));
        const std::string wire = TTelnetClient::Escape(bytes);
        const auto sent =
            static_cast<size_t>(Io.Write(wire.data(), static_cast<int>(wire.size()), stop));
        size_t whole = TTelnetClient::DataSent(bytes, sent);
        // A doubled 0xFF cut in half would turn the next byte into a command: its second
        // half follows whatever the time-outs say.
        const auto escapes = static_cast<size_t>(std::count(data, data + whole, '\xFF'));
        if (whole + escapes < sent) {
            Io.Write(data + whole, 1, nullptr);
            ++whole;
        }
        return static_cast<int>(whole);
    }
    int QueuedBytes() const override { return Io.QueuedBytes(); }
    // Wakes the reader and drops what it read ahead; the server's queues were purged once, at
    // the connection, as a serial port's are when it opens: what it holds now is on its way.
    void Purge() override { Io.Purge(); }
    int LastError() const override { return Broken ? EPROTO : Io.LastError(); }
    std::string FailureDetail() const override {
        return Broken ? MessageText(TMessage::ServerLongNegotiation,
                                    {std::to_string(TTelnetClient::SubnegotiationLimit)})
                      : std::string();
    }

    std::optional<TModemLines> ModemLines() const override {
        if (!ComPortControl) return std::nullopt;
        std::lock_guard lock(TelnetMutex);
        return Telnet.ModemLines();
    }
    bool SetModemOutput(TModemOutput line, bool on) override {
        if (!ComPortControl) return false;
        Control([&](TTelnetClient& telnet, auto now) { telnet.SetModemOutput(line, on, now); });
        return true;
    }
    int SendBreak(std::chrono::milliseconds duration, const TEvent& stop) override {
        if (!ComPortControl) return ErrorNotOffered;
        Control([](TTelnetClient& telnet, auto now) { telnet.SetBreak(true, now); });
        Io.Pause(duration, stop);
        Control([](TTelnetClient& telnet, auto now) { telnet.SetBreak(false, now); });
        return 0;
    }
    std::vector<TPortNotice> TakeNotices() override {
        if (!ComPortControl) return {};
        std::lock_guard lock(TelnetMutex);
        return Telnet.TakeNotices(TTelnetClient::TClock::now());
    }
    std::optional<int32_t> ConfirmedRate() const override {
        if (!ComPortControl) return std::nullopt;
        std::lock_guard lock(TelnetMutex);
        return Telnet.ConfirmedRate();
    }

  private:
    // The reading side's filter: the data of what came, the replies sent at once.
    size_t Decode(char* bytes, size_t count) {
        if (!ComPortControl) return count;
        size_t kept;
        {
            std::lock_guard lock(TelnetMutex);
            kept = Telnet.Receive(bytes, count, TTelnetClient::TClock::now());
            Broken = Telnet.Broken();
        }
        // A server past repair is cut off: the next read finds the end, the reconnect follows.
        if (Broken) shutdown(Fd, SHUT_RDWR);
        SendPending();
        return kept;
    }
    template <typename TCommand> void Control(TCommand command) {
        if (!ComPortControl) return;
        {
            std::lock_guard lock(TelnetMutex);
            command(Telnet, TTelnetClient::TClock::now());
        }
        SendPending();
    }
    void SendPending() {
        std::string bytes;
        {
            std::lock_guard lock(TelnetMutex);
            bytes = Telnet.TakeOutgoing();
        }
        if (bytes.empty()) return;
        std::lock_guard lock(WriteMutex);
        Send(bytes);
    }
    void Send(const std::string& bytes) {
        Io.Write(bytes.data(), static_cast<int>(bytes.size()), nullptr);
    }

    const int Fd;
    const bool ComPortControl;
    mutable std::mutex TelnetMutex; // guards Telnet: the reader decodes, writers command
    TTelnetClient Telnet;
    std::mutex WriteMutex; // one write on the wire at a time, data or command
    TDescriptorIo Io;
    std::atomic<bool> Broken{false};
};

// Sends what the server is to have now; the bytes are few and the connection fresh, so the
// socket takes them at once or the connection is failing (which the first read finds).
void SendNow(int fd, const std::string& bytes) {
    if (!bytes.empty()) send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// The telnet and COM-port negotiation, before the port is reported open: the settings are on
// the server's port and its stale input gone by then, so the first bytes the user sees are
// the device's answers to what he sends. A server that does not settle within the
// acknowledgement time-out gets the port as it is (the late commands are warned of later).
void Negotiate(int fd, TTelnetClient& telnet, const TEvent* cancel) {
    using TClock = TTelnetClient::TClock;
    SendNow(fd, telnet.Greeting());
    const auto deadline = TClock::now() + 2 * TTelnetClient::AcknowledgeTimeout;
    char buffer[4096];
    while (!telnet.Settled() && !telnet.Broken()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        pollfd fds[2] = {{fd, POLLIN, 0}, {cancel ? cancel->Handle() : -1, POLLIN, 0}};
        if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) <= 0 ||
            (fds[1].revents & POLLIN))
            return;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return;                                            // the reader finds the end
        telnet.Receive(buffer, static_cast<size_t>(n), TClock::now()); // data: stale
        SendNow(fd, telnet.TakeOutgoing());
    }
}

TPortOpenResult Failed(int error, std::string detail = {}) {
    TPortOpenResult result;
    result.Error = error;
    result.Detail = std::move(detail);
    return result;
}

// Connects one address without blocking past the time-out or the cancel event; the socket,
// or -1 with errno set.
int Connect(const addrinfo& address, const TEvent* cancel) {
    int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    address.ai_protocol);
    if (fd < 0) return -1;
    auto fail = [fd](int error) {
        close(fd);
        errno = error;
        return -1;
    };
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return fail(errno);
        pollfd fds[2] = {{fd, POLLOUT, 0}, {cancel ? cancel->Handle() : -1, POLLIN, 0}};
        int ready = poll(fds, 2, ConnectTimeoutMs);
        if (ready < 0) return fail(errno);
        if (ready == 0) return fail(ETIMEDOUT);
        if (fds[1].revents & POLLIN) return fail(ECANCELED);
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return fail(errno);
        if (error != 0) return fail(error);
    }
    // A packet goes out as it is written, not after the previous one's acknowledgement.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

TPortOpenResult OpenNetworkPort(const std::string& spelling, const TLineSettings& settings,
                                const TCommTimeouts& timeouts, const TEvent* cancel) {
    std::optional<TNetSpelling> address = ParseNetSpelling(spelling);
    if (!address) return Failed(EINVAL, NetSpellingForms);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (int error = getaddrinfo(address->Host.c_str(), std::to_string(address->Port).c_str(),
                                &hints, &found);
        error != 0)
        return Failed(error == EAI_SYSTEM ? errno : ErrorHostNotFound,
                      error == EAI_SYSTEM ? std::string() : PathText(gai_strerror(error)));
    int fd = -1, error = ECONNREFUSED;
    for (const addrinfo* at = found; at && fd < 0; at = at->ai_next) {
        fd = Connect(*at, cancel);
        if (fd < 0) error = errno;
        if (error == ECANCELED) break;
    }
    freeaddrinfo(found);
    if (fd < 0) return Failed(error);
    const bool comPortControl = address->Kind == TNetSpelling::TKind::Rfc2217;
    TTelnetClient telnet(comPortControl, settings);
    if (comPortControl) Negotiate(fd, telnet, cancel);
    if (cancel && cancel->IsSet()) { // let go meanwhile: never reported open
        close(fd);
        return Failed(ECANCELED);
    }
    TPortOpenResult result;
    result.Port = std::make_unique<TNetPort>(fd, std::move(telnet), comPortControl, timeouts);
    return result;
}

} // namespace vemla
