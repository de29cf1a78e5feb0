#include "platform/port_list.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vemla {
namespace {

namespace fs = std::filesystem;

TEST(PortList, ReadsSysfsAndByIdAndLeavesOutWhatIsNoPort) {
    test::TTempDir root;
    auto dir = [&](const std::string& path) {
        fs::create_directories(root.Path(path));
        return root.Path(path);
    };
    // A USB adapter: its tty's device lies below the USB device that carries the ids.
    std::string usb = dir("devices/usb1/1-1");
    root.Write("devices/usb1/1-1/idVendor", "0403\n");
    root.Write("devices/usb1/1-1/idProduct", "6001\n");
    root.Write("devices/usb1/1-1/product", "FT232R USB UART\n");
    root.Write("devices/usb1/1-1/serial", "A50285BI\n");
    std::string interface = dir("devices/usb1/1-1/1-1:1.0/ttyUSB0");
    dir("drivers/ftdi_sio");
    fs::create_directory_symlink(root.Path("drivers/ftdi_sio"), interface + "/driver");
    dir("class/ttyUSB0");
    fs::create_directory_symlink(interface, root.Path("class/ttyUSB0/device"));
    // A UART without hardware, and a virtual console without a device.
    dir("devices/platform/serial8250");
    dir("class/ttyS5");
    fs::create_directory_symlink(root.Path("devices/platform/serial8250"),
                                 root.Path("class/ttyS5/device"));
    root.Write("class/ttyS5/type", "0\n");
    // A UART as newer kernels show it: the serial core's devices between it and its driver.
    std::string pnp = dir("devices/pnp0/00:00");
    std::string ctrl = dir("devices/pnp0/00:00/00:00:0");
    std::string uart = dir("devices/pnp0/00:00/00:00:0/00:00:0.0");
    for (const char* driver :
         {"bus/pnp/drivers/serial", "bus/serial-base/drivers/ctrl", "bus/serial-base/drivers/port"})
        dir(driver);
    fs::create_directory_symlink(root.Path("bus/pnp/drivers/serial"), pnp + "/driver");
    fs::create_directory_symlink(root.Path("bus/serial-base/drivers/ctrl"), ctrl + "/driver");
    fs::create_directory_symlink(root.Path("bus/serial-base/drivers/port"), uart + "/driver");
    dir("class/ttyS0");
    fs::create_directory_symlink(uart, root.Path("class/ttyS0/device"));
    root.Write("class/ttyS0/type", "4\n");
    dir("class/tty1");
    dir("dev");
    root.Write("dev/ttyUSB0", "");
    dir("by-id");
    fs::create_symlink(root.Path("dev/ttyUSB0"),
                       root.Path("by-id/usb-FTDI_FT232R_A50285BI-if00-port0"));

    std::vector<TPortInfo> ports =
        ListSerialPorts(root.Path("class"), root.Path("by-id"), root.Path("dev"));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].Describe(), root.Path("dev/ttyS0") + "  serial");
    EXPECT_EQ(ports[1].Describe(), root.Path("dev/ttyUSB0") + "  " +
                                       root.Path("by-id/usb-FTDI_FT232R_A50285BI-if00-port0") +
                                       "  ftdi_sio  0403:6001 FT232R USB UART  A50285BI");

    EXPECT_TRUE(ListSerialPorts(dir("empty"), root.Path("none"), root.Path("dev")).empty());
}

} // namespace
} // namespace vemla
