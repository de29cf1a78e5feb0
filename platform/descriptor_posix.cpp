#include "platform/descriptor.h"

#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vemla {

int OpenForWriting(const std::string& path, bool exclusive, int& fd) {
    fd = open(NormalizePath(path).c_str(),
              O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0644);
    return fd < 0 ? errno : 0;
}

int WriteAllAndClose(int fd, std::string_view bytes) {
    int error = 0;
    size_t done = 0;
    while (done < bytes.size() && error == 0) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) error = errno;
        if (n == 0) error = EIO; // nothing taken of a non-empty write: never spin on it
        if (n > 0) done += static_cast<size_t>(n);
    }
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

TWritable WaitUntilWritable(int fd, const TEvent* wake, int timeoutMs) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake ? wake->Handle() : -1, POLLIN, 0}};
    int n = poll(fds, wake ? 2 : 1, timeoutMs);
    if (n < 0) return errno == EINTR ? TWritable::TimedOut : TWritable::Gone;
    if (fds[0].revents & POLLNVAL) return TWritable::Gone;
    if (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) return TWritable::Ready;
    return n > 0 ? TWritable::Woken : TWritable::TimedOut;
}

size_t WritableChunk() {
    return PIPE_BUF;
}

long WriteSome(int fd, std::string_view bytes) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    return n < 0 ? -errno : static_cast<long>(n);
}

void KeepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR | O_CLOEXEC);
}

} // namespace vemla
