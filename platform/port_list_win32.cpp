#include "platform/port_list.h"

#include <algorithm>
#include <windows.h>

namespace vemla {

// The serial ports the system's drivers registered: the values of HARDWARE\DEVICEMAP\SERIALCOMM
// name the driver's device, their data the port ("COM3"). The roots are a POSIX matter.
std::vector<TPortInfo> ListSerialPorts(const std::string&, const std::string&, const std::string&) {
    std::vector<TPortInfo> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256], data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        LONG result = RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ || dataSize == 0) continue;
        TPortInfo port;
        port.Path = std::string(data, strnlen(data, dataSize));
        port.Driver = std::string(name, nameSize);
        ports.push_back(std::move(port));
    }
    RegCloseKey(key);
    // COM2 before COM10.
    std::sort(ports.begin(), ports.end(), [](const TPortInfo& a, const TPortInfo& b) {
        return a.Path.size() != b.Path.size() ? a.Path.size() < b.Path.size() : a.Path < b.Path;
    });
    return ports;
}

} // namespace vemla
