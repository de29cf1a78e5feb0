#include "platform/port_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vemla {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The nearest directory at or above start that holds a USB device's idVendor.
fs::path UsbDevice(fs::path at) {
    std::error_code error;
    for (int up = 0; up < 8 && !at.empty() && at != at.root_path(); ++up, at = at.parent_path())
        if (fs::exists(at / "idVendor", error)) return at;
    return {};
}

// The driver that serves the port. Newer kernels put the serial core's own "port" and "ctrl"
// devices (bus serial-base) between a UART's tty and its hardware: the hardware's driver
// (serial8250, serial, ...) is further up.
std::string DriverOf(const fs::path& device) {
    std::error_code error;
    fs::path at = fs::canonical(device, error);
    for (int up = 0; up < 4 && !error && !at.empty() && at != at.root_path();
         ++up, at = at.parent_path()) {
        const fs::path driver = fs::read_symlink(at / "driver", error);
        if (error) {
            error.clear();
            continue;
        }
        if (driver.string().find("/serial-base/") == std::string::npos)
            return driver.filename().string();
    }
    return {};
}

} // namespace

std::vector<TPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& byIdRoot,
                                       const std::string& devRoot) {
    std::vector<TPortInfo> ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysRoot, error)) {
        fs::path device = entry.path() / "device";
        if (!fs::exists(device, error)) continue; // virtual consoles and ptys have none
        if (fs::exists(entry.path() / "type", error) && FirstLine(entry.path() / "type") == "0")
            continue;
        TPortInfo port;
        port.Path = (fs::path(devRoot) / entry.path().filename()).string();
        port.Driver = DriverOf(device);
        if (fs::path usb = UsbDevice(fs::canonical(device, error)); !usb.empty()) {
            port.Vendor = FirstLine(usb / "idVendor");
            port.Product = FirstLine(usb / "idProduct");
            if (std::string name = FirstLine(usb / "product"); !name.empty())
                port.Product += " " + name;
            port.Serial = FirstLine(usb / "serial");
        }
        ports.push_back(std::move(port));
    }
    for (const fs::directory_entry& link : fs::directory_iterator(byIdRoot, error)) {
        std::string target = fs::canonical(link.path(), error).filename().string();
        for (TPortInfo& port : ports)
            if (fs::path(port.Path).filename() == target) port.ById = link.path().string();
    }
    std::sort(ports.begin(), ports.end(),
              [](const TPortInfo& a, const TPortInfo& b) { return a.Path < b.Path; });
    return ports;
}

} // namespace vemla
