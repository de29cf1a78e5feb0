#include "main_window/command_line.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(CommandLine, OptionsAndTheirMistakes) {
    struct {
        std::vector<std::string> Arguments;
        std::string Error;
        bool Echo, Check;
        int32_t HashSize;
        std::vector<std::string> Positional;
    } cases[] = {
        {{}, "", false, false, 0, {}},
        {{"my.ini", "--echo"}, "", true, false, 0, {"my.ini"}},
        {{"--check-triggers", "t.txt", "--hash-size", "2"}, "", false, true, 2, {}},
        {{"--check-triggers"}, "--check-triggers needs a value", false, true, 0, {}},
        {{"--hash-size", "x2"},
         "--hash-size needs a whole number, not \"x2\"",
         false,
         false,
         0,
         {}},
        {{"--hash-size", "99999999999"},
         "--hash-size needs a whole number, not \"99999999999\"",
         false,
         false,
         0,
         {}},
        {{"-x"}, "unknown option -x", false, false, 0, {}},
    };
    for (const auto& c : cases) {
        TCommandLine line = ParseCommandLine(c.Arguments);
        EXPECT_EQ(line.Error, c.Error);
        EXPECT_EQ(line.Echo, c.Echo);
        EXPECT_EQ(line.CheckTriggers, c.Check);
        EXPECT_EQ(line.HashSize, c.HashSize);
        EXPECT_EQ(line.Arguments, c.Positional);
    }
}

TEST(CommandLine, OffscreenOnlyWithoutADisplayForHiddenOrEchoingRuns) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    TCommandLine echo = ParseCommandLine({"--echo"});
    TCommandLine plain = ParseCommandLine({});
    EXPECT_TRUE(NeedsOffscreenPlatform(echo, false));
    EXPECT_TRUE(NeedsOffscreenPlatform(plain, true));
    EXPECT_FALSE(NeedsOffscreenPlatform(plain, false));
    setenv("DISPLAY", ":0", 1);
    EXPECT_FALSE(NeedsOffscreenPlatform(echo, true));
    unsetenv("DISPLAY");
}

} // namespace
} // namespace vemla
