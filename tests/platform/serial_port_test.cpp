#include "platform/cp1251.h"
#include "platform/serial_port.h"
#include "tests/support/pty_device.h"
#include "tests/support/system_specifics.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::TPtyDevice;
using TClock = std::chrono::steady_clock;

// A port that does not open ends the test (as a failure), rather than its use crashing it.
std::unique_ptr<TPort> OpenPort(const TPtyDevice& device, TCommTimeouts timeouts = {},
                                TLineSettings line = {}) {
    auto opened = TSerialPort::Open(device.SlavePath(), line, timeouts);
    if (!opened.Port)
        throw std::runtime_error("the port did not open: " + std::to_string(opened.Error) + " " +
                                 opened.Detail);
    return std::move(opened.Port);
}

TEST(SerialPort, APermissionRefusalSaysWhatToDo) {
    struct {
        TPermissionFacts Facts;
        const char* Advice;
    } cases[] = {
        {{"dialout", false, false},
         "устройство принадлежит группе dialout: sudo usermod -aG dialout $USER, затем войдите в "
         "систему заново"},
        {{"uucp", false, false},
         "устройство принадлежит группе uucp: sudo usermod -aG uucp $USER, затем войдите в "
         "систему заново"},
        {{"dialout", true, false},
         "вы в группе dialout, но этот сеанс начат раньше: войдите в "
         "систему заново"},
        {{"dialout", false, true},
         "vemla работает в песочнице Flatpak, где устройств не видно: "
         "flatpak override --user --device=all и запуск заново"},
        {{"root", false, false}, ""}, // joining root's group is no advice
        {{"", false, false}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(PermissionAdvice(c.Facts)), c.Advice) << c.Facts.Group;
}

TEST(SerialPort, RefusesSettingsOutsideTheirRanges) {
    TPtyDevice device;
    struct {
        TLineSettings Line;
        const char* Detail;
    } cases[] = {
        {{9600, 9, 0, 0, 0, 0}, "ByteSize = 9"},    {{9600, 4, 0, 0, 0, 0}, "ByteSize = 4"},
        {{9600, 8, 5, 0, 0, 0}, "Parity = 5"},      {{9600, 8, 0, 3, 0, 0}, "StopBits = 3"},
        {{9600, 8, 0, 0, 3, 0}, "DTR_CONTROL = 3"}, {{9600, 8, 0, 0, 0, 4}, "RTS_CONTROL = 4"},
        {{0, 8, 0, 0, 0, 0}, "BaudRate = 0"},
    };
    for (const auto& c : cases) {
        auto opened = TSerialPort::Open(device.SlavePath(), c.Line, {});
        EXPECT_EQ(opened.Port, nullptr);
        EXPECT_EQ(opened.Error, test::InvalidSettingError);
        EXPECT_EQ(opened.Detail, c.Detail);
    }
}

TEST(SerialPort, AcceptsEverySettingInRangeOnAPty) {
    if (test::RunningUnderWine())
        GTEST_SKIP() << "Wine hands parity, 1.5 stop bits and RTS toggling to a pseudo-terminal, "
                        "which refuses them";
    TPtyDevice device;
    TLineSettings settings[] = {
        {9600, 5, 1, 1, 2, 2},
        {115200, 6, 2, 2, 1, 3},
        {12345, 7, 3, 0, 0, 1},
        {250000, 8, 4, 0, 0, 0},
    };
    for (const auto& line : settings)
        EXPECT_NO_THROW(OpenPort(device, {}, line));
}

TEST(SerialPort, OpenIsExclusive) {
    EXPECT_EQ(TSerialPort::Open(test::MissingPortPath, {}, {}).Error, test::NoSuchPortError);
    // A spelling that no kind of port knows is a port that is not there.
    EXPECT_EQ(vemla::OpenPort("nosuch://127.0.0.1:9", {}, {}).Error, test::NoSuchPortError);
    if (test::RunningUnderWine()) GTEST_SKIP() << "Wine does not keep a COM port exclusive";
    TPtyDevice device;
    auto first = OpenPort(device);
    auto second = TSerialPort::Open(device.SlavePath(), {}, {});
    EXPECT_EQ(second.Port, nullptr);
    EXPECT_EQ(second.Error, test::PortInUseError);
    first.reset();
    EXPECT_NO_THROW(OpenPort(device)); // free again once closed
}

TEST(SerialPort, ReadEndsByIntervalAfterTheLastByte) {
    TPtyDevice device;
    auto port = OpenPort(device, {20, 0, 0, 100, 100});
    TEvent stop;
    device.Write("abc");
    char buffer[10];
    auto start = TClock::now();
    int got = port->Read(buffer, 10, stop);
    auto elapsed = TClock::now() - start;
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "abc");
    EXPECT_GE(elapsed, 20ms);
    EXPECT_LT(elapsed, 1s);
}

