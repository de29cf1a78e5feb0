#include "app/status_texts.h"
#include "platform/cp1251.h"

#include "tests/support/system_specifics.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(StatusTexts, PortSettingsStateAndCounters) {
    struct {
        std::string Device;
        TLineSettings Line;
        TPortState State;
        std::string Port;
        const char* StateText;
        std::optional<int32_t> ConfirmedRate = std::nullopt;
    } cases[] = {
        {"/dev/ttyUSB0",
         {115200, 8, 0, 0, 0, 0},
         TPortState::Open,
         "/dev/ttyUSB0 115200 8N1",
         "открыт"},
        {"",
         {9600, 8, 3, 0, 0, 0},
         TPortState::Closed,
         test::FirstPortPath + std::string(" 9600 8M1"),
         "закрыт"},
        {"/dev/ttyACM0",
         {300, 7, 2, 1, 0, 0},
         TPortState::Waiting,
         "/dev/ttyACM0 300 7E1.5",
         "ожидание устройства"},
        {"x", {50, 5, 4, 2, 0, 0}, TPortState::Open, "x 50 5S2", "открыт"},
        {"x", {50, 5, 4, 2, 0, 0}, TPortState::ClosedByUser, "x 50 5S2", "закрыт пользователем"},
        {"x", {50, 9, 7, 5, 0, 0}, TPortState::Open, "x 50 9??", "открыт"}, // refused values
        {"pty:/tmp/v",
         {},
         TPortState::ApplicationConnected,
         "pty:/tmp/v 9600 8M1",
         "приложение подключено"},
        {"pty:/tmp/v",
         {},
         TPortState::ApplicationAwaited,
         "pty:/tmp/v 9600 8M1",
         "ожидание приложения"},
        // A server's port shows the rate the server confirmed, the asked one marked until it
        // does; a raw connection has no settings to show.
        {"rfc2217://rig:7001",
         {9600, 8, 0, 0, 0, 0},
         TPortState::Open,
         "rfc2217://rig:7001 57600 8N1",
         "открыт",
         57600},
        {"rfc2217://rig:7001",
         {9600, 8, 0, 0, 0, 0},
         TPortState::Open,
         "rfc2217://rig:7001 9600? 8N1",
         "открыт"},
        {"rfc2217://rig:7001",
         {9600, 8, 0, 0, 0, 0},
         TPortState::Waiting,
         "rfc2217://rig:7001 9600 8N1",
         "ожидание устройства"},
        {"tcp://[::1]:7002", {}, TPortState::Open, "tcp://[::1]:7002 TCP, без настроек", "открыт"},
    };
    for (const auto& c : cases) {
        TTerminalSettings settings;
        settings.Device = c.Device;
        settings.Line = c.Line;
        TStatusTexts texts = StatusTexts(settings, c.State, 1234, 5, std::nullopt, c.ConfirmedRate);
        EXPECT_EQ(Cp1251ToUtf8(texts.Path + " " + texts.Line), c.Port);
        EXPECT_EQ(Cp1251ToUtf8(texts.State), c.StateText);
        EXPECT_EQ(Cp1251ToUtf8(texts.Counters), "принято 1234 Б, передано 5 Б");
    }
    EXPECT_EQ(Cp1251ToUtf8(StatusTexts({}, TPortState::Open, 1, 2, 7).Counters),
              "принято 1 Б, передано 2 Б, без триггера 7");

    // A bridge: both ports, each with its state.
    TTerminalSettings bridge;
    bridge.Device = "/dev/ttyUSB0";
    bridge.SecondPort = "pty:/tmp/ttyV0";
    bridge.SecondPortMode = TTerminalSettings::TSecondPort::Bridge;
    TStatusTexts both = StatusTexts(bridge, TPortState::Waiting, 0, 0, std::nullopt, std::nullopt,
                                    TPortState::ApplicationConnected);
    EXPECT_EQ(Cp1251ToUtf8(both.Path), "/dev/ttyUSB0 — pty:/tmp/ttyV0");
    EXPECT_EQ(Cp1251ToUtf8(both.State), "ожидание устройства — приложение подключено");
}

TEST(StatusTexts, ModemControlsFollowTheLinesTheHandshakeAndThePort) {
    constexpr TLamp U = TLamp::Unavailable, O = TLamp::Off, I = TLamp::On;
    const TModemLines ctsDcd{.Cts = true, .Dcd = true};
    struct {
        std::optional<TModemLines> Lines;
        int32_t Dtr, Rts;
        TPortState State;
        TModemControls Expected;
    } cases[] = {
        // A pseudo-terminal: no lamps, no toggles, but a break.
        {std::nullopt, 1, 1, TPortState::Open, {{U, U, U, U}, false, true, false, true, true}},
        {std::nullopt, 0, 0, TPortState::Closed, {{U, U, U, U}, false, false, false, false, false}},
        {ctsDcd, 0, 0, TPortState::Open, {{I, O, I, O}, true, false, true, false, true}},
        {TModemLines{.Dsr = true, .Ri = true},
         1,
         1,
         TPortState::Open,
         {{O, I, O, I}, true, true, true, true, true}},
        // Handshake (DTR 2, RTS 2) and RS-485 toggling (RTS 3) keep the lines to the driver.
        {ctsDcd, 2, 2, TPortState::Open, {{I, O, I, O}, false, true, false, true, true}},
        {ctsDcd, 0, 3, TPortState::Waiting, {{I, O, I, O}, true, false, false, false, false}},
    };
    for (const auto& c : cases) {
        TLineSettings line;
        line.DtrControl = c.Dtr;
        line.RtsControl = c.Rts;
        EXPECT_EQ(ModemControls(c.Lines, line, c.State), c.Expected)
            << "DTR " << c.Dtr << " RTS " << c.Rts;
    }
    EXPECT_EQ(ModemLinesText(ctsDcd), "CTS=1 DSR=0 DCD=1 RI=0");
    EXPECT_EQ(ModemLinesText({true, true, true, true}), "CTS=1 DSR=1 DCD=1 RI=1");
}

} // namespace
} // namespace vemla
