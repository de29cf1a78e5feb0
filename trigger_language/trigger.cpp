#include "trigger_language/trigger.h"

namespace vemla {

int32_t TriggerTable::Count() const {
    int32_t count = 0;
    for (const auto& slot : Slots)
        if (slot) ++count;
    return count;
}

int32_t PacketHash(std::string_view bytes, int32_t hashSize) {
    size_t used = bytes.size();
    if (hashSize > 0 && static_cast<size_t>(hashSize) < used) used = static_cast<size_t>(hashSize);
    uint32_t h = 0;
    for (size_t i = 0; i < used; ++i)
        h = h * 31u + static_cast<uint8_t>(bytes[i]);
    return static_cast<int32_t>(h % static_cast<uint32_t>(TriggerTable::SlotCount));
}

} // namespace vemla
