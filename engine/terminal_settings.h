#pragma once

#include "platform/ini_file.h"
#include "platform/serial_port.h"

#include <cstdint>
#include <string>

namespace vemla {

// The engine's part of the configuration file, read once at start-up.
struct TTerminalSettings {
    int32_t PortNumber = 1;
    std::string Device; // a path that replaces the numbered port when set
    TCommTimeouts Timeouts;
    TLineSettings Line;
    int32_t PacketSize = 10;
    int32_t HashSize = 0;
    std::string TriggerFile;

    // Where the port lives: the Device path, else /dev/ttyS<n-1>.
    std::string PortPath() const;
    // How reports name the port: "COM n", or the Device path.
    std::string PortName() const;
};

TTerminalSettings ReadTerminalSettings(const TIniFile& config);

} // namespace vemla
