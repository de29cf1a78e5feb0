#include "engine/terminal.h"
#include "platform/system.h"
#include "tests/support/fake_port.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/record_sink.h"
#include "tests/support/system_specifics.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::Cp1251;
using test::TPtyDevice;
using test::TRecordSink;
using test::TTempDir;

TEST(TerminalSettings, DefaultsWithoutConfigFile) {
    TTempDir dir;
    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf(dir.Path("config.ini")));
    const TTerminalSettings& s = terminal.Settings();
    EXPECT_EQ(s.PortNumber, 1);
    EXPECT_EQ(s.PortPath(), SerialPortPath(1));
    EXPECT_EQ(s.Line.BaudRate, 9600);
    EXPECT_EQ(s.Line.ByteSize, 8);
    EXPECT_EQ(s.Line.Parity, 3);
    EXPECT_EQ(s.Line.StopBits, 0);
    EXPECT_EQ(s.Line.DtrControl, 0);
    EXPECT_EQ(s.Line.RtsControl, 0);
    EXPECT_EQ(s.Timeouts.ReadIntervalTimeout, 20u);
    EXPECT_EQ(s.Timeouts.ReadTotalTimeoutMultiplier, 25u);
    EXPECT_EQ(s.Timeouts.ReadTotalTimeoutConstant, 300u);
    EXPECT_EQ(s.PacketSize, 10);
    EXPECT_EQ(s.HashSize, 0);
    EXPECT_TRUE(s.TriggerFile.empty());
    EXPECT_EQ(terminal.Triggers().Count(), 0);
}

TEST(TerminalSettings, APortNamedOnTheCommandLineIsNoParityUnlessTheFileOrFrameSaysSo) {
    struct {
        std::string File;
        TSettingOverrides Overrides;
        int Parity;
    } cases[] = {
        {"", {{"Port", "Device", "/dev/ttyUSB0"}}, 0},
        {"[Port]\r\nBaudRate=19200\r\n", {{"Port", "Device", "/dev/ttyUSB0"}}, 0},
        {"[port]\r\nparity=3\r\n", {{"Port", "Device", "/dev/ttyUSB0"}}, 3},
        {"", {{"Port", "Device", "/dev/ttyUSB0"}, {"Port", "Parity", "2"}}, 2},
        {"", {{"Port", "BaudRate", "115200"}}, 3}, // the configuration's own port
        {"[Port]\r\nDevice=/dev/ttyUSB1\r\n", {}, 3},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        std::string config = dir.Write("c.ini", c.File);
        EXPECT_EQ(ReadTerminalSettings(ReadConfiguration(config, c.Overrides)).Line.Parity,
                  c.Parity)
            << c.File;
    }
}

TEST(TerminalSettings, TimeoutsAndPacketSizeFromConfig) {
    TTempDir dir;
    std::string config =
        dir.Write("c.ini", "[Port]\r\nNumber=3\r\nReadIntervalTimeout=5\r\n"
                           "ReadTotalTimeoutMultiplier=0\r\nReadTotalTimeoutConstant=50\r\n"
                           "[Terminal]\r\npacketSize=64\r\nhashSize=2\r\n");
    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf(config));
    const TTerminalSettings& s = terminal.Settings();
    EXPECT_EQ(s.Timeouts.ReadIntervalTimeout, 5u);
    EXPECT_EQ(s.Timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(s.Timeouts.ReadTotalTimeoutConstant, 50u);
    EXPECT_EQ(s.Timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(s.Timeouts.WriteTotalTimeoutConstant, 100u);
    EXPECT_EQ(s.PacketSize, 64);
    EXPECT_EQ(s.HashSize, 2);
    EXPECT_EQ(s.PortPath(), SerialPortPath(3));
    EXPECT_EQ(s.PortName(), "COM 3");
}

TEST(Terminal, ReportsTheOpenedPortAndItsPackets) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    ASSERT_TRUE(sink.WaitForCount(1));
    EXPECT_EQ(sink.Records()[0].Kind, TTrafficKind::Info);
    EXPECT_EQ(sink.Records()[0].Data, device.SlavePath() + Cp1251(": открыт, чётность mark"));

    device.Write("abc");
    ASSERT_TRUE(sink.WaitForCount(2));
    terminal.Send("x");
    ASSERT_TRUE(sink.WaitForCount(3));
    auto received = sink.RecordsOf(TTrafficKind::Received);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Data, "abc");
    EXPECT_EQ(device.Read(1, 2s), "x");
}

