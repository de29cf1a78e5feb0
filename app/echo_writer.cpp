#include "app/echo_writer.h"

#include "platform/descriptor.h"
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

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
    if (WaitUntilWritable(ErrorFd, nullptr, 100) == TWritable::Ready) WriteSome(ErrorFd, note);
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
    NameCurrentThread("vemla-echo");
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
        TWritable ready = WaitUntilWritable(Fd, stopping ? nullptr : &Wake, timeout);
        if (ready == TWritable::Gone) {
            Broken = true; // no standard output at all
            return false;
        }
        if (ready != TWritable::Ready) continue;
        size_t piece = std::min(line.size() - done, WritableChunk());
        long written = WriteSome(Fd, std::string_view(line).substr(done, piece));
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written < 0 && written != -EINTR && written != -EAGAIN) {
            Broken = true; // EPIPE: nobody reads any more
            return false;
        }
    }
    return true;
}

} // namespace vemla
