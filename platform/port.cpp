#include "platform/port.h"

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
                            const TCommTimeouts& timeouts);
};

const TPortKind PortKinds[] = {
    {NamesAVirtualPort, OpenVirtualPort},
    {NamesADevice, TSerialPort::Open},
};

} // namespace

int TPort::SendBreak(std::chrono::milliseconds, const TEvent&) {
    return ErrorNotOffered;
}

TPortOpenResult OpenPort(const std::string& spelling, const TLineSettings& settings,
                         const TCommTimeouts& timeouts) {
    for (const TPortKind& kind : PortKinds)
        if (kind.Names(spelling)) return kind.Open(spelling, settings, timeouts);
    TPortOpenResult missing;
    missing.Error = ErrorNoSuchFile;
    return missing;
}

} // namespace vemla
