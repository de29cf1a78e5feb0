#include "tests/support/pty_device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vemla::test {

TPtyDevice::TPtyDevice() {
    char name[256];
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    Path = name;
    termios tio{};
    tcgetattr(Slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(Slave, TCSANOW, &tio);
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
}

// Only the port is opened: no slave of our own to close later (0 would be standard input).
TPtyDevice::TPtyDevice(const std::string& port) : Slave(-1), Path(port) {
    Master = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Master < 0) throw std::runtime_error("cannot open " + port);
    termios tio{};
    tcgetattr(Master, &tio);
    cfmakeraw(&tio);
    tcsetattr(Master, TCSANOW, &tio);
}

TPtyDevice::~TPtyDevice() {
    HangUp();
    if (Slave >= 0) close(Slave);
}

bool TPtyDevice::Write(std::string_view bytes, const std::function<bool()>& stopRequested) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (stopRequested && stopRequested()) return false;
        ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{Master, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

int TPtyDevice::QueuedToPort() const {
    int queued = 0;
    // On a port that exists, what was written and not taken yet is this side's output queue.
    if (Slave < 0) return ioctl(Master, TIOCOUTQ, &queued) == 0 ? queued : 0;
    return ioctl(Slave, FIONREAD, &queued) == 0 ? queued : 0;
}

std::string TPtyDevice::Read(size_t count, std::chrono::milliseconds timeout) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{Master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(Master, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return got;
}

std::string TPtyDevice::ReadPacket(std::chrono::milliseconds timeout, std::chrono::milliseconds gap,
                                   const std::function<bool()>& stopRequested) {
    using TClock = std::chrono::steady_clock;
    std::string packet;
    auto deadline = TClock::now() + timeout;
    for (;;) {
        auto wait = packet.empty() ? deadline - TClock::now() : TClock::duration(gap);
        if (packet.empty() && wait <= TClock::duration::zero()) return packet;
        pollfd p{Master, POLLIN, 0};
        int ready = poll(
            &p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (stopRequested && stopRequested()) return packet;
        if (ready <= 0) {
            if (!packet.empty()) return packet;
            continue;
        }
        char buffer[4096];
        ssize_t n = read(Master, buffer, sizeof buffer);
        if (n > 0)
            packet.append(buffer, static_cast<size_t>(n));
        else if (!packet.empty() || (n < 0 && errno == EIO)) // EIO: nobody has the port open yet
            return packet;
    }
}

void TPtyDevice::HangUp() {
    if (Master >= 0) close(Master);
    Master = -1;
}

} // namespace vemla::test
