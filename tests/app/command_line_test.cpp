#include "app/command_line.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace vemla {
namespace {

bool IsDevice(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("tcp://", 0) == 0;
}

std::string Keys(const TSettingOverrides& overrides) {
    std::string keys;
    for (const auto& o : overrides)
        keys += o.Section + "." + o.Key + "=" + o.Value + " ";
    return keys;
}

TEST(CommandLine, OptionsBecomeConfigurationKeysForThisRun) {
    struct {
        std::vector<std::string> Arguments;
        std::string Keys;
        std::vector<std::string> Positional;
    } cases[] = {
        {{}, "", {}},
        {{"my.ini", "--echo"}, "", {"my.ini"}},
        {{"/dev/ttyUSB0", "-b", "115200"}, "Port.Device=/dev/ttyUSB0 Port.BaudRate=115200 ", {}},
        {{"my.ini", "/dev/ttyUSB0"}, "", {"my.ini", "/dev/ttyUSB0"}}, // only the first argument
        {{"-p", "/dev/ttyACM0", "--baud=921600", "--frame", "8N1"},
         "Port.Device=/dev/ttyACM0 Port.BaudRate=921600 Port.ByteSize=8 Port.Parity=0 "
         "Port.StopBits=0 ",
         {}},
        {{"--frame", "7m1.5"}, "Port.ByteSize=7 Port.Parity=3 Port.StopBits=1 ", {}},
        {{"--frame", "5S2", "--flow", "rtscts"},
         "Port.ByteSize=5 Port.Parity=4 Port.StopBits=2 Port.RTS_CONTROL=2 ",
         {}},
        {{"--dtr", "on", "--rts", "off", "--flow", "none"},
         "Port.DTR_CONTROL=1 Port.RTS_CONTROL=0 Port.RTS_CONTROL=0 ",
         {}},
        {{"--lang", "en", "--lang=auto"}, "Terminal.Language=en Terminal.Language=auto ", {}},
        {{"--gap", "5", "--packet-size", "64", "--triggers", "t.txt", "--hash-size", "2"},
         "Port.ReadIntervalTimeout=5 Terminal.packetSize=64 Terminal.TriggerFile=t.txt "
         "Terminal.hashSize=2 ",
         {}},
        {{"--log-dir", "logs", "--autosave", "--hide", "--no-reconnect"},
         "Log.Dir=logs Log.AutoSave=1 Terminal.Hide=1 Port.Reconnect=0 ",
         {}},
        {{"-p", "/dev/ttyUSB0", "--bridge", "pty:/tmp/ttyV0"},
         "Port.Device=/dev/ttyUSB0 Bridge.Device=pty:/tmp/ttyV0 Bridge.Tap=0 ",
         {}},
        {{"--tap=/dev/ttyUSB1"}, "Bridge.Device=/dev/ttyUSB1 Bridge.Tap=1 ", {}},
        // An empty attached value is a value: the next argument is not taken for it.
        {{"--log-dir=", "--autosave"}, "Log.Dir= Log.AutoSave=1 ", {}},
        // After "--" nothing is an option.
        {{"--", "-odd.ini", "--echo"}, "", {"-odd.ini", "--echo"}},
    };
    for (const auto& c : cases) {
        TCommandLine line = ParseCommandLine(c.Arguments, IsDevice);
        EXPECT_EQ(line.Error, "") << c.Arguments.front();
        EXPECT_EQ(Keys(line.Overrides), c.Keys);
        EXPECT_EQ(line.Arguments, c.Positional);
    }
    TCommandLine check = ParseCommandLine({"--check-triggers", "t.txt", "--hash-size", "2"});
    EXPECT_TRUE(check.CheckTriggers);
    EXPECT_EQ(check.TriggerFile, "t.txt");
    EXPECT_EQ(check.HashSize, 2);
    EXPECT_TRUE(ParseCommandLine({"--list-ports"}).ListPorts);

    // Packets sent by the program itself: in order, at a period, a number of times.
    TCommandLine sends = ParseCommandLine({"--send", "01 03 00 0A 00 02 CRC16M", "--send", "'AT'",
                                           "--every", "10", "--count", "3", "--duration", "2.5"});
    ASSERT_EQ(sends.TimedSends.size(), 2u);
    EXPECT_EQ(sends.TimedSends[0].Bytes, std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8));
    EXPECT_EQ(sends.TimedSends[1].Bytes, "AT");
    EXPECT_EQ(sends.TimedSends[1].Period, std::chrono::milliseconds(10));
    EXPECT_EQ(sends.TimedSends[1].Count, 3u);
    EXPECT_EQ(sends.Duration, std::chrono::milliseconds(2500));
    TCommandLine once = ParseCommandLine({"--send", "01"});
    ASSERT_EQ(once.TimedSends.size(), 1u);
    EXPECT_EQ(once.TimedSends[0].Period.count(), 0);
}

