#pragma once

#include "engine/terminal_settings.h"

#include <string>
#include <vector>

namespace vemla {

// Which configuration file is in force, from the command line.
struct TConfigChoice {
    std::string FileName;
    std::string CaptionSuffix;
    std::string MissingFile; // the argument, when it named no existing file
};

TConfigChoice SettleConfigFile(const std::vector<std::string>& arguments,
                               const std::string& programDirectory);
std::string MissingConfigWarning(const std::string& argument);
// The window caption with the port: "Терминал [COM3] " + suffix, or "[path]" for a Device.
std::string MainCaption(const TTerminalSettings& settings, const std::string& suffix);

} // namespace vemla
