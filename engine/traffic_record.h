#pragma once

#include "platform/system.h"

#include <cstdint>
#include <string>

namespace vemla {

enum class TTrafficKind : uint8_t { Info = 0, Warning, Error, Received, Sent, TriggerSent };

// One report of the engine; whoever it is posted to owns it.
struct TTrafficRecord {
    TDateTime Time = 0;
    TTrafficKind Kind = TTrafficKind::Info;
    std::string Data; // bytes, or CP1251 text for Info, Warning and Error

    int32_t Size() const { return static_cast<int32_t>(Data.size()); }
};

inline bool IsDataKind(TTrafficKind kind) {
    return kind == TTrafficKind::Received || kind == TTrafficKind::Sent ||
           kind == TTrafficKind::TriggerSent;
}

} // namespace vemla
