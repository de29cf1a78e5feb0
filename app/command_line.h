#pragma once

#include "engine/send_schedule.h"
#include "engine/terminal_settings.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemla {

struct TCommandLine {
    std::vector<std::string> Arguments; // the configuration file, if any
    bool Help = false;
    bool Version = false;
    bool Echo = false;
    bool ListPorts = false;
    bool CheckTriggers = false;
    std::string TriggerFile; // --check-triggers, --check-session: the file, as --triggers gives it
    std::string SessionLog;  // --check-session: a log file or a directory of them
    bool Mirror = false;     // --check-session: the triggers play the other side of the log
    std::string LearnLog;    // --learn
    std::vector<std::string> SecondPorts; // --bridge, --tap: the options given, in order
    int32_t HashSize = 0;
    // --send (in order), --every, --count: packets the program sends by itself.
    std::vector<std::string> SendBytes;
    int64_t EveryMilliseconds = 0; // 0: once
    int64_t Count = 0;             // 0: for ever (with --every)
    std::vector<TTimedSend> TimedSends;
    // --duration: the run ends by itself after that long, as a close would end it.
    std::optional<std::chrono::milliseconds> Duration;
    // Configuration keys the options set for this run, in the order given.
    TSettingOverrides Overrides;
    std::string Error; // a malformed command line: what was wrong and what is accepted
};

// namesAPort tells a first argument that is the port from a configuration file.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              bool (*namesAPort)(const std::string&) = nullptr);
// The text of --help for the program of that name ("vemla" has a window, "vemla-cli" none).
std::string UsageText(const std::string& program);
// Without a display, a hidden or echoing vemla runs on the offscreen platform.
bool NeedsOffscreenPlatform(const TCommandLine& commandLine, bool hideConfigured);

} // namespace vemla
