#include "app/startup.h"

#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/messages.h"
#include "platform/net_spelling.h"
#include "platform/pty_port.h"
#include "platform/system.h"

#include <filesystem>

namespace vemla {
namespace {

// [Terminal] Language, "ru" when the key is missing or empty.
std::string LanguageValue(const TIniFile& config) {
    std::string value = config.ReadString("Terminal", "Language", "");
    return value.empty() ? "ru" : value;
}

} // namespace

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

bool NamesAPort(const std::string& path) {
    return NamesAVirtualPort(path) || NamesANetworkPort(path) || IsCharacterDevice(path) ||
           (path.rfind("/dev/", 0) == 0 && !IsRegularFile(path));
}

bool NamesTheSamePort(const std::string& first, const std::string& second) {
    if (NamesANetworkPort(first) || NamesANetworkPort(second)) {
        auto a = ParseNetSpelling(first), b = ParseNetSpelling(second);
        return a && b && a->Host == b->Host && a->Port == b->Port;
    }
    auto device = [](const std::string& spelling) {
        const std::string path =
            NormalizePath(NamesAVirtualPort(spelling) ? spelling.substr(4) : spelling);
        std::error_code ignored;
        std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
        return resolved.empty() ? std::filesystem::path(path).lexically_normal() : resolved;
    };
    return device(first) == device(second);
}

bool InstalledLayout(const std::string& programDirectory) {
    const std::filesystem::path program = NormalizePath(programDirectory);
    std::error_code ignored;
    return program.parent_path().filename() == "bin" &&
           std::filesystem::is_directory(program.parent_path().parent_path() / "share" / "vemla",
                                         ignored);
}

TStartup SettleStartup(const std::vector<std::string>& arguments, TSettingOverrides overrides,
                       bool echo) {
    TStartup startup;
    // An installed copy keeps its files with the user, also where its prefix is writable (as
    // ~/.local is): nothing beside the program, nothing in the working directory.
    const bool installed =
        !IsWritableDirectory(ProgramDirectory()) || InstalledLayout(ProgramDirectory());
    startup.Config = SettleConfigFile(
        arguments, installed ? UserConfigDirectory() : ProgramDirectory(), UserConfigDirectory());
    // The user directory exists before anything is written there; its files come with the
    // first write.
    if (installed || startup.Config.FileName.rfind(UserConfigDirectory(), 0) == 0) {
        std::error_code ignored;
        std::filesystem::create_directories(UserConfigDirectory(), ignored);
    }
    startup.Desktop = SettleDesktopFiles(ProgramDirectory(), WorkingDirectory(),
                                         UserConfigDirectory(), !installed);
    startup.Overrides = std::move(overrides);
    startup.Echo = echo;
    return startup;
}

TCoding StoredCoding(const TDesktopFiles& desktop) {
    TIniFile file(desktop.Main.empty() ? WorkingDirectory() + "desktop.ini" : desktop.Main);
    return CodingFromInteger(file.ReadInteger("Custom", "Coding", CodingToInteger(TCoding::Hex)));
}

std::string MissingConfigWarning(const std::string& argument) {
    return MessageText(TMessage::ConfigMissing, {PathText(argument)});
}

TTerminalSettings ReadEngineSettings(const std::string& configFile,
                                     const TSettingOverrides& overrides, TTerminalHost& host) {
    TIniFile config = ReadConfiguration(configFile, overrides);
    if (int error = config.ReadError(); error != 0)
        host.PostTraffic(std::make_unique<TTrafficRecord>(TTrafficRecord{
            Now(), TTrafficKind::Warning,
            MessageText(TMessage::ConfigNotRead, {PathText(configFile), SystemMessage(error)})}));
    if (const std::string language = LanguageValue(config);
        !ParseLanguage(language, UserLocaleName()))
        host.PostTraffic(std::make_unique<TTrafficRecord>(TTrafficRecord{
            Now(), TTrafficKind::Warning, MessageText(TMessage::ConfigBadLanguage, {language})}));
    TTerminalSettings settings = ReadTerminalSettings(config);
    if (settings.SecondPortMode != TTerminalSettings::TSecondPort::None &&
        NamesTheSamePort(settings.PortPath(), settings.SecondPort)) {
        host.PostTraffic(std::make_unique<TTrafficRecord>(TTrafficRecord{
            Now(), TTrafficKind::Error,
            MessageText(TMessage::SecondPortIsDevicePort, {PathText(settings.SecondPort)})}));
        settings.SecondPortMode = TTerminalSettings::TSecondPort::None;
    }
    return settings;
}

TLanguage SettleLanguage(const TIniFile& config) {
    return ParseLanguage(LanguageValue(config), UserLocaleName()).value_or(TLanguage::Russian);
}

std::string MainCaption(const TTerminalSettings& settings, const std::string& suffix) {
    std::string port = settings.Device.empty() ? "COM" + std::to_string(settings.PortNumber)
                                               : PathText(settings.Device);
    return MessageText(TMessage::MainCaption) + " [" + port + "] " + suffix;
}

} // namespace vemla
