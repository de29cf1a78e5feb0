#include "app/startup.h"
#include "platform/cp1251.h"
#include "platform/ini_file.h"
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

} // namespace
} // namespace vemla
