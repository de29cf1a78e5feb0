#pragma once

#include "platform/net_spelling.h"
#include "platform/port.h"

namespace vemla {

// "tcp://HOST:PORT" (or "socket://"): the bytes of a TCP connection as they come, without
// settings; "rfc2217://HOST:PORT": telnet with COM-port control, which puts these settings on
// the server's serial port, switches its DTR, RTS and break and reports its modem lines.
// Name resolution and the connection may take long: callers open these on a thread of their
// own; cancel (when given) abandons the attempt.
TPortOpenResult OpenNetworkPort(const std::string& spelling, const TLineSettings& settings,
                                const TCommTimeouts& timeouts, const TEvent* cancel);

} // namespace vemla
