#include "main_window/port_settings.h"

#include "platform/cp1251.h"
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
    auto refuse = [&](const char* message) {
        result.Error = Utf8ToCp1251(message);
        result.SystemError = EINVAL;
        return result;
    };
    if (Port.empty()) return refuse("Укажите порт");
    int32_t baud = 0, gap = 0, packetSize = 0;
    if (!ParseNumber(BaudRate, 1, INT32_MAX, baud))
        return refuse("Скорость: целое число бит/с больше нуля");
    if (!ParseNumber(Gap, 0, INT32_MAX, gap)) return refuse("Пауза: целое число миллисекунд");
    if (!ParseNumber(PacketSize, 1, INT32_MAX, packetSize))
        return refuse("Размер пакета: целое число байт больше нуля");
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

TResult<> StorePortSettings(TIniFile& config, const TTerminalSettings& settings) {
    TTerminalSettings stored = ReadTerminalSettings(config);
    bool changed = false;
    auto write = [&](const char* section, const char* key, int64_t was, int64_t now) {
        if (was == now) return;
        config.WriteString(section, key, std::to_string(now));
        changed = true;
    };
    if (settings.Device != stored.Device) {
        config.WriteString("Port", "Device", settings.Device);
        changed = true;
    }
    write("Port", "BaudRate", stored.Line.BaudRate, settings.Line.BaudRate);
    write("Port", "ByteSize", stored.Line.ByteSize, settings.Line.ByteSize);
    write("Port", "Parity", stored.Line.Parity, settings.Line.Parity);
    write("Port", "StopBits", stored.Line.StopBits, settings.Line.StopBits);
    write("Port", "DTR_CONTROL", stored.Line.DtrControl, settings.Line.DtrControl);
    write("Port", "RTS_CONTROL", stored.Line.RtsControl, settings.Line.RtsControl);
    write("Port", "ReadIntervalTimeout", stored.Timeouts.ReadIntervalTimeout,
          settings.Timeouts.ReadIntervalTimeout);
    write("Terminal", "packetSize", stored.PacketSize, settings.PacketSize);
    if (!changed) return {};
    if (int error = config.Save(); error != 0)
        return {{},
                Utf8ToCp1251("Настройки порта не сохранены в ") + config.Path() + ":\n" +
                    SystemMessage(error),
                error};
    return {};
}

} // namespace vemla
