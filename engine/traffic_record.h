#pragma once

#include "platform/system.h"

#include <cstdint>
#include <string>

namespace vemla {

enum class TTrafficKind : uint8_t { Info = 0, Warning, Error, Received, Sent, TriggerSent };

// The port a record came from or went to: the device's (the port of every record today); the
// application's side is the second port of a two-port monitor.
enum class TTrafficSource : uint8_t { Device = 0, Application };

// One report of the engine; whoever it is posted to owns it.
struct TTrafficRecord {
    TDateTime Time = 0;
    TTrafficKind Kind = TTrafficKind::Info;
    std::string Data; // bytes, or CP1251 text for Info, Warning and Error
    TTrafficSource Source = TTrafficSource::Device;

    int32_t Size() const { return static_cast<int32_t>(Data.size()); }
};

inline bool IsDataKind(TTrafficKind kind) {
    return kind == TTrafficKind::Received || kind == TTrafficKind::Sent ||
           kind == TTrafficKind::TriggerSent;
}

} // namespace vemla
