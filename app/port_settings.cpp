#include "app/port_settings.h"

#include "platform/cp1251.h"
#include "platform/messages.h"
#include "platform/net_spelling.h"
#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vemla {
namespace {

bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || text[0] == '+' || parsed < low || parsed > high) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

} // namespace

TPortSettingsForm TPortSettingsForm::FromSettings(const TTerminalSettings& settings) {
    TPortSettingsForm form;
    form.Port = settings.PortPath();
    form.BaudRate = std::to_string(settings.Line.BaudRate);
    form.ByteSize = settings.Line.ByteSize;
    form.Parity = settings.Line.Parity;
    form.StopBits = settings.Line.StopBits;
    form.RtsCtsFlow = settings.Line.RtsControl == 2;
    form.Dtr = settings.Line.DtrControl != 0;
    form.Rts = settings.Line.RtsControl == 1 || settings.Line.RtsControl == 3;
    form.Gap = std::to_string(settings.Timeouts.ReadIntervalTimeout);
    form.PacketSize = std::to_string(settings.PacketSize);
    return form;
}

TResult<TTerminalSettings> TPortSettingsForm::ToSettings(const TTerminalSettings& current) const {
    TResult<TTerminalSettings> result{current, {}, 0};
    TTerminalSettings& s = result.Value;
    auto refuse = [&](TMessage message) {
        result.Error = MessageText(message);
        result.SystemError = EINVAL;
        return result;
    };
    if (Port.empty()) return refuse(TMessage::SettingsNoPort);
    if (NamesANetworkPort(Port) && !ParseNetSpelling(Port))
        return refuse(TMessage::SettingsBadNetPort);
    int32_t baud = 0, gap = 0, packetSize = 0;
    if (!ParseNumber(BaudRate, 1, INT32_MAX, baud)) return refuse(TMessage::SettingsBadRate);
    if (!ParseNumber(Gap, 0, INT32_MAX, gap)) return refuse(TMessage::SettingsBadGap);
    if (!ParseNumber(PacketSize, 1, INT32_MAX, packetSize))
        return refuse(TMessage::SettingsBadPacketSize);
    // The numbered port stays as it was when its path was not changed.
    if (Port != current.PortPath()) s.Device = Port;
    s.Line.BaudRate = baud;
    s.Line.ByteSize = ByteSize;
    s.Line.Parity = Parity;
    s.Line.StopBits = StopBits;
    // Handshake values without a control of their own stay as they were while the box
    // still says the same.
    bool dtrUnchanged = Dtr == (current.Line.DtrControl != 0);
    s.Line.DtrControl = dtrUnchanged ? current.Line.DtrControl : (Dtr ? 1 : 0);
    if (RtsCtsFlow)
        s.Line.RtsControl = 2;
    else if (Rts && current.Line.RtsControl == 3)
        s.Line.RtsControl = 3;
    else
        s.Line.RtsControl = Rts ? 1 : 0;
    s.Timeouts.ReadIntervalTimeout = static_cast<uint32_t>(gap);
    s.PacketSize = packetSize;
    return result;
}

bool TakesLineSettings(const std::string& port) {
    const std::optional<TNetSpelling> remote = ParseNetSpelling(port);
    return !remote || remote->Kind != TNetSpelling::TKind::Raw;
}

TResult<> StorePortSettings(TIniFile& config, const TTerminalSettings& before,
                            const TTerminalSettings& after) {
    if (int error = config.ReadError(); error != 0)
        return {{},
                MessageText(TMessage::SettingsUntilExit,
                            {PathText(config.Path()), SystemMessage(error)}),
                error};
    TTerminalSettings stored = ReadTerminalSettings(config);
    bool changed = false;
    auto write = [&](const char* section, const char* key, int64_t was, int64_t now,
                     int64_t inFile) {
        if (was == now || now == inFile) return;
        config.WriteString(section, key, std::to_string(now));
        changed = true;
    };
    if (after.Device != before.Device && after.Device != stored.Device) {
        config.WriteString("Port", "Device", after.Device);
        changed = true;
    }
    write("Port", "BaudRate", before.Line.BaudRate, after.Line.BaudRate, stored.Line.BaudRate);
    write("Port", "ByteSize", before.Line.ByteSize, after.Line.ByteSize, stored.Line.ByteSize);
    write("Port", "Parity", before.Line.Parity, after.Line.Parity, stored.Line.Parity);
    write("Port", "StopBits", before.Line.StopBits, after.Line.StopBits, stored.Line.StopBits);
    write("Port", "DTR_CONTROL", before.Line.DtrControl, after.Line.DtrControl,
          stored.Line.DtrControl);
    write("Port", "RTS_CONTROL", before.Line.RtsControl, after.Line.RtsControl,
          stored.Line.RtsControl);
    write("Port", "ReadIntervalTimeout", before.Timeouts.ReadIntervalTimeout,
          after.Timeouts.ReadIntervalTimeout, stored.Timeouts.ReadIntervalTimeout);
    write("Terminal", "packetSize", before.PacketSize, after.PacketSize, stored.PacketSize);
    if (!changed) return {};
    if (int error = config.Save(); error != 0)
        return {{},
                MessageText(TMessage::SettingsNotSaved,
                            {PathText(config.Path()), SystemMessage(error)}),
                error};
    return {};
}

} // namespace vemla
