#pragma once

namespace vemla {

// A manual-reset event that poll() can wait on: once set it stays signalled until Reset.
class TEvent {
public:
    TEvent();
    ~TEvent();
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    int Handle() const { return Fd; }

private:
    int Fd;
};

} // namespace vemla
