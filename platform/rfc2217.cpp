#include "platform/rfc2217.h"

#include "platform/messages.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace vemla {
namespace {

// Telnet (RFC 854/855) and its COM-port option (RFC 2217).
constexpr uint8_t Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250, Se = 240;
constexpr uint8_t Binary = 0, SuppressGoAhead = 3, ComPort = 44;
// COM-port commands, client to server; the server answers each with the command plus 100.
constexpr uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
                  SetModemStateMask = 11, PurgeData = 12;
constexpr uint8_t ServerOffset = 100, NotifyModemState = 107;
// SET-CONTROL values.
constexpr uint8_t FlowNone = 1, FlowHardware = 3, BreakOn = 5, BreakOff = 6, DtrOn = 8, DtrOff = 9,
                  RtsOn = 11, RtsOff = 12;
constexpr uint8_t PurgeReceived = 1;

bool Wanted(uint8_t option, bool comPort) {
    return option == Binary || option == SuppressGoAhead || (comPort && option == ComPort);
}

std::string Verb(uint8_t verb, uint8_t option) {
    return {static_cast<char>(Iac), static_cast<char>(verb), static_cast<char>(option)};
}

} // namespace

TTelnetClient::TTelnetClient(bool comPortControl, const TLineSettings& settings)
    : ComPortWanted(comPortControl), Settings(settings) {}

std::string TTelnetClient::Greeting() {
    std::string greeting;
    for (uint8_t option : {Binary, SuppressGoAhead, ComPort}) {
        if (!Wanted(option, ComPortWanted)) continue;
        greeting += Verb(Will, option);
        Mine[option] = TOption::Asked;
        if (option == ComPort) continue; // the server does not do COM-port control for us
        greeting += Verb(Do, option);
        His[option] = TOption::Asked;
    }
    return greeting;
}

size_t TTelnetClient::Receive(char* bytes, size_t count, TClock::time_point now) {
    size_t kept = 0;
    for (size_t i = 0; i < count && !BrokenConnection; ++i) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        switch (State) {
        case TState::Data:
            if (byte == Iac)
                State = TState::Command;
            else
                bytes[kept++] = static_cast<char>(byte);
            break;
        case TState::Command:
            State = TState::Data;
            if (byte == Iac) {
                bytes[kept++] = static_cast<char>(byte);
            } else if (byte >= Will && byte <= Dont) {
                VerbSeen = byte;
                State = TState::Option;
            } else if (byte == Sb) {
                Sub.clear();
                State = TState::Sub;
            } // other commands (NOP, go-ahead, data mark...) carry nothing for a serial line
            break;
        case TState::Option:
            State = TState::Data;
            OnOption(VerbSeen, byte, now);
            break;
        case TState::Sub:
            if (byte == Iac) {
                State = TState::SubCommand;
            } else if (Sub.size() < SubnegotiationLimit) {
                Sub += static_cast<char>(byte);
            } else {
                BrokenConnection = true; // the port's failure says so
            }
            break;
        case TState::SubCommand:
            if (byte == Iac) {
                Sub += static_cast<char>(byte);
                State = TState::Sub;
            } else {
                // SE ends it; anything else ends it too, broken, and is dropped with it.
                if (byte == Se) OnSubnegotiation(now);
                State = TState::Data;
            }
            break;
        }
    }
    return kept;
}

void TTelnetClient::OnOption(uint8_t verb, uint8_t option, TClock::time_point now) {
    // DO/DONT are about what we do; WILL/WONT about what the server does. A request is
    // answered only when it changes the state, so two sides never loop.
    const bool aboutMe = verb == Do || verb == Dont;
    const bool enable = verb == Do || verb == Will;
    TOption& state = aboutMe ? Mine[option] : His[option];
    const bool acceptable = Wanted(option, ComPortWanted) && (aboutMe || option != ComPort);
    if (enable) {
        if (state == TOption::On) return;
        if (!acceptable) {
            Outgoing += Verb(aboutMe ? Wont : Dont, option);
            return;
        }
        if (state == TOption::Off) Outgoing += Verb(aboutMe ? Will : Do, option);
        state = TOption::On;
        if (aboutMe && option == ComPort) {
            ComPortOn = true;
            SendSettings(now);
        }
        return;
    }
    if (state == TOption::On) Outgoing += Verb(aboutMe ? Wont : Dont, option);
    const bool refused = state == TOption::Asked;
    state = TOption::Off;
    if (aboutMe && option == ComPort) {
        ComPortOn = false;
        Pending.clear();
        if (refused && !ComPortRefusalNoted) {
            ComPortRefusalNoted = true;
            Notices.push_back(
                {TPortNotice::TLevel::Warning, MessageText(TMessage::ServerRefusedRfc2217)});
        }
    }
}

