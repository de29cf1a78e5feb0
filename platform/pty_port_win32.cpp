#include "platform/pty_port.h"

#include "platform/system.h"

namespace vemla {

bool NamesAVirtualPort(std::string_view spelling) {
    return spelling.rfind("pty:", 0) == 0;
}

// Windows has no pseudo-terminals of this kind.
TPortOpenResult OpenVirtualPort(const std::string&, const TLineSettings&, const TCommTimeouts&) {
    TPortOpenResult result;
    result.Error = ErrorNotOffered;
    return result;
}

} // namespace vemla