TEST(CommandLine, ABadValueNamesTheOptionAndWhatItAccepts) {
    struct {
        std::vector<std::string> Arguments;
        std::string Error;
    } cases[] = {
        {{"--check-triggers"}, "--check-triggers needs a value: a file name"},
        {{"--hash-size", "x2"}, "--hash-size needs a whole number, not \"x2\""},
        {{"--hash-size", "99999999999"}, "--hash-size needs a whole number, not \"99999999999\""},
        {{"--baud", "x"}, "--baud needs a whole number of bit/s above 0, not \"x\""},
        {{"-b", "0"}, "--baud needs a whole number of bit/s above 0, not \"0\""},
        {{"--frame", "9Q3"},
         "--frame needs data bits 5 to 8, parity N, O, E, M or S and stop bits 1, 1.5 or 2, like "
         "8N1, not \"9Q3\""},
        {{"--frame", "8N3"},
         "--frame needs data bits 5 to 8, parity N, O, E, M or S and stop bits 1, 1.5 or 2, like "
         "8N1, not \"8N3\""},
        {{"--flow", "xon"}, "--flow needs none or rtscts, not \"xon\""},
        {{"--dtr", "1"}, "--dtr needs on or off, not \"1\""},
        {{"--lang", "EN"}, "--lang needs ru, en or auto, not \"EN\""},
        {{"--gap", "-5"}, "--gap needs a whole number of milliseconds, not \"-5\""},
        {{"--packet-size", "1e3"},
         "--packet-size needs a whole number of bytes above 0, not \"1e3\""},
        {{"--packet-size", "0"}, "--packet-size needs a whole number of bytes above 0, not \"0\""},
        {{"--gap", " 5"}, "--gap needs a whole number of milliseconds, not \" 5\""},
        {{"--gap", "5 "}, "--gap needs a whole number of milliseconds, not \"5 \""},
        {{"--autosave=0"}, "--autosave takes no value, not \"0\""},
        {{"--bogus=1"}, "unknown option --bogus"},
        {{"--port"},
         "--port needs a value: a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, "
         "socket://HOST:PORT (PORT 1-65535, an IPv6 host as [::1])"},
        {{"-p", "tcp://host"},
         "--port needs a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, "
         "socket://HOST:PORT (PORT 1-65535, an IPv6 host as [::1]), not \"tcp://host\""},
        {{"--port=rfc2217://:0"},
         "--port needs a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, "
         "socket://HOST:PORT (PORT 1-65535, an IPv6 host as [::1]), not \"rfc2217://:0\""},
        {{"tcp://rig:65536"},
         "the port needs a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, "
         "socket://HOST:PORT (PORT 1-65535, an IPv6 host as [::1]), not \"tcp://rig:65536\""},
        {{"-x"}, "unknown option -x"},
        {{"--bridge", "tcp://rig"},
         "--bridge needs a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, "
         "socket://HOST:PORT (PORT 1-65535, an IPv6 host as [::1]), not \"tcp://rig\""},
        {{"--bridge", "pty:/tmp/a", "--tap", "/dev/ttyS1"},
         "give one second port: --bridge PORT2 or --tap PORT2"},
        {{"-p", "/dev/ttyS1", "--tap", "/dev/../dev/ttyS1"},
         "--tap needs another port than the device's (/dev/ttyS1), not \"/dev/../dev/ttyS1\""},
        {{"-p", "rfc2217://rig:7001", "--bridge", "tcp://rig:7001"},
         "--bridge needs another port than the device's (rfc2217://rig:7001), not "
         "\"tcp://rig:7001\""},
        {{"--send", "01 CRC16X9"},
         "--send needs bytes in hex or a template, like \"01 03 00 0A 00 02 CRC16M\", not "
         "\"01 CRC16X9\""},
        {{"--send", "01", "--every", "0"},
         "--every needs a whole number of milliseconds from 1 to 86400000, not \"0\""},
        {{"--send", "01", "--every", "5", "--count", "-1"},
         "--count needs a whole number above 0, not \"-1\""},
        {{"--duration", "0"},
         "--duration needs a number of seconds above 0, like 10 or 2.5, not \"0\""},
        {{"--duration", "-2"},
         "--duration needs a number of seconds above 0, like 10 or 2.5, not \"-2\""},
        {{"--duration", "1e3"},
         "--duration needs a number of seconds above 0, like 10 or 2.5, not \"1e3\""},
        {{"--every", "5"}, "--every and --count need the packets: --send BYTES"},
        {{"--send", "01", "--count", "3"}, "--count needs the period: --every MS"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCommandLine(c.Arguments, IsDevice).Error, c.Error);
}

#ifndef _WIN32
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
#endif

} // namespace
} // namespace vemla
