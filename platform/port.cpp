#include "platform/port.h"

#include "platform/net_port.h"
#include "platform/pty_port.h"
#include "platform/serial_port.h"
#include "platform/system.h"

#include <string_view>

namespace vemla {
namespace {

// A spelling with a scheme ("tcp://...") names a port of a kind that is not a device path.
bool NamesADevice(std::string_view spelling) {
    return spelling.find("://") == std::string_view::npos && !NamesAVirtualPort(spelling);
}

struct TPortKind {
    bool (*Names)(std::string_view spelling);
    TPortOpenResult (*Open)(const std::string& spelling, const TLineSettings& settings,
                            const TCommTimeouts& timeouts, const TEvent* cancel);
};

const TPortKind PortKinds[] = {
    {NamesAVirtualPort,
     [](const std::string& spelling, const TLineSettings& settings, const TCommTimeouts& timeouts,
        const TEvent*) { return OpenVirtualPort(spelling, settings, timeouts); }},
    {NamesANetworkPort, OpenNetworkPort},
    {NamesADevice,
     [](const std::string& spelling, const TLineSettings& settings, const TCommTimeouts& timeouts,
        const TEvent*) { return TSerialPort::Open(spelling, settings, timeouts); }},
};

} // namespace

bool OpensSlowly(const std::string& spelling) {
    return NamesANetworkPort(spelling);
}

int TPort::SendBreak(std::chrono::milliseconds, const TEvent&) {
    return ErrorNotOffered;
}

int TPort::SetLine(const TLineSettings&) {
    return ErrorNotOffered;
}

TPortOpenResult OpenPort(const std::string& spelling, const TLineSettings& settings,
                         const TCommTimeouts& timeouts, const TEvent* cancel) {
    for (const TPortKind& kind : PortKinds)
        if (kind.Names(spelling)) return kind.Open(spelling, settings, timeouts, cancel);
    TPortOpenResult missing;
    missing.Error = ErrorNoSuchFile;
    return missing;
}

} // namespace vemla
