#include "app/startup.h"
#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "tests/support/record_sink.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vemla {
namespace {

using test::TTempDir;

TEST(Startup, ConfigFileFromTheCommandLine) {
    TTempDir dir;
    std::string existing = dir.Write("my.ini", "");
    // A name without a directory is the file in the working directory, as it was checked.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Directory());
    std::string fifo = dir.Path("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct {
        std::vector<std::string> Arguments;
        std::string FileName, Suffix, Missing;
    } cases[] = {
        {{}, "/prog/config.ini", "", ""},
        {{existing, "ignored"}, existing, " [\"" + existing + "\"]", ""},
        {{dir.Path("none.ini")}, "/prog/config.ini", "", dir.Path("none.ini")},
        {{"my.ini"}, "my.ini", " [\"my.ini\"]", ""},
        {{"./my.ini"}, "./my.ini", " [\"./my.ini\"]", ""},
        // Only a regular file is a configuration.
        {{"/dev/zero"}, "/prog/config.ini", "", "/dev/zero"},
        {{fifo}, "/prog/config.ini", "", fifo},
        {{dir.Directory().string()}, "/prog/config.ini", "", dir.Directory().string()},
    };
    for (const auto& c : cases) {
        TConfigChoice choice = SettleConfigFile(c.Arguments, "/prog/");
        EXPECT_EQ(choice.FileName, c.FileName);
        EXPECT_EQ(choice.CaptionSuffix, c.Suffix);
        EXPECT_EQ(choice.MissingFile, c.Missing);
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(Cp1251ToUtf8(MissingConfigWarning("x.ini")),
              "Файл \"x.ini\" не найден. Будет использоваться \"config.ini\"");
    TTerminalSettings com;
    com.PortNumber = 3;
    EXPECT_EQ(Cp1251ToUtf8(MainCaption(com, "")), "Терминал [COM3] ");
    com.Device = "/dev/ttyUSB0";
    EXPECT_EQ(Cp1251ToUtf8(MainCaption(com, " [\"a.ini\"]")),
              "Терминал [/dev/ttyUSB0]  [\"a.ini\"]");
}

TEST(Startup, AnInstalledCopyKeepsItsFilesInTheUserDirectory) {
    TTempDir dir;
    std::string program = dir.Path("bin") + "/", user = dir.Path("user/vemla") + "/";
    std::filesystem::create_directory(dir.Path("bin"));
    // No config.ini beside the program: the user's.
    EXPECT_EQ(SettleConfigFile({}, program, user).FileName, user + "config.ini");
    // A copy run from its build directory has its config.ini and keeps using it.
    dir.Write("bin/config.ini", "");
    EXPECT_EQ(SettleConfigFile({}, program, user).FileName, program + "config.ini");

    TDesktopFiles built = SettleDesktopFiles(program, "/work/", user, true);
    EXPECT_EQ(built.Main, "/work/desktop.ini");
    EXPECT_EQ(built.Tools, program + "desktop.ini");
    TDesktopFiles installed = SettleDesktopFiles(program, "/work/", user, false);
    EXPECT_EQ(installed.Main, user + "desktop.ini");
    EXPECT_EQ(installed.Tools, user + "desktop.ini");

    // Installed is told by the layout, not by the rights: <prefix>/bin beside <prefix>/share/vemla.
    EXPECT_FALSE(InstalledLayout(program));
    std::filesystem::create_directories(dir.Path("share/vemla"));
    EXPECT_TRUE(InstalledLayout(program));
    std::filesystem::create_directories(dir.Path("build/share/vemla"));
    EXPECT_FALSE(InstalledLayout(dir.Path("build") + "/"));
}

TEST(Startup, TheSecondPortMustBeAnotherPortThanTheDevices) {
    TTempDir dir;
    const std::string device = dir.Write("ttyUSB0", ""), other = dir.Write("ttyUSB1", "");
    std::filesystem::create_symlink(device, dir.Path("by-id"));
    struct {
        std::string First, Second;
        bool Same;
    } cases[] = {
        {device, dir.Path("by-id"), true}, // a link to it
        {"pty:" + device, device, true},   // a virtual port is its path
        {device, dir.Path("./x/../ttyUSB0"), true},
        {device, other, false},
        {"pty:" + dir.Path("new"), dir.Path("new"), true}, // not there yet
        {"tcp://rig:7001", "rfc2217://rig:7001", true},
        {"tcp://rig:7001", "tcp://rig:7002", false},
        {"tcp://rig:7001", device, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesTheSamePort(c.First, c.Second), c.Same) << c.First << " " << c.Second;

    // From a configuration file: an Error record, and the device's port alone.
    test::TRecordSink sink;
    const std::string config =
        dir.Write("c.ini", "[Port]\r\nDevice=" + device +
                               "\r\n[Bridge]\r\nDevice=" + dir.Path("by-id") + "\r\n");
    TTerminalSettings settings = ReadEngineSettings(config, {}, sink);
    EXPECT_EQ(settings.SecondPortMode, TTerminalSettings::TSecondPort::None);
    ASSERT_EQ(sink.Records().size(), 1u);
    EXPECT_EQ(sink.Records()[0].Kind, TTrafficKind::Error);
    EXPECT_EQ(sink.Records()[0].Data,
              Utf8ToCp1251("Второй порт ") + dir.Path("by-id") +
                  Utf8ToCp1251(" совпадает с портом устройства: он не открыт"));
}

} // namespace
} // namespace vemla
