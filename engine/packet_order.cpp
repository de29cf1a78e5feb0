#include "engine/packet_order.h"

namespace vemla {

uint64_t TPacketOrder::Begin() {
    std::lock_guard lock(Mutex);
    Open.insert(NextTicket);
    return NextTicket++;
}

void TPacketOrder::Finish(uint64_t ticket, std::unique_ptr<TTrafficRecord> record) {
    std::lock_guard lock(Mutex);
    Open.erase(ticket);
    if (record) Waiting.emplace(ticket, std::move(record));
    // Everything that began before the oldest packet still being read goes now, in order; the
    // host's calls never block, so they are made under the lock that keeps that order.
    while (!Waiting.empty() && (Open.empty() || Waiting.begin()->first < *Open.begin())) {
        Host.PostTraffic(std::move(Waiting.begin()->second));
        Waiting.erase(Waiting.begin());
    }
}

} // namespace vemla
