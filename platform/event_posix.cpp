#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace vemla {

TEvent::TEvent() : Native(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), Error(Native < 0 ? errno : 0) {}

TEvent::~TEvent() {
    if (Native >= 0) close(Native);
}

void TEvent::Set() {
    uint64_t one = 1;
    // A full counter already reads as signalled, so a failed write changes nothing.
    [[maybe_unused]] ssize_t written = write(Native, &one, sizeof one);
}

void TEvent::Reset() {
    uint64_t value;
    [[maybe_unused]] ssize_t got = read(Native, &value, sizeof value);
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout, const TEvent& other) const {
    pollfd events[2] = {{Native, POLLIN, 0}, {other.Native, POLLIN, 0}};
    poll(events, 2, static_cast<int>(timeout.count()));
    return IsSet();
}

bool TEvent::IsSet() const {
    pollfd p{Native, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

} // namespace vemla
