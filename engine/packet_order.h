#pragma once

#include "engine/terminal_host.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace vemla {

// The records of two ports' readers, handed to the host in the order their packets began: a
// packet is recorded when its gap has passed, so the device's quick answer to an application's
// request would otherwise be recorded before the request. A reader takes a ticket when a
// packet's first bytes are there and finishes it with the packet's record (or none); records
// that are no packet's take a ticket as they are made. A record waits here only while a packet
// that began before it is still being read; no thread ever waits.
class TPacketOrder {
  public:
    explicit TPacketOrder(TTerminalHost& host) : Host(host) {}
    uint64_t Begin();
    void Finish(uint64_t ticket, std::unique_ptr<TTrafficRecord> record);
    void Post(std::unique_ptr<TTrafficRecord> record) { Finish(Begin(), std::move(record)); }

  private:
    TTerminalHost& Host;
    std::mutex Mutex;
    uint64_t NextTicket = 1;                                     // guarded by Mutex
    std::set<uint64_t> Open;                                     // guarded by Mutex
    std::map<uint64_t, std::unique_ptr<TTrafficRecord>> Waiting; // guarded by Mutex
};

} // namespace vemla