TEST(Terminal, LongBurstIsCutIntoPacketsThatKeepEveryByte) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    std::string burst = "0123456789ABCDEFGHIJKLMNO";
    device.Write(burst);
    auto concatenated = [](const std::vector<TTrafficRecord>& records) {
        std::string all;
        for (const auto& r : records)
            if (r.Kind == TTrafficKind::Received) all += r.Data;
        return all;
    };
    ASSERT_TRUE(
        sink.WaitFor([&](const auto& r) { return concatenated(r).size() >= burst.size(); }));
    EXPECT_EQ(concatenated(sink.Records()), burst);
    EXPECT_GE(sink.RecordsOf(TTrafficKind::Received)[0].Data.size(), 10u);
}

TEST(Terminal, PacketsLargerThanTheBufferLoseNothing) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf(dir.Write(
                                 "c.ini", test::PortConfig(device.SlavePath(),
                                                           "[Terminal]\r\npacketSize=5000\r\n"))));
    std::string burst;
    for (int i = 0; i < 3000; ++i)
        burst += static_cast<char>(i * 7);
    device.Write(burst);
    std::string all;
    ASSERT_TRUE(sink.WaitFor([&](const auto& records) {
        all.clear();
        for (const auto& r : records)
            if (r.Kind == TTrafficKind::Received) {
                EXPECT_LE(r.Data.size(), 1028u);
                all += r.Data;
            }
        return all.size() >= burst.size();
    }));
    EXPECT_EQ(all, burst);
}

TEST(Terminal, PacketsAreCutByTheirTimeAndSizeWhateverTheLineDeliversAtOnce) {
    // The device writes each chunk after its pause; the packets must come out as listed
    // (sizes), or, where the pty's own timing decides the cut (an empty list), within 1028
    // bytes each and in order.
    struct TChunk {
        std::chrono::milliseconds Pause;
        size_t Size;
    };
    struct {
        const char* Name;
        int PacketSize;
        int Interval;
        std::vector<TChunk> Chunks;
        std::vector<size_t> Sizes;
    } cases[] = {
        {"bytes 1 ms apart", 10, 30, {{0ms, 1}, {1ms, 1}, {1ms, 1}, {1ms, 1}, {1ms, 1}}, {5}},
        {"a gap longer than the interval", 10, 10, {{0ms, 3}, {80ms, 3}}, {3, 3}},
        {"packet size 1 takes what is queued", 1, 10, {{0ms, 6}}, {6}},
        {"64 KiB in packets of 1028", 1028, 30, {{0ms, 65536}}, {}},
        {"a burst, then silence", 1028, 30, {{0ms, 3000}}, {1028, 1028, 944}},
        {"64 KiB with packet size 10", 10, 5, {{0ms, 65536}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        TPtyDevice device;
        TRecordSink sink;
        TTerminal terminal(
            sink, test::SettingsOf(dir.Write(
                      "c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                   "\r\nReadIntervalTimeout=" + std::to_string(c.Interval) +
                                   "\r\n[Terminal]\r\npacketSize=" + std::to_string(c.PacketSize) +
                                   "\r\n")));
        std::string sent;
        for (const TChunk& chunk : c.Chunks) {
            std::this_thread::sleep_for(chunk.Pause); // the device's own pace
            std::string bytes;
            for (size_t i = 0; i < chunk.Size; ++i)
                bytes += static_cast<char>((sent.size() + i) * 31 + 7);
            ASSERT_TRUE(device.Write(bytes));
            sent += bytes;
        }
        auto receivedData = [](const std::vector<TTrafficRecord>& records) {
            std::string all;
            for (const auto& record : records)
                if (record.Kind == TTrafficKind::Received) all += record.Data;
            return all;
        };
        ASSERT_TRUE(sink.WaitFor(
            [&](const auto& records) { return receivedData(records).size() >= sent.size(); }, 10s));
        EXPECT_EQ(receivedData(sink.Records()), sent);
        std::vector<size_t> sizes;
        for (const auto& record : sink.RecordsOf(TTrafficKind::Received))
            sizes.push_back(record.Data.size());
        // Wine emulates the line's timing on a loaded machine late by up to seconds: the cuts
        // may move there, the bytes may not.
        if (!c.Sizes.empty() && !test::RunningUnderWine()) {
            EXPECT_EQ(sizes, c.Sizes);
        }
        for (size_t size : sizes)
            EXPECT_LE(size, 1028u);
        if (c.PacketSize == 1028 && c.Sizes.empty()) {
            for (size_t i = 0; i + 1 < sizes.size(); ++i)
                EXPECT_EQ(sizes[i], 1028u) << "packet " << i;
        }
    }
}

TEST(Terminal, LaterSendsAreWrittenInOrderAndStopEndsOneTheDeviceDoesNotTake) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    using O = TTerminal::TSendOutcome;
    ASSERT_EQ(terminal.SendLater("one "), O::Queued);
    ASSERT_EQ(terminal.SendLater("two"), O::Queued);
    EXPECT_EQ(device.Read(7, 5s), "one two");
    ASSERT_TRUE(sink.WaitFor([](const auto& records) {
        return std::count_if(records.begin(), records.end(), [](const TTrafficRecord& r) {
                   return r.Kind == TTrafficKind::Sent;
               }) == 2;
    }));
    // A device that reads nothing: the writes wait, the queue fills, Stop ends them.
    const std::string block(1 << 20, 'x');
    size_t queued = 0;
    while (terminal.SendLater(block) == O::Queued)
        ++queued;
    EXPECT_EQ(queued, TTerminal::SendQueueLimit);
    terminal.Stop();
    EXPECT_EQ(terminal.PendingSends(), 0u);
}

// Timed packets go on the sender thread, each at its period and count; one whose period is
// shorter than its time on the wire is said once, and goes back to back.
TEST(Terminal, TimedSendsKeepTheirCountsAndAPeriodTooShortForTheLineIsSaidOnce) {
    TRecordSink sink;
    test::TFakeLine line;
    TTerminalSettings settings;
    settings.Device = "fake";
    settings.Line.BaudRate = 9600; // 8N1, 10 bits a byte: two bytes take 2,1 ms
    settings.Line.Parity = 0;
    TTerminal terminal(sink, settings, nullptr, line.Opener());
    terminal.StartTimedSends({{"AB", 1ms, 3}, {"c", 5ms, 2}});
    ASSERT_TRUE(sink.WaitFor([](const auto& records) {
        return std::count_if(records.begin(), records.end(), [](const TTrafficRecord& r) {
                   return r.Kind == TTrafficKind::Sent;
               }) == 5;
    }));
    std::string written = line.Written();
    EXPECT_EQ(std::count(written.begin(), written.end(), 'A'), 3);
    EXPECT_EQ(std::count(written.begin(), written.end(), 'c'), 2);
    auto warnings = sink.RecordsOf(TTrafficKind::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Data,
              Cp1251("Период 1,0 мс короче передачи пакета (2,1 мс при 9600 бит/с): пакеты идут "
                     "подряд"));
}

TEST(Terminal, SendOfNothingReportsAnEmptyRecord) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    terminal.Send("");
    auto sent = sink.RecordsOf(TTrafficKind::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].Data.empty());
}

