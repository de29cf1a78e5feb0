#include "engine/terminal_settings.h"

#include "platform/serial_port.h"
#include "platform/system.h"

#include <algorithm>

namespace vemla {

std::string TTerminalSettings::PortPath() const {
    if (!Device.empty()) return NormalizePath(Device);
    return SerialPortPath(PortNumber);
}

std::string TTerminalSettings::PortName() const {
    return Device.empty() ? "COM " + std::to_string(PortNumber) : PathText(Device);
}

TTerminalSettings ReadTerminalSettings(const TIniFile& config, const std::string& portSection) {
    TTerminalSettings s;
    const char* port = portSection.c_str();
    auto readTimeout = [&](const char* key, uint32_t& field) {
        field = static_cast<uint32_t>(config.ReadInteger(port, key, static_cast<int32_t>(field)));
    };
    s.PortNumber = config.ReadInteger(port, "Number", 1);
    s.Device = config.ReadString(port, "Device", "");
    readTimeout("ReadIntervalTimeout", s.Timeouts.ReadIntervalTimeout);
    readTimeout("ReadTotalTimeoutMultiplier", s.Timeouts.ReadTotalTimeoutMultiplier);
    readTimeout("ReadTotalTimeoutConstant", s.Timeouts.ReadTotalTimeoutConstant);
    s.Line.BaudRate = config.ReadInteger(port, "BaudRate", 9600);
    s.Line.DtrControl = config.ReadInteger(port, "DTR_CONTROL", 0);
    s.Line.RtsControl = config.ReadInteger(port, "RTS_CONTROL", 0);
    s.Line.ByteSize = config.ReadInteger(port, "ByteSize", 8);
    s.Line.StopBits = config.ReadInteger(port, "StopBits", 0);
    s.Line.Parity = config.ReadInteger(port, "Parity", 3);
    s.PacketSize = config.ReadInteger("Terminal", "packetSize", 10);
    s.HashSize = config.ReadInteger("Terminal", "hashSize", 0);
    s.TriggerFile = config.ReadString("Terminal", "TriggerFile", "");
    s.Reconnect = config.ReadBool(port, "Reconnect", true);
    s.SecondPort = config.ReadString("Bridge", "Device", "");
    if (!s.SecondPort.empty())
        s.SecondPortMode = config.ReadBool("Bridge", "Tap", false)
                               ? TTerminalSettings::TSecondPort::Tap
                               : TTerminalSettings::TSecondPort::Bridge;
    return s;
}

TIniFile ReadConfiguration(const std::string& fileName, const TSettingOverrides& overrides) {
    TIniFile config(fileName);
    auto overridden = [&](std::string_view key) {
        return std::any_of(overrides.begin(), overrides.end(), [&](const TSettingOverride& o) {
            return o.Section == "Port" && o.Key == key;
        });
    };
    // A port named on the command line is nearly always an 8N1 device: the mark parity of an
    // empty configuration applies only where the file or --frame asks for a parity.
    constexpr std::string_view Unset = "\x01";
    if (overridden("Device") && !overridden("Parity") &&
        config.ReadString("Port", "Parity", Unset) == Unset)
        config.WriteString("Port", "Parity", "0");
    // Changed in memory only: this object is never saved.
    for (const TSettingOverride& o : overrides)
        config.WriteString(o.Section, o.Key, o.Value);
    return config;
}

} // namespace vemla
