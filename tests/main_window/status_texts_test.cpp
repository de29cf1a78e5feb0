#include "main_window/status_texts.h"
#include "platform/cp1251.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(StatusTexts, PortSettingsStateAndCounters) {
    struct {
        std::string Device;
        TLineSettings Line;
        TPortState State;
        const char* Port;
        const char* StateText;
    } cases[] = {
        {"/dev/ttyUSB0",
         {115200, 8, 0, 0, 0, 0},
         TPortState::Open,
         "/dev/ttyUSB0 115200 8N1",
         "открыт"},
        {"", {9600, 8, 3, 0, 0, 0}, TPortState::Closed, "/dev/ttyS0 9600 8M1", "закрыт"},
        {"/dev/ttyACM0",
         {300, 7, 2, 1, 0, 0},
         TPortState::Waiting,
         "/dev/ttyACM0 300 7E1.5",
         "ожидание устройства"},
        {"x", {50, 5, 4, 2, 0, 0}, TPortState::Open, "x 50 5S2", "открыт"},
        {"x", {50, 9, 7, 5, 0, 0}, TPortState::Open, "x 50 9??", "открыт"}, // refused values
    };
    for (const auto& c : cases) {
        TTerminalSettings settings;
        settings.Device = c.Device;
        settings.Line = c.Line;
        TStatusTexts texts = StatusTexts(settings, c.State, 1234, 5);
        EXPECT_EQ(texts.Port, c.Port);
        EXPECT_EQ(Cp1251ToUtf8(texts.State), c.StateText);
        EXPECT_EQ(Cp1251ToUtf8(texts.Counters), "принято 1234 Б, передано 5 Б");
    }
}

} // namespace
} // namespace vemla
