// What only the Windows platform files do: the line settings as a DCB, the time-outs, port
// names, the system's texts and file replacement.
#include "platform/serial_dcb_win32.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(Win32Platform, EveryLineSettingHasItsDcbField) {
    struct {
        TLineSettings Line;
        DWORD Baud;
        BYTE Size, Parity, Stop;
        DWORD Dtr, Rts, CtsFlow;
    } cases[] = {
        {{9600, 8, 3, 0, 0, 0},
         9600,
         8,
         MARKPARITY,
         ONESTOPBIT,
         DTR_CONTROL_DISABLE,
         RTS_CONTROL_DISABLE,
         0},
        {{115200, 7, 2, 2, 1, 1},
         115200,
         7,
         EVENPARITY,
         TWOSTOPBITS,
         DTR_CONTROL_ENABLE,
         RTS_CONTROL_ENABLE,
         0},
        {{250000, 5, 1, 1, 2, 2},
         250000,
         5,
         ODDPARITY,
         ONE5STOPBITS,
         DTR_CONTROL_HANDSHAKE,
         RTS_CONTROL_HANDSHAKE,
         1},
        {{300, 6, 4, 0, 0, 3},
         300,
         6,
         SPACEPARITY,
         ONESTOPBIT,
         DTR_CONTROL_DISABLE,
         RTS_CONTROL_TOGGLE,
         0},
        {{1200, 8, 0, 0, 0, 0},
         1200,
         8,
         NOPARITY,
         ONESTOPBIT,
         DTR_CONTROL_DISABLE,
         RTS_CONTROL_DISABLE,
         0},
    };
    for (const auto& c : cases) {
        DCB dcb = DcbFor(c.Line);
        EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
        EXPECT_EQ(dcb.BaudRate, c.Baud);
        EXPECT_EQ(dcb.ByteSize, c.Size);
        EXPECT_EQ(dcb.Parity, c.Parity);
        EXPECT_EQ(dcb.StopBits, c.Stop);
        EXPECT_EQ(dcb.fDtrControl, c.Dtr);
        EXPECT_EQ(dcb.fRtsControl, c.Rts);
        EXPECT_EQ(dcb.fOutxCtsFlow, c.CtsFlow);
        EXPECT_EQ(dcb.fBinary, 1u);
        // Parity checking, DSR flow, XON/XOFF and special characters stay off.
        EXPECT_EQ(dcb.fParity | dcb.fOutxDsrFlow | dcb.fOutX | dcb.fInX | dcb.fErrorChar |
                      dcb.fNull | dcb.fAbortOnError,
                  0u);
        EXPECT_EQ(dcb.XonChar | dcb.XoffChar | dcb.EofChar | dcb.EvtChar, 0);
    }
}

TEST(Win32Platform, TimeOutsAndPortNames) {
    COMMTIMEOUTS t = CommTimeoutsFor({TCommTimeouts::MaxValue, 0, 0, 100, 100});
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD); // return at once with what is there
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    t = CommTimeoutsFor({5, 0, 50, 100, 100});
    EXPECT_EQ(t.ReadIntervalTimeout, 5u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 50u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 100u);

    struct {
        const char* Given;
        const char* Native;
    } names[] = {
        {"COM3", "\\\\.\\COM3"},        {"com12", "\\\\.\\com12"}, {"//./COM5", "\\\\.\\COM5"},
        {"\\\\.\\COM7", "\\\\.\\COM7"}, {"COMX", "COMX"},          {"C:/dev/x", "C:\\dev\\x"},
    };
    for (const auto& n : names)
        EXPECT_EQ(WindowsDevicePath(n.Given), n.Native) << n.Given;
    EXPECT_EQ(SerialPortPath(3), "\\\\.\\COM3");
}

TEST(Win32Platform, SystemTextsAndFiles) {
    std::string text = SystemMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(SystemMessage(ErrorNotRegularFile), "Not a regular file");

    test::TTempDir dir;
    std::string content;
    std::string small = dir.Write("small", "0123456789");
    EXPECT_EQ(ReadWholeFile(small, content, 10), 0);
    EXPECT_EQ(content, "0123456789");
    EXPECT_EQ(ReadWholeFile(small, content, 9), ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(ReadWholeFile(dir.Directory().string(), content, 9), ERROR_DIRECTORY);
    EXPECT_EQ(ReadWholeFile(dir.Path("missing"), content, 9), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(ReplaceFileContent(small, "new"), 0);
    EXPECT_EQ(dir.Read("small"), "new");
    SetFileAttributesA(small.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ReplaceFileContent(small, "refused"), ERROR_ACCESS_DENIED);
    SetFileAttributesA(small.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(dir.Read("small"), "new");
    // No sibling is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Directory()), {}), 1);
}

} // namespace
} // namespace vemla
