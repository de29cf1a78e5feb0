// A server may send anything: the telnet client neither crashes nor grows without bound, and
// how the bytes are cut into reads never changes what they mean.
#include "platform/net_spelling.h"
#include "platform/rfc2217.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace vemla;

namespace {

struct TOutcome {
    std::string Data, Outgoing;
    bool Broken = false;
};

TOutcome Feed(std::string_view input, size_t chunk) {
    TTelnetClient client(true, TLineSettings{});
    TOutcome outcome;
    outcome.Outgoing = client.Greeting();
    auto now = TTelnetClient::TClock::time_point{};
    for (size_t at = 0; at < input.size(); at += chunk) {
        std::string bytes(input.substr(at, chunk));
        const size_t kept = client.Receive(bytes.data(), bytes.size(), now);
        if (kept > bytes.size()) std::abort();
        outcome.Data.append(bytes, 0, kept);
        outcome.Outgoing += client.TakeOutgoing();
        client.TakeNotices(now += TTelnetClient::AcknowledgeTimeout);
    }
    outcome.Broken = client.Broken();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    ParseNetSpelling(input);
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 7;
    const TOutcome whole = Feed(input, input.size());
    const TOutcome cut = Feed(input, chunk);
    if (whole.Data != cut.Data || whole.Outgoing != cut.Outgoing || whole.Broken != cut.Broken)
        std::abort();
    // Data is escaped on the way out and read back unchanged.
    const std::string escaped = TTelnetClient::Escape(input);
    if (TTelnetClient::DataSent(input, escaped.size()) != size) std::abort();
    TTelnetClient reader(false, TLineSettings{});
    std::string back = escaped;
    back.resize(reader.Receive(back.data(), back.size(), {}));
    if (back != input) std::abort();
    return 0;
}
