#pragma once

#include "engine/terminal_settings.h"

#include <string>

namespace vemla::test {

// A configuration file's text for a port on the given device, with packets ended by 5 ms of
// silence; extra lines follow it.
inline std::string PortConfig(const std::string& device, const std::string& extra = "") {
    return "[Port]\r\nDevice=" + device + "\r\nReadIntervalTimeout=5\r\n" + extra;
}

// The engine's settings of a configuration file, as the program reads them.
inline TTerminalSettings SettingsOf(const std::string& configFile) {
    return ReadTerminalSettings(TIniFile(configFile));
}

} // namespace vemla::test
