#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vemla {

// A port on another machine: "tcp://HOST:PORT" (raw bytes; "socket://" is the same),
// "rfc2217://HOST:PORT" (telnet with COM-port control); an IPv6 host in brackets.
struct TNetSpelling {
    enum class TKind { Raw, Rfc2217 };
    TKind Kind = TKind::Raw;
    std::string Host;
    uint16_t Port = 0;
};

// Whether the spelling has a network scheme at all (and so is no device path), well formed
// or not.
bool NamesANetworkPort(std::string_view spelling);
// The parts of a well-formed spelling; nothing when the host is missing or the port is not a
// number in 1..65535.
std::optional<TNetSpelling> ParseNetSpelling(std::string_view spelling);
// What a malformed spelling is told it should look like.
constexpr const char* NetSpellingForms =
    "tcp://HOST:PORT, rfc2217://HOST:PORT or socket://HOST:PORT, PORT 1-65535, an IPv6 host as "
    "[::1]";

} // namespace vemla