TEST(SerialPort, ReadEndsByTotalTimeoutOrFullCount) {
    TPtyDevice device;
    auto port = OpenPort(device, {0, 10, 30, 100, 100});
    TEvent stop;
    char buffer[4];
    auto start = TClock::now();
    EXPECT_EQ(port->Read(buffer, 4, stop), 0);
    EXPECT_GE(TClock::now() - start, 70ms); // 10 ms x 4 + 30 ms
    device.Write("123456");
    EXPECT_EQ(port->Read(buffer, 4, stop), 4);
}

TEST(SerialPort, AnIdleLineWaitsUntilTheTimeOutWithoutAFailure) {
    TPtyDevice device;
    auto port = OpenPort(device);
    TEvent stop;
    auto start = TClock::now();
    // Some drivers end an idle wait for a received byte now and then: it must be waited again.
    EXPECT_EQ(port->WaitForReceive(stop, 300ms), TPort::TWaitResult::TimedOut);
    EXPECT_GE(TClock::now() - start, 290ms);
    EXPECT_EQ(port->LastError(), 0);
    device.Write("z");
    EXPECT_EQ(port->WaitForReceive(stop, 5s), TPort::TWaitResult::Received);
}

TEST(SerialPort, MaxIntervalWithZeroTotalsReturnsAtOnce) {
    TPtyDevice device;
    auto port = OpenPort(device, {TCommTimeouts::MaxValue, 0, 0, 100, 100});
    TEvent stop;
    char buffer[4];
    auto start = TClock::now();
    EXPECT_EQ(port->Read(buffer, 4, stop), 0);
    EXPECT_LT(TClock::now() - start, 500ms);
}

TEST(SerialPort, PurgeAndStopWakeAPendingRead) {
    TPtyDevice device;
    auto port = OpenPort(device, {0, 0, 0, 0, 0}); // no time-outs: waits for ever
    TEvent stop;
    char buffer[4];
    auto reading = std::async(std::launch::async, [&] { return port->Read(buffer, 4, stop); });
    EXPECT_EQ(reading.wait_for(50ms), std::future_status::timeout);
    port->Purge();
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reading.get(), 0);

    auto waiting = std::async(std::launch::async, [&] { return port->WaitForReceive(stop); });
    stop.Set();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), TPort::TWaitResult::Stopped);
}

TEST(SerialPort, WriteReachesTheDeviceAndQueueIsCounted) {
    TPtyDevice device;
    auto port = OpenPort(device);
    EXPECT_EQ(port->Write("hello", 5), 5);
    EXPECT_EQ(device.Read(5, 2s), "hello");
    device.Write("xyz");
    TEvent stop;
    EXPECT_EQ(port->WaitForReceive(stop), TPort::TWaitResult::Received);
    EXPECT_EQ(port->QueuedBytes(), 3);
}

TEST(SerialPort, StopEndsAWriteThatWaitsForTheLine) {
    if (test::RunningUnderWine())
        GTEST_SKIP() << "the harness joins the COM ports through a relay that always reads";
    TPtyDevice device;                                    // never reads: the pty's queue fills
    auto port = OpenPort(device, {20, 25, 300, 1000, 0}); // a second per byte
    TEvent stop;
    stop.Set();
    std::string block(1 << 20, 'x');
    int written = port->Write(block.data(), static_cast<int>(block.size()), &stop);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(block.size()));
}

TEST(SerialPort, HangUpEndsTheWait) {
    if (test::RunningUnderWine())
        GTEST_SKIP() << "Wine does not report a pseudo-terminal whose other end closed: its wait "
                        "for a received byte keeps ending with error 995 (a removed adapter on "
                        "Windows fails the wait)";
    TPtyDevice device;
    auto port = OpenPort(device);
    device.HangUp();
    TEvent stop;
    EXPECT_EQ(port->WaitForReceive(stop), TPort::TWaitResult::Failed);
    EXPECT_NE(port->LastError(), 0);
}

} // namespace
} // namespace vemla
