#include "generator/packet_list.h"

#include "app/send_template.h"

#include <utility>

namespace vemla {

TGeneratorCommands TPacketList::EnabledCommands() const {
    TGeneratorCommands commands;
    bool current = CurrentIndex >= 0 && CurrentIndex < Count();
    commands.Send = current;
    commands.Change = commands.Insert = commands.Delete = current;
    commands.MoveUp = current && CurrentIndex > 0;
    commands.MoveDown = current && CurrentIndex < Count() - 1;
    return commands;
}

void TPacketList::StoreCurrent(const TPacket& packet, TCoding coding) {
    TPacket& target = Items[static_cast<size_t>(CurrentIndex)];
    target.Template = coding == TCoding::Hex && IsSendTemplate(packet.Data);
    target.Data =
        target.Template ? packet.Data : BytesToText(TextToBytes(packet.Data, coding), coding);
    target.Name = packet.Name;
    target.PeriodMs = packet.PeriodMs;
    target.Count = packet.PeriodMs > 0 ? packet.Count : 0;
    Changed = true;
}

std::vector<TTimedSend>
TPacketList::TimedSends(TCoding coding,
                        const std::function<void(const std::string&)>& refused) const {
    std::vector<TTimedSend> sends;
    for (const TPacket& packet : Items) {
        if (packet.PeriodMs <= 0) continue;
        TResult<std::string> bytes = BytesOf(packet, coding);
        if (!bytes.Ok()) {
            if (refused) refused(packet.Data + ": " + bytes.Error);
            continue;
        }
        sends.push_back({bytes.Value, std::chrono::milliseconds(packet.PeriodMs),
                         static_cast<uint64_t>(packet.Count)});
    }
    return sends;
}

TResult<std::string> TPacketList::BytesOf(const TPacket& packet, TCoding coding) {
    if (packet.Template) return SendTemplateBytes(packet.Data);
    return {TextToBytes(packet.Data, coding), {}, 0};
}

void TPacketList::AddPacket(const TPacket& packet, TCoding coding) {
    Items.push_back({});
    CurrentIndex = Count() - 1;
    StoreCurrent(packet, coding);
}

void TPacketList::InsertPacket(const TPacket& packet, TCoding coding) {
    if (!EnabledCommands().Insert) return;
    Items.insert(Items.begin() + CurrentIndex + 1, TPacket{});
    ++CurrentIndex;
    StoreCurrent(packet, coding);
}

void TPacketList::ChangePacket(const TPacket& packet, TCoding coding) {
    if (EnabledCommands().Change) StoreCurrent(packet, coding);
}

void TPacketList::DeletePacket() {
    if (!EnabledCommands().Delete) return;
    Items.erase(Items.begin() + CurrentIndex);
    --CurrentIndex; // packet 0 deleted leaves none current
    Changed = true;
}

void TPacketList::MoveUp() {
    if (!EnabledCommands().MoveUp) return;
    std::swap(Items[static_cast<size_t>(CurrentIndex)],
              Items[static_cast<size_t>(CurrentIndex - 1)]);
    --CurrentIndex;
    Changed = true;
}

void TPacketList::MoveDown() {
    if (!EnabledCommands().MoveDown) return;
    std::swap(Items[static_cast<size_t>(CurrentIndex)],
              Items[static_cast<size_t>(CurrentIndex + 1)]);
    ++CurrentIndex;
    Changed = true;
}

bool TPacketList::SendPacket(TCoding coding, bool stepToNext,
                             const std::function<void(std::string_view)>& send,
                             const std::function<void(const std::string&)>& refused) {
    if (!EnabledCommands().Send) return false;
    const TPacket& packet = Items[static_cast<size_t>(CurrentIndex)];
    if (TResult<std::string> bytes = BytesOf(packet, coding); bytes.Ok())
        send(bytes.Value);
    else if (refused)
        refused(packet.Data + ": " + bytes.Error);
    if (stepToNext) CurrentIndex = CurrentIndex < Count() - 1 ? CurrentIndex + 1 : 0;
    return true;
}

void TPacketList::RecodePackets(TCoding coding) {
    for (TPacket& packet : Items)
        if (!packet.Template) packet.Data = Recode(packet.Data, Coding, coding);
    Coding = coding;
}

void TPacketList::Load(const TIniFile& config, TCoding coding) {
    int32_t count = config.ReadInteger("Packets", "Count", 0);
    Items.clear();
    for (int32_t k = 1; k <= count; ++k) {
        std::string key = std::to_string(k);
        std::string data = config.ReadString("Packets", key + ".data", "");
        // Meant as a template, it stays as written, whether it reads or not.
        const bool templated = LooksLikeSendTemplate(data);
        TPacket packet{templated ? data : Recode(data, TCoding::Hex, coding),
                       config.ReadString("Packets", key + ".name", ""), templated};
        // A hand-edited period or count out of range counts as none.
        packet.PeriodMs = config.ReadInteger("Packets", key + ".period", 0);
        if (packet.PeriodMs < 1 || packet.PeriodMs > TPacket::MostPeriodMs) packet.PeriodMs = 0;
        packet.Count = packet.PeriodMs > 0 ? config.ReadInteger("Packets", key + ".count", 0) : 0;
        if (packet.Count < 0) packet.Count = 0;
        Items.push_back(std::move(packet));
    }
    CurrentIndex = -1;
    AfterStorage(coding);
}

bool TPacketList::Save(TIniFile& config, TCoding coding) {
    bool write = Changed;
    if (write) {
        config.WriteInteger("Packets", "Count", Count());
        for (int k = 1; k <= Count(); ++k) {
            const TPacket& packet = Items[static_cast<size_t>(k - 1)];
            config.WriteString("Packets", std::to_string(k) + ".data",
                               packet.Template ? packet.Data
                                               : Recode(packet.Data, coding, TCoding::Hex));
            config.WriteString("Packets", std::to_string(k) + ".name", packet.Name);
            // Only where there is one, or was: a list without periods is stored as before.
            for (auto [key, value] :
                 {std::pair{".period", packet.PeriodMs}, std::pair{".count", packet.Count}}) {
                const std::string name = std::to_string(k) + key;
                if (value != 0 || !config.ReadString("Packets", name, "").empty())
                    config.WriteString("Packets", name, value != 0 ? std::to_string(value) : "");
            }
        }
    }
    AfterStorage(coding);
    return write;
}

// A list held in another coding than the one in force counts as modified.
void TPacketList::AfterStorage(TCoding coding) {
    Changed = Coding != coding;
    Coding = coding;
}

} // namespace vemla
