#include "engine/send_schedule.h"

namespace vemla {

void TSendSchedule::Replace(int list, std::vector<TTimedSend> sends, TTime now) {
    std::erase_if(Entries, [list](const TEntry& entry) { return entry.List == list; });
    for (TTimedSend& send : sends)
        Entries.push_back({list, std::move(send), now});
}

std::optional<TSendSchedule::TTime> TSendSchedule::NextDue() const {
    std::optional<TTime> due;
    for (const TEntry& entry : Entries)
        if (!entry.Done && (!due || entry.Next < *due)) due = entry.Next;
    return due;
}

std::vector<size_t> TSendSchedule::TakeDue(TTime now) {
    std::vector<size_t> due;
    for (size_t i = 0; i < Entries.size(); ++i) {
        TEntry& entry = Entries[i];
        if (entry.Done || entry.Next > now) continue;
        due.push_back(i);
        ++entry.Sent;
        const auto period = entry.Send.Period;
        entry.Done =
            period.count() <= 0 || (entry.Send.Count != 0 && entry.Sent >= entry.Send.Count);
        entry.Next += period;
        const auto late = entry.Send.BackToBack
                              ? std::chrono::duration_cast<std::chrono::nanoseconds>(period)
                              : std::chrono::nanoseconds(LateLimit);
        if (entry.Next + late <= now) entry.Next = now;
    }
    return due;
}

} // namespace vemla
