#include "main_window/command_line.h"

#include <cstdlib>

namespace vemla {

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TCommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](const char* option) -> const std::string* {
            if (i + 1 < arguments.size()) return &arguments[++i];
            line.Error = std::string(option) + " needs a value";
            return nullptr;
        };
        if (argument == "--help" || argument == "-h") {
            line.Help = true;
        } else if (argument == "--version") {
            line.Version = true;
        } else if (argument == "--echo") {
            line.Echo = true;
        } else if (argument == "--check-triggers") {
            line.CheckTriggers = true;
            if (const std::string* file = value("--check-triggers")) line.TriggerFile = *file;
        } else if (argument == "--hash-size") {
            const std::string* number = value("--hash-size");
            if (!number) continue;
            char* end = nullptr;
            long parsed = std::strtol(number->c_str(), &end, 10);
            if (number->empty() || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX)
                line.Error = "--hash-size needs a whole number, not \"" + *number + "\"";
            else
                line.HashSize = static_cast<int32_t>(parsed);
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
            line.Error = "unknown option " + argument;
        } else {
            line.Arguments.push_back(argument);
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: vemla [CONFIG] [--echo]\n"
           "       vemla --check-triggers FILE [--hash-size N]\n"
           "\n"
           "A serial terminal that shows, logs and answers the traffic on one port.\n"
           "\n"
           "  CONFIG                 configuration file (default: config.ini beside the program)\n"
           "  --echo                 also write every traffic line to standard output\n"
           "  --check-triggers FILE  load a trigger file as vemla would and report the result\n"
           "  --hash-size N          the hashSize to check with (default 0: whole packets)\n"
           "  --version              print the version\n"
           "  --help                 print this text\n";
}

bool NeedsOffscreenPlatform(const TCommandLine& commandLine, bool hideConfigured) {
    bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    bool platformChosen = std::getenv("QT_QPA_PLATFORM");
    return !hasDisplay && !platformChosen && (hideConfigured || commandLine.Echo);
}

} // namespace vemla
