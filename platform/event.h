#pragma once

#include <chrono>

namespace vemla {

// A manual-reset event that poll() can wait on: once set it stays signalled until Reset.
// Creating one can fail (no descriptors left): CreationError says so, and such an event is
// never set.
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
    int Handle() const { return Fd; }
    int CreationError() const { return Error; }

  private:
    int Fd;
    int Error;
};

} // namespace vemla
