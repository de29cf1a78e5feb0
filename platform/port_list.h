#pragma once

#include <string>
#include <vector>

namespace vemla {

// One serial port of the machine, as sysfs and /dev/serial/by-id describe it.
struct TPortInfo {
    std::string Path;    // /dev/ttyUSB0
    std::string ById;    // its /dev/serial/by-id link, if any
    std::string Driver;  // ftdi_sio, cdc_acm, serial8250, ...
    std::string Vendor;  // USB idVendor, product and serial number, where the port is USB
    std::string Product; // "0403:6001 FT232R USB UART"
    std::string Serial;

    // "path  by-id  driver  vendor:product product serial", leaving out what is unknown.
    std::string Describe() const;
};

// Every tty with a device behind it, sorted by path; UARTs the kernel found no hardware for
// (type 0) are left out. The roots are parameters so that tests can fake them.
std::vector<TPortInfo> ListSerialPorts(const std::string& sysRoot = "/sys/class/tty",
                                       const std::string& byIdRoot = "/dev/serial/by-id",
                                       const std::string& devRoot = "/dev");

} // namespace vemla