void TTelnetClient::OnSubnegotiation(TClock::time_point) {
    if (Sub.size() < 2 || static_cast<uint8_t>(Sub[0]) != ComPort || !ComPortOn) return;
    const auto command = static_cast<uint8_t>(Sub[1]);
    const std::string_view value = std::string_view(Sub).substr(2);
    if (command <= ServerOffset) return;
    auto pending = std::find_if(Pending.begin(), Pending.end(), [&](const TPending& p) {
        return p.Command == command - ServerOffset;
    });
    if (pending != Pending.end()) Pending.erase(pending);
    if (command == ServerOffset + PurgeData) Purged = true;
    if (command == ServerOffset + SetBaudRate && value.size() == 4) {
        uint32_t rate = 0;
        for (char ch : value)
            rate = rate << 8 | static_cast<uint8_t>(ch);
        if (rate > 0 && rate <= INT32_MAX) Rate = static_cast<int32_t>(rate);
    } else if (command == NotifyModemState && !value.empty()) {
        const auto state = static_cast<uint8_t>(value[0]);
        Lines = {(state & 0x10) != 0, (state & 0x20) != 0, (state & 0x80) != 0,
                 (state & 0x40) != 0};
    }
}

void TTelnetClient::SendCommand(uint8_t command, std::string_view value, std::string_view what,
                                TClock::time_point now) {
    if (!ComPortOn) return;
    Outgoing += {static_cast<char>(Iac), static_cast<char>(Sb), static_cast<char>(ComPort),
                 static_cast<char>(command)};
    Outgoing += Escape(value);
    Outgoing += {static_cast<char>(Iac), static_cast<char>(Se)};
    if (!what.empty()) Pending.push_back({command, std::string(what), now + AcknowledgeTimeout});
}

void TTelnetClient::SendSettings(TClock::time_point now) {
    const auto rate = static_cast<uint32_t>(std::max(Settings.BaudRate, 0));
    const char rateBytes[4] = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                               static_cast<char>(rate >> 8), static_cast<char>(rate)};
    auto one = [](int value) { return std::string(1, static_cast<char>(value)); };
    SendCommand(SetBaudRate, std::string_view(rateBytes, 4), MessageText(TMessage::CommandRate),
                now);
    SendCommand(SetDataSize, one(std::clamp(Settings.ByteSize, 5, 8)),
                MessageText(TMessage::CommandDataBits), now);
    SendCommand(SetParity, one(std::clamp(Settings.Parity, 0, 4) + 1),
                MessageText(TMessage::CommandParity), now);
    static constexpr uint8_t Stops[] = {1, 3, 2}; // one, one and a half, two
    SendCommand(SetStopSize, one(Stops[std::clamp(Settings.StopBits, 0, 2)]),
                MessageText(TMessage::CommandStopBits), now);
    const bool hardwareFlow = Settings.RtsControl == 2;
    SendCommand(SetControl, one(hardwareFlow ? FlowHardware : FlowNone),
                MessageText(TMessage::CommandFlowControl), now);
    SendCommand(SetControl, one(Settings.DtrControl != 0 ? DtrOn : DtrOff), "DTR", now);
    if (!hardwareFlow)
        SendCommand(SetControl, one(Settings.RtsControl != 0 ? RtsOn : RtsOff), "RTS", now);
    // Neither ser2net nor Python's server confirms the mask, though the RFC asks it: not
    // waited for.
    SendCommand(SetModemStateMask, one(0xFF), {}, now);
    // What the device sent before anyone listened is stale, as a serial port's input queue is
    // when it opens.
    SendCommand(PurgeData, one(PurgeReceived), MessageText(TMessage::CommandPurge), now);
}

void TTelnetClient::SetModemOutput(TModemOutput line, bool on, TClock::time_point now) {
    const bool dtr = line == TModemOutput::Dtr;
    const uint8_t value = dtr ? (on ? DtrOn : DtrOff) : (on ? RtsOn : RtsOff);
    SendCommand(SetControl, std::string(1, static_cast<char>(value)), dtr ? "DTR" : "RTS", now);
}

void TTelnetClient::SetBreak(bool on, TClock::time_point now) {
    SendCommand(SetControl, std::string(1, static_cast<char>(on ? BreakOn : BreakOff)), "break",
                now);
}

std::string TTelnetClient::TakeOutgoing() {
    return std::exchange(Outgoing, {});
}

std::vector<TPortNotice> TTelnetClient::TakeNotices(TClock::time_point now) {
    std::string late;
    std::erase_if(Pending, [&](const TPending& p) {
        if (p.Due > now) return false;
        if (Warned.insert(p.What).second) late += (late.empty() ? "" : ", ") + p.What;
        return true;
    });
    if (!late.empty())
        Notices.push_back(
            {TPortNotice::TLevel::Warning, MessageText(TMessage::ServerDidNotConfirm, {late})});
    return std::exchange(Notices, {});
}

std::string TTelnetClient::Escape(std::string_view data) {
    std::string escaped;
    escaped.reserve(data.size() + 16);
    for (char ch : data) {
        escaped += ch;
        if (static_cast<uint8_t>(ch) == Iac) escaped += ch;
    }
    return escaped;
}

size_t TTelnetClient::DataSent(std::string_view data, size_t sent) {
    size_t whole = 0, wire = 0;
    for (char ch : data) {
        wire += static_cast<uint8_t>(ch) == Iac ? 2 : 1;
        if (wire > sent) break;
        ++whole;
    }
    return whole;
}

} // namespace vemla
