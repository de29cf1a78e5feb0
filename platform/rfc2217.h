#pragma once

#include "platform/port.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// The client's side of a telnet connection, with or without COM-port control (RFC 2217):
// what goes on the wire and what comes from it, without any I/O, so that it is the same on
// every system and can be fed anything. Not thread-safe: its owner serialises the calls.
class TTelnetClient {
  public:
    using TClock = std::chrono::steady_clock;
    // A control command the server has not confirmed within this is warned of, once.
    static constexpr std::chrono::milliseconds AcknowledgeTimeout{1000};
    // A subnegotiation longer than this is no server's and ends the connection.
    static constexpr size_t SubnegotiationLimit = 4096;

    // comPortControl: negotiate RFC 2217 and put these settings on the server's port once it
    // agrees; else plain telnet (binary, no go-ahead).
    TTelnetClient(bool comPortControl, const TLineSettings& settings);

    // What opens the negotiation.
    std::string Greeting();
    // Turns bytes from the server, in place, into the data they carry; returns the count.
    // Negotiation is answered through Outgoing; a telnet command may span calls.
    size_t Receive(char* bytes, size_t count, TClock::time_point now);
    // The data escaped for the wire (0xFF doubled).
    static std::string Escape(std::string_view data);
    // How many bytes of data the first `sent` bytes of Escape(data) carry whole.
    static size_t DataSent(std::string_view data, size_t sent);

    // Control commands; their bytes go through Outgoing (nothing before the server agreed to
    // COM-port control: the settings are sent then).
    void SetModemOutput(TModemOutput line, bool on, TClock::time_point now);
    void SetBreak(bool on, TClock::time_point now);

    // Bytes to send to the server (replies, commands), taken.
    std::string TakeOutgoing();
    // Warnings and errors worth a record, taken; the time decides which commands are late.
    std::vector<TPortNotice> TakeNotices(TClock::time_point now);
    // The modem input lines as the server last told them (all off before it did).
    TModemLines ModemLines() const { return Lines; }
    // The rate the server confirmed, once it did.
    std::optional<int32_t> ConfirmedRate() const { return Rate; }
    // The server broke the protocol past repair (an endless subnegotiation).
    bool Broken() const { return BrokenConnection; }
    bool ComPortAgreed() const { return ComPortOn; }
    // The connection is ready for data: the server refused COM-port control, or took the
    // settings and confirmed the purge of its receive queue that follows them (what came
    // before that confirmation is stale).
    bool Settled() const { return !ComPortWanted || ComPortRefusalNoted || Purged; }

  private:
    enum class TState { Data, Command, Option, Sub, SubCommand };
    enum class TOption : uint8_t { Off, Asked, On };
    void OnOption(uint8_t verb, uint8_t option, TClock::time_point now);
    void OnSubnegotiation(TClock::time_point now);
    // what: how a warning names the command when the server does not confirm it (CP1251); empty
    // when servers are known not to.
    void SendCommand(uint8_t command, std::string_view value, std::string_view what,
                     TClock::time_point now);
    void SendSettings(TClock::time_point now);

    struct TPending {
        uint8_t Command;
        std::string What;
        TClock::time_point Due;
    };

    const bool ComPortWanted;
    const TLineSettings Settings;
    TState State = TState::Data;
    uint8_t VerbSeen = 0;
    std::string Sub;
    bool ComPortOn = false;
    bool ComPortRefusalNoted = false;
    bool BrokenConnection = false;
    bool Purged = false;
    TOption Mine[256] = {}; // what we do (the server's DO/DONT)
    TOption His[256] = {};  // what the server does (its WILL/WONT)
    std::string Outgoing;
    std::vector<TPending> Pending;
    std::set<std::string> Warned; // commands already warned of as unconfirmed
    std::vector<TPortNotice> Notices;
    TModemLines Lines;
    std::optional<int32_t> Rate;
};

} // namespace vemla
