#pragma once

#include "codec/codec.h"
#include "engine/send_schedule.h"
#include "platform/ini_file.h"
#include "platform/result.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

struct TPacket {
    std::string Data; // the bytes as text in the list's coding; a template as typed
    std::string Name; // free description
    // Typed in Hex coding with checksums or quoted text (app/send_template.h): kept as typed
    // in every coding and in the file, built at each send.
    bool Template = false;
    // With the loop on, a packet with a period goes at its own period (in milliseconds), Count
    // times (0: for ever), instead of the one-second loop; 0: no period of its own.
    int64_t PeriodMs = 0;
    int64_t Count = 0;
    static constexpr int64_t MostPeriodMs = 86'400'000;
};

struct TGeneratorCommands {
    bool Add = true;
    bool Insert = false;
    bool Change = false;
    bool Delete = false;
    bool MoveUp = false;
    bool MoveDown = false;
    bool Send = false;
};

// The generator's packets and the commands on them, without any window.
class TPacketList {
  public:
    const std::vector<TPacket>& Packets() const { return Items; }
    int Current() const { return CurrentIndex; }
    void Select(int index) { CurrentIndex = index >= 0 && index < Count() ? index : -1; }
    int Count() const { return static_cast<int>(Items.size()); }
    bool Modified() const { return Changed; }
    TCoding ListCoding() const { return Coding; }

    TGeneratorCommands EnabledCommands() const;

    // The three commands of the edit dialog, after it ended with OK. The data text is stored
    // in the codec's canonical form of the coding in force.
    void AddPacket(const TPacket& packet, TCoding coding);
    void InsertPacket(const TPacket& packet, TCoding coding);
    void ChangePacket(const TPacket& packet, TCoding coding);
    // After the user confirmed it.
    void DeletePacket();
    void MoveUp();
    void MoveDown();

    // Sends the current packet (nothing when the command is disabled); then steps to the next
    // packet when asked. True when something was sent. A template that does not read (a hand-
    // edited file) is not sent: `refused` hears why.
    bool SendPacket(TCoding coding, bool stepToNext,
                    const std::function<void(std::string_view)>& send,
                    const std::function<void(const std::string&)>& refused = {});
    // The bytes a packet sends now, or why it sends nothing.
    static TResult<std::string> BytesOf(const TPacket& packet, TCoding coding);
    // The packets with a period of their own, as the sender takes them; one that cannot be
    // sent is left out and `refused` hears why.
    std::vector<TTimedSend>
    TimedSends(TCoding coding, const std::function<void(const std::string&)>& refused) const;

    void RecodePackets(TCoding coding);
    // The section "Packets" of the configuration file; data is stored in hex.
    void Load(const TIniFile& config, TCoding coding);
    // Writes only when the list was modified; false when nothing needed writing.
    bool Save(TIniFile& config, TCoding coding);

  private:
    void StoreCurrent(const TPacket& packet, TCoding coding);
    void AfterStorage(TCoding coding);

    std::vector<TPacket> Items;
    int CurrentIndex = -1;
    bool Changed = false;
    TCoding Coding = TCoding::WinHex;
};

} // namespace vemla
