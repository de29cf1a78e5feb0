#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace vemla {

struct TTrigger;

// The SLEEP timers of a set of triggers, one per trigger as a Win32 timer with the trigger's
// identifier would be: a new one replaces the pending one. Time is whatever clock the host
// runs on, in milliseconds (the live host's steady clock, a replayed session's own time).
// Not thread-safe: one host thread owns it.
// The live hosts' clock for TTimerQueue: a steady clock in milliseconds.
int64_t SteadyMilliseconds();

class TTimerQueue {
  public:
    void Start(TTrigger& trigger, int32_t milliseconds, int64_t now);
    // When the first pending timer falls due; nothing when none is pending.
    std::optional<int64_t> NextDue() const;
    // The timer that falls due first by `until` (of two due at one moment, the one started
    // first), removed from the queue, with its due time; nothing when none is due by then.
    std::optional<std::pair<TTrigger*, int64_t>> TakeDue(int64_t until);
    bool Empty() const { return Queue.empty(); }

  private:
    using TKey = std::pair<int64_t, uint64_t>; // due time, order of starting
    std::set<std::pair<TKey, TTrigger*>> Queue;
    std::map<TTrigger*, TKey> Pending;
    uint64_t NextOrder = 0;
};

} // namespace vemla