TEST(Terminal, MissingPortIsReportedAndRetriedBySend) {
    TTempDir dir;
    TRecordSink sink;
    const std::string missing = test::MissingPortPath;
    TTerminal terminal(sink, test::SettingsOf(dir.Write(
                                 "c.ini", "[Port]\r\nNumber=77\r\nDevice=" + missing + "\r\n")));
    terminal.Send("abc");
    auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
        EXPECT_EQ(r.Kind, TTrafficKind::Error);
        EXPECT_EQ(r.Data, missing + ": " + SystemMessage(test::NoSuchPortError));
    }
}

TEST(Terminal, NumberedPortReportsInComForm) {
    TTempDir dir;
    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf(dir.Write("c.ini", "[Port]\r\nNumber=4000\r\n")));
    auto errors = sink.RecordsOf(TTrafficKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Data, "COM 4000" + SystemMessage(test::NoSuchPortError));
}

TEST(Terminal, PortInUseIsAnErrorAndNoReaderRuns) {
    if (test::RunningUnderWine()) GTEST_SKIP() << "Wine does not keep a COM port exclusive";
    TTempDir dir;
    TPtyDevice device;
    auto holder = TSerialPort::Open(device.SlavePath(), {}, {});
    ASSERT_NE(holder.Port, nullptr);
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    EXPECT_FALSE(terminal.IsOpen());
    terminal.Send("a");
    auto errors = sink.RecordsOf(TTrafficKind::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].Data, device.SlavePath() + ": " + SystemMessage(test::PortInUseError));
    EXPECT_TRUE(sink.RecordsOf(TTrafficKind::Sent).empty());
    holder.Port.reset();
    terminal.Send("b"); // free now: the retry opens it
    EXPECT_TRUE(terminal.IsOpen());
    EXPECT_EQ(device.Read(1, 2s), "b");
}

