#include "engine/timer_queue.h"

#include <algorithm>
#include <chrono>

namespace vemla {

int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TTimerQueue::Start(TTrigger& trigger, int32_t milliseconds, int64_t now) {
    TKey key{now + std::max(milliseconds, 0), NextOrder++};
    auto [at, added] = Pending.try_emplace(&trigger, key);
    if (!added) {
        Queue.erase({at->second, &trigger});
        at->second = key;
    }
    Queue.insert({key, &trigger});
}

std::optional<int64_t> TTimerQueue::NextDue() const {
    if (Queue.empty()) return std::nullopt;
    return Queue.begin()->first.first;
}

std::optional<std::pair<TTrigger*, int64_t>> TTimerQueue::TakeDue(int64_t until) {
    if (Queue.empty() || Queue.begin()->first.first > until) return std::nullopt;
    auto [key, trigger] = *Queue.begin();
    Queue.erase(Queue.begin());
    Pending.erase(trigger);
    return std::pair(trigger, key.first);
}

} // namespace vemla
