#pragma once

#include "codec/codec.h"
#include "engine/send_schedule.h"
#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"
#include "platform/messages.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vemla {

// Which configuration file is in force, from the command line.
struct TConfigChoice {
    std::string FileName;
    std::string CaptionSuffix;
    std::string MissingFile; // the argument, when it named no existing file
};

// A file named on the command line is used as typed. Otherwise config.ini in the program's
// directory, or, when there is none there and a user directory is given, the one in it.
TConfigChoice SettleConfigFile(const std::vector<std::string>& arguments,
                               const std::string& programDirectory,
                               const std::string& userDirectory = "");

// Where the windows keep their layouts: the main window in the working directory, the tool
// windows in the program's directory; both in the user directory when the program's
// directory cannot be written (an installed copy).
struct TDesktopFiles {
    std::string Main, Tools;
};
TDesktopFiles SettleDesktopFiles(const std::string& programDirectory,
                                 const std::string& workingDirectory,
                                 const std::string& userDirectory, bool programDirectoryWritable);
// Whether a first argument is the port: a virtual port (pty:PATH), a character device, or a
// path under /dev that is not there yet (an adapter not plugged in, which vemla then waits for).
bool NamesAPort(const std::string& path);
// Whether two port spellings name one port: the same device after following links (a virtual
// port counts as its path), or the same host and port.
bool NamesTheSamePort(const std::string& first, const std::string& second);

// Everything a front end settles from its command line before it starts: the files in force
// (the user directory made when they live there) and the options for this run.
struct TStartup {
    TConfigChoice Config;
    TDesktopFiles Desktop;
    TSettingOverrides Overrides; // keys the command line sets for this run only
    bool Echo = false;
    std::vector<TTimedSend> TimedSends;                // --send, --every, --count
    std::optional<std::chrono::milliseconds> Duration; // --duration
};
// A program directory <prefix>/bin/ with <prefix>/share/vemla beside it: a copy installed
// by "cmake --install" (or a package).
bool InstalledLayout(const std::string& programDirectory);
TStartup SettleStartup(const std::vector<std::string>& arguments, TSettingOverrides overrides,
                       bool echo);
// The coding of the traffic lines as the main window last left it ([Custom] Coding).
TCoding StoredCoding(const TDesktopFiles& desktop);
std::string MissingConfigWarning(const std::string& argument);
// The engine's settings from the configuration in force. A configuration that could not be
// read gives the defaults and a Warning record, handed to the host before anything else.
TTerminalSettings ReadEngineSettings(const std::string& configFile,
                                     const TSettingOverrides& overrides, TTerminalHost& host);
// The language of this run: [Terminal] Language of the configuration (--lang sets it), Russian
// when the key is missing or names no language (ReadEngineSettings then warns).
TLanguage SettleLanguage(const TIniFile& config);
// The window caption with the port: "Терминал [COM3] " + suffix, or "[path]" for a Device.
std::string MainCaption(const TTerminalSettings& settings, const std::string& suffix);

} // namespace vemla