TEST(Terminal, UnsupportedSettingIsAClearError) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf(dir.Write(
                                 "c.ini", test::PortConfig(device.SlavePath(), "ByteSize=9\r\n"))));
    auto errors = sink.RecordsOf(TTrafficKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Data, device.SlavePath() + ": " + SystemMessage(test::InvalidSettingError) +
                                  " (ByteSize = 9)");
}

TEST(Terminal, DestroyDuringAReadReturns) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    {
        // Without time-outs the read would wait for ever for its 10 bytes.
        TTerminal terminal(
            sink, test::SettingsOf(dir.Write("c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                                                          "\r\nReadIntervalTimeout=0\r\n"
                                                          "ReadTotalTimeoutMultiplier=0\r\n"
                                                          "ReadTotalTimeoutConstant=0\r\n")));
        device.Write("abc");
        ASSERT_TRUE(sink.WaitForCount(1));
    }
    SUCCEED() << "the destructor returned";
}

TEST(Terminal, LineStatusIsReportedWhenItChangesAndNeverCutsAPacket) {
    TRecordSink sink;
    test::TFakeLine line; // its driver reports modem lines and losses
    line.SetLineStatus(TModemLines{.Cts = true}, 5);
    TTerminalSettings settings;
    settings.Device = "fake";
    auto terminal = std::make_unique<TTerminal>(sink, settings, nullptr, line.Opener());
    const TModemLines ctsAndDcd{.Cts = true, .Dcd = true};
    ASSERT_TRUE(sink.WaitForModemLines(TModemLines{.Cts = true}));
    line.SetLineStatus(ctsAndDcd, 5);
    ASSERT_TRUE(sink.WaitForModemLines(ctsAndDcd));
    // The looks while the line is quiet leave the packet whole.
    line.Deliver("abc");
    ASSERT_TRUE(sink.WaitFor([](const auto& records) { return records.back().Data == "abc"; }));
    // Bytes the driver dropped since the last look: one Error record, not one per look.
    line.SetLineStatus(ctsAndDcd, 12);
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& records) { return records.back().Kind == TTrafficKind::Error; }));
    EXPECT_EQ(sink.Records().back().Data, Cp1251("fake: переполнение приёма, потеряно байт: 7"));
    line.SetLineStatus(std::nullopt, 12);
    ASSERT_TRUE(sink.WaitForModemLines(std::nullopt));
    line.SetLineStatus(TModemLines{.Ri = true}, 12);
    ASSERT_TRUE(sink.WaitForModemLines(TModemLines{.Ri = true}));
    // A port without modem lines refuses their control, and so does this one: the fake has
    // no such capability.
    EXPECT_FALSE(terminal->SetDtr(true));
    EXPECT_FALSE(terminal->SendBreak(10ms));
    terminal.reset();
    // One report per change, however many looks saw the same; closing the port reports the
    // lines gone.
    EXPECT_EQ(sink.ModemLineReports(), (std::vector<std::optional<TModemLines>>{
                                           TModemLines{.Cts = true}, ctsAndDcd, std::nullopt,
                                           TModemLines{.Ri = true}, std::nullopt}));
    EXPECT_EQ(sink.RecordsOf(TTrafficKind::Received).size(), 1u);
    EXPECT_EQ(sink.RecordsOf(TTrafficKind::Error).size(), 1u);
}

TEST(Terminal, APortWithoutModemLinesRefusesTheirControlQuietly) {
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TTerminal terminal(sink,
                       test::SettingsOf(dir.Write("c.ini", test::PortConfig(device.SlavePath()))));
    ASSERT_TRUE(terminal.IsOpen());
    EXPECT_FALSE(terminal.SetDtr(true));
    EXPECT_FALSE(terminal.SetRts(false));
    // A pseudo-terminal takes a break and drops it; the line goes on.
    EXPECT_TRUE(terminal.SendBreak(10ms));
    terminal.Send("x");
    EXPECT_EQ(device.Read(1, 2s), "x");
    device.Write("abc");
    ASSERT_TRUE(sink.WaitFor([](const auto& records) { return records.back().Data == "abc"; }));
    terminal.Stop();
    EXPECT_TRUE(sink.ModemLineReports().empty());
    EXPECT_TRUE(sink.RecordsOf(TTrafficKind::Error).empty());
    EXPECT_FALSE(terminal.SetDtr(true));
    EXPECT_FALSE(terminal.SendBreak(10ms));
}

} // namespace
} // namespace vemla
