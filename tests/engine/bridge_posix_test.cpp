// Two ports: a bridge between a device (a pty pair the test plays) and an application (on
// vemla's virtual port, which the test opens as the application would), and a tap.
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/record_sink.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <termios.h>
#include <utility>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::Cp1251;
using test::TPtyDevice;
using test::TRecordSink;
using test::TTempDir;
using S = TTrafficSource;

// The data records in order: which port each came from, and its bytes.
std::vector<std::pair<S, std::string>> Packets(const std::vector<TTrafficRecord>& records) {
    std::vector<std::pair<S, std::string>> packets;
    for (const TTrafficRecord& record : records)
        if (record.Kind == TTrafficKind::Received) packets.emplace_back(record.Source, record.Data);
    return packets;
}

// Waits until that many packets have been recorded.
bool WaitForPackets(TRecordSink& sink, size_t count) {
    return sink.WaitFor([&](const auto& records) { return Packets(records).size() == count; });
}

bool HasRecord(TRecordSink& sink, const std::string& text) {
    return sink.WaitFor([&](const auto& records) {
        for (const TTrafficRecord& record : records)
            if (record.Data == text) return true;
        return false;
    });
}

TEST(Bridge, PassesBothWaysFollowsTheApplicationAndSurvivesEitherSideGoing) {
    TTempDir dir;
    const std::string link = dir.Path("device"), appPath = dir.Path("app");
    auto device = std::make_unique<TPtyDevice>();
    std::filesystem::create_symlink(device->SlavePath(), link);
    TRecordSink sink;
    TTerminalSettings settings = test::SettingsOf(
        dir.Write("c.ini", test::PortConfig(link) + "[Bridge]\r\nDevice=pty:" + appPath + "\r\n"));
    TTerminal terminal(sink, settings);
    ASSERT_TRUE(sink.WaitForSecondPortState(TPortState::ApplicationAwaited));
    auto application = std::make_unique<TPtyDevice>(appPath);
    ASSERT_TRUE(sink.WaitForSecondPortState(TPortState::ApplicationConnected));

    // Request and answer, each passed on before the next.
    application->Write("REQ1");
    EXPECT_EQ(device->Read(4, 5s), "REQ1");
    device->Write("ANS1");
    EXPECT_EQ(application->Read(4, 5s), "ANS1");
    ASSERT_TRUE(WaitForPackets(sink, 2));
    EXPECT_EQ(Packets(sink.Records()), (std::vector<std::pair<S, std::string>>{
                                           {S::Application, "REQ1"}, {S::Device, "ANS1"}}));

    // The application sets the line: the device's port follows (the rate and two stop bits).
    termios tio{};
    ASSERT_EQ(tcgetattr(application->MasterHandle(), &tio), 0);
    cfsetspeed(&tio, B9600);
    tio.c_cflag |= CSTOPB;
    ASSERT_EQ(tcsetattr(application->MasterHandle(), TCSANOW, &tio), 0);
    ASSERT_TRUE(HasRecord(sink, link + Cp1251(": по настройкам приложения 9600 бит/с, "
                                              "стоп-битов 2")));
    termios deviceSide{};
    ASSERT_EQ(tcgetattr(device->MasterHandle(), &deviceSide), 0);
    EXPECT_EQ(cfgetospeed(&deviceSide), speed_t{B9600});
    EXPECT_TRUE(deviceSide.c_cflag & CSTOPB);

    // The application closes its side: the device's bytes are recorded, not passed on, and
    // said so once when it is back; then they flow again.
    application.reset();
    ASSERT_TRUE(sink.WaitForSecondPortState(TPortState::ApplicationAwaited));
    device->Write("LOST1");
    ASSERT_TRUE(WaitForPackets(sink, 3));
    device->Write("LOST2");
    ASSERT_TRUE(WaitForPackets(sink, 4));
    application = std::make_unique<TPtyDevice>(appPath);
    const std::string unforwarded =
        "pty:" + appPath + Cp1251(": не передано, порт закрыт: 10 байт");
    ASSERT_TRUE(HasRecord(sink, unforwarded));
    device->Write("ANS2");
    EXPECT_EQ(application->Read(4, 5s), "ANS2");

    // The device is unplugged and plugged in again under the same link.
    device.reset();
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& records) { return records.back().Kind == TTrafficKind::Error; }));
    device = std::make_unique<TPtyDevice>();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device->SlavePath(), link);
    ASSERT_TRUE(HasRecord(sink, link + Cp1251(": открыт, чётность mark")));
    ASSERT_TRUE(sink.WaitFor([&](const auto& records) {
        size_t opened = 0;
        for (const TTrafficRecord& record : records)
            opened += record.Data == link + Cp1251(": открыт, чётность mark");
        return opened == 2;
    }));
    application->Write("REQ3");
    EXPECT_EQ(device->Read(4, 5s), "REQ3");
    device->Write("ANS3");
    EXPECT_EQ(application->Read(4, 5s), "ANS3");
    terminal.Stop();
    auto records = sink.Records();
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [&](const auto& r) { return r.Data == unforwarded; }),
              1);
    // Nothing of the device went to the triggers' side as the application's, or back.
    EXPECT_EQ(sink.RecordsOf(TTrafficKind::Sent).size(), 0u);
}

TEST(Tap, ListensToBothLinesAndSendsNothing) {
    TTempDir dir;
    TPtyDevice lineA, lineB;
    TRecordSink sink;
    // A trigger that would answer line A's packet, were it loaded.
    const std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"t\" HEX \"41 2D 31\" { WAIT OUTW \"02\" GOTO 2 }");
    TTerminalSettings settings = test::SettingsOf(dir.Write(
        "c.ini", test::PortConfig(lineA.SlavePath(), "[Terminal]\r\nTriggerFile=" + triggers +
                                                         "\r\n[Bridge]\r\nDevice=" +
                                                         lineB.SlavePath() + "\r\nTap=1\r\n")));
    TTerminal terminal(sink, settings);
    ASSERT_TRUE(terminal.IsOpen());
    ASSERT_TRUE(sink.WaitForSecondPortState(TPortState::Open));
    lineB.Write("B-1");
    ASSERT_TRUE(WaitForPackets(sink, 1));
    lineA.Write("A-1");
    ASSERT_TRUE(WaitForPackets(sink, 2));
    EXPECT_EQ(Packets(sink.Records()), (std::vector<std::pair<S, std::string>>{
                                           {S::Application, "B-1"}, {S::Device, "A-1"}}));
    EXPECT_EQ(lineA.Read(1, 300ms), "");
    EXPECT_EQ(lineB.Read(1, 300ms), "");
    EXPECT_FALSE(terminal.HasTriggers());
    EXPECT_EQ(sink.Records().front().Data, Cp1251("Прослушивание двух линий: файл триггеров ") +
                                               triggers + Cp1251(" не загружен"));
}

} // namespace
} // namespace vemla
