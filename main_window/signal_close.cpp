#include "main_window/signal_close.h"

#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

namespace vemla {
namespace {

// What the handler may touch: descriptors, set before it is installed.
int SignalPipe[2] = {-1, -1};
int StopEventFd = -1;
constexpr int ClosingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnSignal(int) {
    int savedErrno = errno;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t set = write(StopEventFd, &one, sizeof one);
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(SignalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

TSignalCloser::TSignalCloser(TEvent& stopEvent) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, SignalPipe) != 0) return;
    StopEventFd = stopEvent.Handle();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : ClosingSignals)
        sigaction(signal, &action, nullptr);
}

void TSignalCloser::CloseOnSignal(QWidget& window) {
    if (SignalPipe[1] < 0) return;
    Notifier = std::make_unique<QSocketNotifier>(SignalPipe[1], QSocketNotifier::Read);
    connect(Notifier.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (read(SignalPipe[1], bytes, sizeof bytes) > 0) {
        }
        window.close();
    });
}

TSignalCloser::~TSignalCloser() {
    for (int signal : ClosingSignals)
        std::signal(signal, SIG_DFL);
    Notifier.reset();
    for (int& fd : SignalPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    StopEventFd = -1;
}

} // namespace vemla
