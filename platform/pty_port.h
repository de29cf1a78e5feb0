#pragma once

#include "platform/port.h"

#include <string>
#include <string_view>

namespace vemla {

// "pty:PATH": a virtual port. vemla creates a pseudo-terminal, links PATH to the side that an
// application opens, and is the device on the other side. It keeps the application's side
// open itself, so the application may close and reopen the port as often as it likes and
// nothing vemla sends meanwhile is lost on vemla's side; the settings the application gives
// the port come as notices. A stale link at PATH is replaced; anything else there is refused
// and left as it is. The link goes with the port, if it still points to it. POSIX only.
bool NamesAVirtualPort(std::string_view spelling);
TPortOpenResult OpenVirtualPort(const std::string& spelling, const TLineSettings& settings,
                                const TCommTimeouts& timeouts);

} // namespace vemla
