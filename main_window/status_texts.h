#pragma once

#include "engine/terminal_host.h"
#include "engine/terminal_settings.h"

#include <cstdint>
#include <string>

namespace vemla {

// The three fields of the main window's status bar, in CP1251.
struct TStatusTexts {
    std::string Port;     // "/dev/ttyUSB0 115200 8N1"
    std::string State;    // "открыт", "закрыт", "ожидание устройства"
    std::string Counters; // "принято 1234 Б, передано 56 Б"
};

// Data bits, parity letter (N, O, E, M, S) and stop bits (1, 1.5, 2): "8N1".
std::string FrameText(const TLineSettings& line);
TStatusTexts StatusTexts(const TTerminalSettings& settings, TPortState state, uint64_t received,
                         uint64_t sent);

} // namespace vemla
