#pragma once

#include "platform/serial_port.h"

#include <windows.h>

namespace vemla {

// The line settings as the communications API takes them: every field not set from them is
// zero (no parity checking, no XON/XOFF, no special characters, no error replacement).
DCB DcbFor(const TLineSettings& settings);
COMMTIMEOUTS CommTimeoutsFor(const TCommTimeouts& timeouts);
// "COM3" and "//./COM3" as the system names them: \\.\COM3; other paths with '\' separators.
std::string WindowsDevicePath(const std::string& path);

} // namespace vemla
