#include "platform/net_spelling.h"

#include <array>

namespace vemla {
namespace {

struct TScheme {
    std::string_view Prefix;
    TNetSpelling::TKind Kind;
};

constexpr std::array<TScheme, 3> Schemes = {{{"tcp://", TNetSpelling::TKind::Raw},
                                             {"socket://", TNetSpelling::TKind::Raw},
                                             {"rfc2217://", TNetSpelling::TKind::Rfc2217}}};

const TScheme* SchemeOf(std::string_view spelling) {
    for (const TScheme& scheme : Schemes)
        if (spelling.substr(0, scheme.Prefix.size()) == scheme.Prefix) return &scheme;
    return nullptr;
}

std::optional<uint16_t> PortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(ch - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

bool NamesANetworkPort(std::string_view spelling) {
    return SchemeOf(spelling) != nullptr;
}

std::optional<TNetSpelling> ParseNetSpelling(std::string_view spelling) {
    const TScheme* scheme = SchemeOf(spelling);
    if (!scheme) return std::nullopt;
    std::string_view rest = spelling.substr(scheme->Prefix.size());
    std::string_view host;
    size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = rest.substr(1, close - 1);
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':') return std::nullopt;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = rest.substr(0, colon);
        if (host.find(':') != std::string_view::npos) return std::nullopt; // IPv6 needs brackets
    }
    std::optional<uint16_t> port = PortNumber(rest.substr(colon + 1));
    // Anything after the port (a path, "?options") is refused by the port check.
    if (host.empty() || !port || host.find_first_of("/?# ") != std::string_view::npos)
        return std::nullopt;
    return TNetSpelling{scheme->Kind, std::string(host), *port};
}

} // namespace vemla
