#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemla {

// A packet sent by itself: once, or every Period, Count times (0: for ever).
struct TTimedSend {
    std::string Bytes;
    std::chrono::microseconds Period{0}; // 0: once
    uint64_t Count = 0;
    // The period is shorter than the packet's time on the wire: it goes back to back.
    bool BackToBack = false;
};

// When each timed packet is due. Times are those of the steady clock, passed in, so that tests
// need no waiting. Packets due at one moment go in their order; each keeps its own period from
// the start (no drift: a send the machine woke late for is caught up). A packet slower on the
// wire than its period goes back to back from the moment it went, and so does any packet over
// LateLimit late (the machine was suspended, say): never a burst to catch up.
class TSendSchedule {
  public:
    using TTime = std::chrono::steady_clock::time_point;

    // Lists run side by side (the command line's, the generator's): a new list replaces only
    // the one of its number, and starts at `now`.
    void Replace(int list, std::vector<TTimedSend> sends, TTime now);
    // The earliest moment a packet is due; nothing when every packet has had its count.
    std::optional<TTime> NextDue() const;
    // The packets due at `now`, in order (indexes for Send, good until the next Replace); each
    // is then counted and given its next moment.
    std::vector<size_t> TakeDue(TTime now);
    const TTimedSend& Send(size_t index) const { return Entries[index].Send; }

    static constexpr std::chrono::milliseconds LateLimit{100};

  private:
    struct TEntry {
        int List = 0;
        TTimedSend Send;
        TTime Next;
        uint64_t Sent = 0;
        bool Done = false;
    };
    std::vector<TEntry> Entries;
};

} // namespace vemla
