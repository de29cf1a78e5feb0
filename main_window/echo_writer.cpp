#include "main_window/echo_writer.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace vemla {
namespace {

constexpr auto GracePeriod = std::chrono::seconds(2);

} // namespace

TEchoWriter::TEchoWriter(int fd, int errorFd, size_t queueLimit)
    : Fd(fd), ErrorFd(errorFd), QueueLimit(queueLimit), Thread(&TEchoWriter::Run, this) {}

TEchoWriter::~TEchoWriter() {
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Ready.notify_one();
    Wake.Set();
    Thread.join();
    if (Dropped == 0) return;
    std::string note = "vemla: standard output did not keep up: " + std::to_string(Dropped) +
                       " echoed lines were dropped (the log files keep them)\n";
    // The error output may stall as well; one short chance, never a hang.
    pollfd p{ErrorFd, POLLOUT, 0};
    if (poll(&p, 1, 100) == 1 && (p.revents & POLLOUT)) [[maybe_unused]]
        ssize_t written = write(ErrorFd, note.data(), note.size());
}

void TEchoWriter::Write(std::string line) {
    {
        std::lock_guard lock(Mutex);
        if (QueuedBytes + line.size() > QueueLimit) {
            ++Dropped;
            return;
        }
        QueuedBytes += line.size();
        Queue.push_back(std::move(line));
    }
    Ready.notify_one();
}

uint64_t TEchoWriter::DroppedLines() const {
    std::lock_guard lock(Mutex);
    return Dropped;
}

void TEchoWriter::Run() {
    pthread_setname_np(pthread_self(), "vemla-echo");
    std::unique_lock lock(Mutex);
    for (;;) {
        Ready.wait(lock, [this] { return Stopping || !Queue.empty(); });
        if (Queue.empty()) return; // stopping with nothing left
        std::string line = std::move(Queue.front());
        Queue.pop_front();
        QueuedBytes -= line.size();
        lock.unlock();
        bool written = WriteLine(line);
        lock.lock();
        if (!written) ++Dropped;
    }
}

bool TEchoWriter::WriteLine(const std::string& line) {
    if (Broken) return false;
    size_t done = 0;
    while (done < line.size()) {
        bool stopping = Wake.IsSet();
        if (stopping && StopDeadline == TClock::time_point::max())
            StopDeadline = TClock::now() + GracePeriod;
        int timeout = -1;
        if (stopping) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(StopDeadline - TClock::now());
            if (left.count() <= 0) return false;
            timeout = static_cast<int>(left.count());
        }
        // Waiting here, not in write, lets the stop wake the thread; a pipe that polls
        // writable takes PIPE_BUF bytes without blocking.
        pollfd fds[2] = {{Fd, POLLOUT, 0}, {Wake.Handle(), POLLIN, 0}};
        int n = poll(fds, stopping ? 1 : 2, timeout);
        if (n < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLNVAL) {
            Broken = true; // no standard output at all
            return false;
        }
        if (n <= 0 || !(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
        size_t piece = std::min(line.size() - done, size_t{PIPE_BUF});
        ssize_t written = write(Fd, line.data() + done, piece);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written < 0 && errno != EINTR && errno != EAGAIN) {
            Broken = true; // EPIPE: nobody reads any more
            return false;
        }
    }
    return true;
}

} // namespace vemla
