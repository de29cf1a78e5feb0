#include "app/startup.h"

#include "platform/cp1251.h"
#include "platform/system.h"

namespace vemla {

TConfigChoice SettleConfigFile(const std::vector<std::string>& arguments,
                               const std::string& programDirectory,
                               const std::string& userDirectory) {
    TConfigChoice choice;
    // The file named on the command line is the one whose existence was checked: it is used
    // as typed. Only the default config.ini lives in the program's directory.
    if (!arguments.empty()) {
        const std::string& argument = arguments.front();
        if (IsRegularFile(argument)) {
            choice.FileName = argument;
            choice.CaptionSuffix = " [\"" + PathText(argument) + "\"]";
            return choice;
        }
        choice.MissingFile = argument;
    }
    choice.FileName = programDirectory + "config.ini";
    if (!userDirectory.empty() && !IsRegularFile(choice.FileName))
        choice.FileName = userDirectory + "config.ini";
    return choice;
}

TDesktopFiles SettleDesktopFiles(const std::string& programDirectory,
                                 const std::string& workingDirectory,
                                 const std::string& userDirectory, bool programDirectoryWritable) {
    if (!programDirectoryWritable)
        return {userDirectory + "desktop.ini", userDirectory + "desktop.ini"};
    return {workingDirectory + "desktop.ini", programDirectory + "desktop.ini"};
}

std::string MissingConfigWarning(const std::string& argument) {
    return Utf8ToCp1251("Файл \"") + PathText(argument) +
           Utf8ToCp1251("\" не найден. Будет использоваться \"config.ini\"");
}

std::string MainCaption(const TTerminalSettings& settings, const std::string& suffix) {
    std::string port = settings.Device.empty() ? "COM" + std::to_string(settings.PortNumber)
                                               : PathText(settings.Device);
    return Utf8ToCp1251("Терминал") + " [" + port + "] " + suffix;
}

} // namespace vemla
