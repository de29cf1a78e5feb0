#include "app/port_settings.h"
#include "platform/cp1251.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include "tests/support/system_specifics.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(PortSettingsForm, GivesTheSettingsOrNamesTheWrongField) {
    TTerminalSettings current; // COM 1, 9600 8M1
    current.Line.DtrControl = 2;
    current.Line.RtsControl = 3;
    TPortSettingsForm unchanged = TPortSettingsForm::FromSettings(current);
    EXPECT_EQ(unchanged.Port, test::FirstPortPath);
    TResult<TTerminalSettings> same = unchanged.ToSettings(current);
    ASSERT_TRUE(same.Ok());
    EXPECT_EQ(same.Value.Device, "");         // the numbered port stays numbered
    EXPECT_EQ(same.Value.Line.DtrControl, 2); // handshake and toggle survive an unchanged box
    EXPECT_EQ(same.Value.Line.RtsControl, 3);

    struct {
        void (*Edit)(TPortSettingsForm&);
        const char* Error;
        int32_t Dtr, Rts;
    } cases[] = {
        {[](TPortSettingsForm& f) { f.RtsCtsFlow = true; }, "", 2, 2},
        {[](TPortSettingsForm& f) {
             f.Rts = false;
             f.Dtr = false;
         },
         "", 0, 0},
        {[](TPortSettingsForm& f) { f.Port = ""; }, "Укажите порт", 0, 0},
        {[](TPortSettingsForm& f) { f.BaudRate = "0"; }, "Скорость: целое число бит/с больше нуля",
         0, 0},
        {[](TPortSettingsForm& f) { f.BaudRate = "9600x"; },
         "Скорость: целое число бит/с больше нуля", 0, 0},
        {[](TPortSettingsForm& f) { f.Gap = "-1"; }, "Пауза: целое число миллисекунд", 0, 0},
        {[](TPortSettingsForm& f) { f.PacketSize = "0"; },
         "Размер пакета: целое число байт больше нуля", 0, 0},
        {[](TPortSettingsForm& f) { f.Port = "rfc2217://[::1]:7001"; }, "", 2, 3},
        {[](TPortSettingsForm& f) { f.Port = "tcp://rig"; },
         "Порт: rfc2217://ХОСТ:ПОРТ или tcp://ХОСТ:ПОРТ, порт от 1 до 65535, адрес IPv6 в "
         "скобках: [::1]",
         0, 0},
        {[](TPortSettingsForm& f) { f.Port = "rfc2217://:0"; },
         "Порт: rfc2217://ХОСТ:ПОРТ или tcp://ХОСТ:ПОРТ, порт от 1 до 65535, адрес IPv6 в "
         "скобках: [::1]",
         0, 0},
    };
    for (const auto& c : cases) {
        TPortSettingsForm form = unchanged;
        c.Edit(form);
        TResult<TTerminalSettings> result = form.ToSettings(current);
        EXPECT_EQ(Cp1251ToUtf8(result.Error), c.Error);
        if (!result.Ok()) continue;
        EXPECT_EQ(result.Value.Line.DtrControl, c.Dtr);
        EXPECT_EQ(result.Value.Line.RtsControl, c.Rts);
    }
    for (auto [port, takes] : {std::pair{"tcp://rig:7001", false},
                               {"socket://rig:1", false},
                               {"rfc2217://rig:7001", true},
                               {"/dev/ttyUSB0", true},
                               {"pty:/tmp/v", true}})
        EXPECT_EQ(TakesLineSettings(port), takes) << port;
}

TEST(PortSettingsStore, WritesWhatTheUserChangedAndNeverAFileItCouldNotRead) {
    const std::string file = "; mine\r\n[Port]\r\nBaudRate = 9600 ; slow\r\n";
    TTerminalSettings inForce; // the file's values with -b 57600 --frame 8N1 on top
    inForce.Line.BaudRate = 57600;
    inForce.Line.Parity = 0;
    struct {
        const char* Name;
        void (*Edit)(TTerminalSettings&);
        std::string Content; // the file's content afterwards
        const char* Error;
    } cases[] = {
        {"OK without a change", [](TTerminalSettings&) {}, file, ""},
        {"the rate changed", [](TTerminalSettings& s) { s.Line.BaudRate = 115200; },
         "; mine\r\n[Port]\r\nBaudRate=115200\r\n", ""},
        {"back to the file's own rate", [](TTerminalSettings& s) { s.Line.BaudRate = 9600; }, file,
         ""},
        {"a new device and gap",
         [](TTerminalSettings& s) {
             s.Device = "/dev/ttyUSB1";
             s.Timeouts.ReadIntervalTimeout = 7;
         },
         "; mine\r\n[Port]\r\nBaudRate = 9600 ; slow\r\nDevice=/dev/ttyUSB1\r\n"
         "ReadIntervalTimeout=7\r\n",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TTempDir dir;
        TIniFile config(dir.Write("c.ini", file));
        TTerminalSettings after = inForce;
        c.Edit(after);
        TResult<> stored = StorePortSettings(config, inForce, after);
        EXPECT_EQ(Cp1251ToUtf8(stored.Error), c.Error);
        EXPECT_EQ(dir.Read("c.ini"), c.Content);
    }

    // Too large to read: read as empty, and kept byte for byte whatever is asked of it.
    test::TTempDir dir;
    const std::string large = "[Port]\r\nBaudRate=9600\r\n" + std::string(IniFileLimit, ';');
    TIniFile config(dir.Write("large.ini", large));
    EXPECT_NE(config.ReadError(), 0);
    EXPECT_EQ(config.ReadInteger("Port", "BaudRate", 1), 1);
    TTerminalSettings after = inForce;
    after.Line.BaudRate = 115200;
    TResult<> stored = StorePortSettings(config, inForce, after);
    EXPECT_NE(Cp1251ToUtf8(stored.Error).find("не прочитан и не изменён"), std::string::npos);
    config.WriteString("Packets", "count", "0");
    EXPECT_EQ(config.Save(), config.ReadError());
    EXPECT_TRUE(dir.Read("large.ini") == large);
}

} // namespace
} // namespace vemla
