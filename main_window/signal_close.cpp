#include "main_window/signal_close.h"

#include <QWidget>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vemla {
namespace {

int SignalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(SignalPipe[0], &byte, 1);
}

} // namespace

TSignalCloser::TSignalCloser(QWidget& window) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0) return;
    Notifier = std::make_unique<QSocketNotifier>(SignalPipe[1], QSocketNotifier::Read);
    connect(Notifier.get(), &QSocketNotifier::activated, &window, [&window] {
        char byte;
        [[maybe_unused]] ssize_t got = read(SignalPipe[1], &byte, 1);
        window.close();
    });
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TSignalCloser::~TSignalCloser() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    Notifier.reset();
    for (int& fd : SignalPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

} // namespace vemla
