#pragma once

#include "codec/codec.h"
#include "trigger_language/answer_template.h"
#include "trigger_language/mask.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

enum class TCommandKind : uint8_t {
    Outw = 0,
    Out,
    Wait,
    Stop,
    Goto,
    Switch,
    Sleep,
    Print,
    Replyw, // an answer built from the request, then a wait
    Reply,
};

// One command of a trigger's program. Fields a kind does not use keep their defaults.
struct TTriggerCommand {
    TCommandKind Kind = TCommandKind::Wait;
    uint16_t TriggerId = 0;   // SWITCH: low 16 bits of the number in the file
    std::string Data;         // OUTW, OUT: decoded bytes; PRINT, REPLY(W): the text as written
    int32_t Value = 0;        // GOTO (counts from 1), SLEEP (milliseconds)
    int32_t TargetSlot = -1;  // SWITCH: slot of the target trigger, -1 for none
    int32_t CommandIndex = 0; // SWITCH: the index (from 0) the target is given
    std::shared_ptr<const TAnswerTemplate> Template; // REPLY, REPLYW
};

// Only Ok runs; the numbers are those the triggers window shows where it has no text.
enum class TTriggerStatus : uint8_t {
    Ok = 0,
    SwitchedOff = 1,     // STOP, or moved to no command
    MissingCommand = 2,  // ran past its last command, or a GOTO led outside
    TooManyCommands = 3, // a run reached its bound
    MissingTrigger = 4,  // a SWITCH named an id no trigger has
    AnswerError = 5,     // a REPLY reached outside its request, or had none
};

struct TTrigger {
    int32_t Id = 0;
    std::string Name;
    TCoding DataCoding = TCoding::Hex; // HEX, or WinHex for ANSI
    // The runtime changes these while the user interface reads them.
    std::atomic<TTriggerStatus> Status{TTriggerStatus::Ok};
    std::atomic<int32_t> CurrentCommand{0};
    std::atomic<int32_t> NextCommand{0};
    // Packets that matched the trigger, and the local time (a TDateTime) of the last one.
    std::atomic<uint32_t> Matches{0};
    std::atomic<double> LastMatch{0};
    std::vector<TTriggerCommand> Commands;
    // A trigger declared with MASK: found by matching its mask, not by the packet hash.
    std::unique_ptr<const TMask> Mask;
    // The packet that last resumed the trigger, for its REPLY commands; guarded by the
    // engine's run lock.
    std::optional<std::string> Request;

    int32_t CommandCount() const { return static_cast<int32_t>(Commands.size()); }
};

// 953 slots (a prime), each empty or owning one trigger, keyed by the packet hash; after them
// one slot per mask trigger, in file order.
class TriggerTable {
  public:
    static constexpr int32_t SlotCount = 953;

    const TTrigger* At(int32_t slot) const { return const_cast<TriggerTable*>(this)->At(slot); }
    TTrigger* At(int32_t slot) {
        if (slot >= 0 && slot < SlotCount) return Slots[static_cast<size_t>(slot)].get();
        size_t masked = static_cast<size_t>(slot) - SlotCount;
        return slot >= SlotCount && masked < Masked.size() ? Masked[masked].get() : nullptr;
    }
    // Hash slots and mask slots together: the end of a walk over every slot.
    int32_t Size() const { return SlotCount + static_cast<int32_t>(Masked.size()); }
    void Store(int32_t slot, std::unique_ptr<TTrigger> trigger) {
        Slots[static_cast<size_t>(slot)] = std::move(trigger);
    }
    void StoreMasked(std::unique_ptr<TTrigger> trigger);
    // The first mask trigger, in file order, whose mask matches the packet.
    TTrigger* MatchMasks(std::string_view packet);
    int32_t Count() const;

  private:
    std::array<std::unique_ptr<TTrigger>, SlotCount> Slots;
    std::vector<std::unique_ptr<TTrigger>> Masked;
    // Per mask trigger, its first head bytes as one word: most masks differ from a packet
    // there, and one comparison of words tells it.
    struct TPrefix {
        uint64_t Value = 0, Care = 0;
        size_t Length = 0;
    };
    std::vector<TPrefix> Prefixes;
};

// Slot of a packet: h = h * 31 + byte over the first hashSize bytes (all when hashSize <= 0).
int32_t PacketHash(std::string_view bytes, int32_t hashSize);

} // namespace vemla
