#include "main_window/port_settings.h"
#include "platform/cp1251.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(PortSettingsForm, GivesTheSettingsOrNamesTheWrongField) {
    TTerminalSettings current; // COM 1, 9600 8M1
    current.Line.DtrControl = 2;
    current.Line.RtsControl = 3;
    TPortSettingsForm unchanged = TPortSettingsForm::FromSettings(current);
    EXPECT_EQ(unchanged.Port, "/dev/ttyS0");
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
}

} // namespace
} // namespace vemla
