#pragma once

#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vemla {

// The three fields of the main window's status bar, in CP1251.
struct TStatusTexts {
    std::string Path;  // "/dev/ttyUSB0"
    std::string Line;  // "115200 8N1"
    std::string State; // "открыт", "закрыт", "ожидание устройства"
    std::string Counters; // "принято 1234 Б, передано 56 Б", and ", без триггера 7" with triggers
};

// Data bits, parity letter (N, O, E, M, S) and stop bits (1, 1.5, 2): "8N1".
std::string FrameText(const TLineSettings& line);
// unmatched: received packets that no trigger took, where there are triggers; confirmedRate:
// the rate a network server confirmed for its port; secondState: the state of the second port
// of a bridge or a tap, whose path and state follow the device port's ("… — …").
TStatusTexts StatusTexts(const TTerminalSettings& settings, TPortState state, uint64_t received,
                         uint64_t sent, std::optional<uint64_t> unmatched = std::nullopt,
                         std::optional<int32_t> confirmedRate = std::nullopt,
                         std::optional<TPortState> secondState = std::nullopt);

enum class TLamp : uint8_t { Unavailable, Off, On };
inline constexpr std::array<const char*, 4> ModemLineNames = {"CTS", "DSR", "DCD", "RI"};

// The modem part of the status bar: a lamp per input line (in ModemLineNames order), the DTR
// and RTS toggles and the break action.
struct TModemControls {
    std::array<TLamp, 4> Lamps{};
    bool DtrEnabled = false;
    bool DtrOn = false;
    bool RtsEnabled = false;
    bool RtsOn = false;
    bool BreakEnabled = false;
    bool operator==(const TModemControls&) const = default;
};

// Lines under handshake control are the driver's, not the user's; a port without modem lines
// has neither lamps nor toggles.
TModemControls ModemControls(const std::optional<TModemLines>& lines, const TLineSettings& line,
                             TPortState state);
// "CTS=1 DSR=0 DCD=1 RI=0": how standard output is told of a change.
std::string ModemLinesText(const TModemLines& lines);

} // namespace vemla
