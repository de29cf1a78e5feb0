#include "platform/net_port.h"

#include "platform/system.h"

namespace vemla {

// The telnet protocol itself is shared; the Windows build has no sockets behind it yet.
TPortOpenResult OpenNetworkPort(const std::string&, const TLineSettings&, const TCommTimeouts&,
                                const TEvent*) {
    TPortOpenResult result;
    result.Error = ErrorNotOffered;
    return result;
}

} // namespace vemla
