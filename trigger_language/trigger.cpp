#include "trigger_language/trigger.h"

#include <algorithm>

namespace vemla {

int32_t TriggerTable::Count() const {
    int32_t count = static_cast<int32_t>(Masked.size());
    for (const auto& slot : Slots)
        if (slot) ++count;
    return count;
}

namespace {

// The first bytes of a packet, the first one lowest, zero beyond its end.
uint64_t FirstBytes(std::string_view bytes, size_t count) {
    uint64_t word = 0;
    for (size_t i = 0; i < count && i < bytes.size(); ++i)
        word |= uint64_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
    return word;
}

} // namespace

void TriggerTable::StoreMasked(std::unique_ptr<TTrigger> trigger) {
    TPrefix prefix;
    const std::vector<TMaskByte>& head = trigger->Mask->Head;
    prefix.Length = std::min<size_t>(head.size(), 8);
    for (size_t i = 0; i < prefix.Length; ++i) {
        prefix.Value |= uint64_t{head[i].Value} << (8 * i);
        prefix.Care |= uint64_t{head[i].Care} << (8 * i);
    }
    Prefixes.push_back(prefix);
    Masked.push_back(std::move(trigger));
}

TTrigger* TriggerTable::MatchMasks(std::string_view packet) {
    const uint64_t first = FirstBytes(packet, 8);
    for (size_t i = 0; i < Masked.size(); ++i) {
        const TPrefix& prefix = Prefixes[i];
        if (packet.size() < prefix.Length || (first & prefix.Care) != prefix.Value) continue;
        if (Masked[i]->Mask->Matches(packet)) return Masked[i].get();
    }
    return nullptr;
}

int32_t PacketHash(std::string_view bytes, int32_t hashSize) {
    size_t used = bytes.size();
    if (hashSize > 0 && static_cast<size_t>(hashSize) < used) used = static_cast<size_t>(hashSize);
    // h = h * 31 + byte, four bytes a step: the same value (arithmetic modulo 2^32) without
    // one long chain of dependent multiplications.
    constexpr uint32_t P1 = 31u, P2 = P1 * P1, P3 = P2 * P1, P4 = P3 * P1;
    auto at = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])); };
    uint32_t h = 0;
    size_t i = 0;
    for (; i + 4 <= used; i += 4)
        h = h * P4 + at(i) * P3 + at(i + 1) * P2 + at(i + 2) * P1 + at(i + 3);
    for (; i < used; ++i)
        h = h * P1 + at(i);
    return static_cast<int32_t>(h % static_cast<uint32_t>(TriggerTable::SlotCount));
}

} // namespace vemla
