#pragma once

#include "platform/ini_file.h"
#include "platform/port.h"

#include <cstdint>
#include <string>
#include <vector>

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
    bool Reconnect = true; // reopen a lost or missing port by itself
    // A second port beside the device's: the application's side of a bridge (every packet
    // passed on to the other port), or a second line that is only listened to (a tap).
    enum class TSecondPort { None, Bridge, Tap };
    TSecondPort SecondPortMode = TSecondPort::None;
    std::string SecondPort;

    // Where the port lives: the Device path, else /dev/ttyS<n-1>.
    std::string PortPath() const;
    // How reports name the port: "COM n", or the Device path as text.
    std::string PortName() const;
};

// The port's keys come from its section ([Port] for the device's port), the rest from
// [Terminal].
TTerminalSettings ReadTerminalSettings(const TIniFile& config,
                                       const std::string& portSection = "Port");

// A configuration value given for this run only (by a command-line option); never written back.
struct TSettingOverride {
    std::string Section, Key, Value;
};
using TSettingOverrides = std::vector<TSettingOverride>;

// The configuration as the program reads it: the file's values, then the overrides on top.
TIniFile ReadConfiguration(const std::string& fileName, const TSettingOverrides& overrides);

} // namespace vemla
