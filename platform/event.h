#pragma once

#include <chrono>

namespace vemla {

// What the system waits on: a descriptor for poll() on POSIX, an event HANDLE on Windows.
#ifdef _WIN32
using TEventHandle = void*;
#else
using TEventHandle = int;
#endif

// A manual-reset event that the system's waits can take: once set it stays signalled until
// Reset. Creating one can fail (no descriptors or handles left): CreationError says so, and
// such an event is never set.
class TEvent {
  public:
    TEvent();
    ~TEvent();
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until this or the other event is set, at most timeout; true when this one is set.
    bool WaitFor(std::chrono::milliseconds timeout, const TEvent& other) const;
    TEventHandle Handle() const { return Native; }
    int CreationError() const { return Error; }

  private:
    TEventHandle Native;
    int Error;
};

} // namespace vemla
