#pragma once

#include "engine/terminal_settings.h"
#include "platform/ini_file.h"
#include "platform/result.h"

#include <cstdint>
#include <string>

namespace vemla {

// What the port settings dialog shows and edits, as its controls hold it; texts where the
// user types (the port, the rate, the gap and the packet size), indexes where he picks.
struct TPortSettingsForm {
    std::string Port;     // a device path, pty:PATH, rfc2217://HOST:PORT, tcp://HOST:PORT
    std::string BaudRate; // bit/s
    int32_t ByteSize = 8; // 5..8
    int32_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    bool RtsCtsFlow = false;
    bool Dtr = false;
    bool Rts = false;
    std::string Gap;        // ms of silence that end a packet
    std::string PacketSize; // bytes of a packet's first read

    static TPortSettingsForm FromSettings(const TTerminalSettings& settings);
    // The settings the form gives, starting from the current ones; a wrong value is an Error
    // in Russian that names the field.
    TResult<TTerminalSettings> ToSettings(const TTerminalSettings& current) const;
};

// Whether the port takes the line settings (rate, frame, flow control, DTR and RTS): a raw
// network port carries bytes only, its far end is set where it is.
bool TakesLineSettings(const std::string& port);

// Writes the port keys of [Port] and [Terminal] that the user changed (after differs from
// before) and the file does not hold yet, in place, and saves the file; nothing is written when
// nothing changed. Values that were in force without being the file's (the command line's)
// stay out of the file unless the user changed them. A file that could not be read is never
// written: the Error then says the settings hold for this run only.
TResult<> StorePortSettings(TIniFile& config, const TTerminalSettings& before,
                            const TTerminalSettings& after);

} // namespace vemla
