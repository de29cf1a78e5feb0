#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemla {

struct TCommandLine {
    std::vector<std::string> Arguments; // the configuration file, if any
    bool Help = false;
    bool Version = false;
    bool Echo = false;
    bool CheckTriggers = false;
    std::string TriggerFile;
    int32_t HashSize = 0;
    std::string Error; // a malformed command line
};

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string UsageText();
// Without a display, a hidden or echoing vemla runs on the offscreen platform.
bool NeedsOffscreenPlatform(const TCommandLine& commandLine, bool hideConfigured);

} // namespace vemla
