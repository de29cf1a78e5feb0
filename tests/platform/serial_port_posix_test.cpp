// What only a POSIX serial line has: termios state, hang-ups, a tty check.
#include "platform/serial_port.h"
#include "tests/support/pty_device.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <termios.h>

namespace vemla {
namespace {

using test::TPtyDevice;

std::unique_ptr<TPort> OpenPort(const TPtyDevice& device, TLineSettings line = {}) {
    auto opened = TSerialPort::Open(device.SlavePath(), line, {});
    EXPECT_EQ(opened.Error, 0) << opened.Detail;
    return std::move(opened.Port);
}

TEST(SerialPort, NeedsATty) {
    EXPECT_EQ(TSerialPort::Open("/dev/null", {}, {}).Error, ENOTTY);
}

TEST(SerialPort, NothingAPreviousProgramLeftOnTheLineSurvives) {
    TPtyDevice device;
    termios left{};
    ASSERT_EQ(tcgetattr(device.MasterHandle(), &left), 0);
    left.c_iflag |= INPCK | IXOFF | IXON | IXANY | IGNPAR | PARMRK | ICRNL | ISTRIP;
    left.c_oflag |= OPOST | ONLCR;
    left.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    ASSERT_EQ(tcsetattr(device.MasterHandle(), TCSANOW, &left), 0);
    auto port = OpenPort(device, {9600, 8, 0, 2, 0, 0});
    termios now{};
    // A master reports its slave's state (a pty keeps only 8 data bits and no parity).
    ASSERT_EQ(tcgetattr(device.MasterHandle(), &now), 0);
    EXPECT_EQ(now.c_iflag, 0u);
    EXPECT_EQ(now.c_oflag, 0u);
    EXPECT_EQ(now.c_lflag, 0u);
    EXPECT_TRUE(now.c_cflag & CSTOPB);
    EXPECT_EQ(now.c_cc[VMIN], 0);
    EXPECT_EQ(now.c_cc[VSTART], 0);
}

} // namespace
} // namespace vemla
