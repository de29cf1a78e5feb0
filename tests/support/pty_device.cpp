#include "tests/support/pty_device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
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

TPtyDevice::~TPtyDevice() {
    HangUp();
    if (Slave >= 0) close(Slave);
}

void TPtyDevice::Write(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{Master, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            throw std::runtime_error("pty write failed");
        }
    }
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
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    return got;
}

void TPtyDevice::HangUp() {
    if (Master >= 0) close(Master);
    Master = -1;
}

} // namespace vemla::test
