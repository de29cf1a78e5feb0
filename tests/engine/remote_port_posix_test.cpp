// Ports on another machine, against the real servers: ser2net (the Debian package) and
// Python's RFC 2217 example server, and a server the test plays to misbehave.
#include "engine/terminal.h"
#include "platform/cp1251.h"
#include "platform/net_spelling.h"
#include "tests/support/fake_port.h"
#include "tests/support/net_servers.h"
#include "tests/support/pty_device.h"
#include "tests/support/record_sink.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::Cp1251;
using test::TRecordSink;

TTerminalSettings RemoteSettings(const std::string& spelling) {
    TTerminalSettings settings;
    settings.Device = spelling;
    settings.Timeouts.ReadIntervalTimeout = 5;
    return settings;
}

std::string Rfc2217(uint16_t port) {
    return "rfc2217://127.0.0.1:" + std::to_string(port);
}

// Every received byte, in order, across however the packets were cut.
std::string ReceivedBytes(const std::vector<TTrafficRecord>& records) {
    std::string bytes;
    for (const TTrafficRecord& record : records)
        if (record.Kind == TTrafficKind::Received) bytes += record.Data;
    return bytes;
}

size_t CountOf(const std::vector<TTrafficRecord>& records, TTrafficKind kind,
               const std::string& textPart) {
    size_t count = 0;
    for (const TTrafficRecord& record : records)
        count += record.Kind == kind && record.Data.find(textPart) != std::string::npos;
    return count;
}

bool ReceivedEndsWith(TRecordSink& sink, const std::string& tail) {
    return sink.WaitFor([&](const auto& records) {
        const std::string bytes = ReceivedBytes(records);
        return bytes.size() >= tail.size() &&
               bytes.compare(bytes.size() - tail.size(), tail.size(), tail) == 0;
    });
}

termios TermiosOf(const std::string& path) {
    termios t{};
    int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) tcgetattr(fd, &t);
    if (fd >= 0) close(fd);
    return t;
}

TEST(RemotePort, Ser2netCarriesDataAndSettingsWarnsOfUnconfirmedControlAndComesBack) {
    if (test::Ser2netProgram().empty()) GTEST_SKIP() << "ser2net is not installed (make deps)";
    test::TTempDir dir;
    test::TPtyDevice device;
    const uint16_t port = test::FreeLoopbackPort();
    auto server = std::make_unique<test::TSer2net>(dir.Path(""), device.SlavePath(), port);
    ASSERT_TRUE(server->Ready());

    TTerminalSettings settings = RemoteSettings(Rfc2217(port));
    settings.Line = {57600, 8, 0, 2, 1, 1}; // 8N2, DTR and RTS on
    TRecordSink sink;
    TTerminal terminal(sink, settings);
    const std::string opened = Cp1251(": открыт");
    ASSERT_TRUE(
        sink.WaitFor([&](const auto& r) { return CountOf(r, TTrafficKind::Info, opened) == 1; }));

    // The rate and stop bits reach the server's device (a pty carries no parity or size).
    bool applied = false;
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         !applied && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(20ms)) {
        termios t = TermiosOf(device.SlavePath());
        applied = cfgetospeed(&t) == B57600 && (t.c_cflag & CSTOPB);
    }
    EXPECT_TRUE(applied);

    // ser2net confirms no modem control on a pty: one warning, and the port stays open.
    const std::string unconfirmed = Cp1251("сервер не подтвердил");
    ASSERT_TRUE(sink.WaitFor(
        [&](const auto& r) { return CountOf(r, TTrafficKind::Warning, unconfirmed) == 1; }));

    // Runs of 0xFF, which telnet escapes, arrive whole both ways.
    const std::string fromDevice = "\x01\xFF\xFF\xFF\x02\xFF";
    ASSERT_TRUE(device.Write(fromDevice));
    EXPECT_TRUE(ReceivedEndsWith(sink, fromDevice));
    const std::string toDevice("\xFF\xFF\x00\xFF\x10", 5);
    terminal.Send(toDevice);
    EXPECT_EQ(device.Read(toDevice.size(), 5s), toDevice);

    // The server dies and comes back: reported once each way, and the data flows again.
    server->Kill();
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& r) { return !r.empty() && r.back().Kind == TTrafficKind::Error; }));
    server = std::make_unique<test::TSer2net>(dir.Path(""), device.SlavePath(), port);
    ASSERT_TRUE(sink.WaitFor(
        [&](const auto& r) { return CountOf(r, TTrafficKind::Info, opened) == 2; }, 10s));
    ASSERT_TRUE(device.Write("again"));
    EXPECT_TRUE(ReceivedEndsWith(sink, "again"));
    const auto records = sink.Records();
    EXPECT_EQ(CountOf(records, TTrafficKind::Error, ""), 1u);
}

TEST(RemotePort, PythonServerSwitchesModemLinesAndBreakAndLightsTheLamps) {
    if (test::PythonRfc2217Server().empty())
        GTEST_SKIP() << "python3-serial is not installed (make deps)";
    test::TTempDir dir;
    const uint16_t port = test::FreeLoopbackPort();
    const std::string log = dir.Path("server.log");
    int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    // loop:// sends back what it gets and ties CTS to RTS and DSR to DTR.
    test::TSpawnOptions output;
    output.StandardOutput = logFd;
    output.ErrorsToOutput = true;
    test::TChildProcess server({"/usr/bin/python3", test::PythonRfc2217Server(), "-v", "-v", "-p",
                                std::to_string(port), "loop://"},
                               output);
    close(logFd);
    ASSERT_TRUE(test::AcceptsConnections(port));

    TRecordSink sink;
    TTerminalSettings settings = RemoteSettings(Rfc2217(port));
    settings.Line = {19200, 7, 2, 1, 0, 0}; // 7E1.5
    TTerminal terminal(sink, settings);
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& r) { return CountOf(r, TTrafficKind::Info, Cp1251(": открыт")) == 1; }));
    const std::string data("\xFF\x00\xFF\xFF\x7F", 5);
    terminal.Send(data);
    EXPECT_TRUE(ReceivedEndsWith(sink, data));

    EXPECT_TRUE(terminal.SetRts(true));
    EXPECT_TRUE(terminal.SetDtr(true));
    // The example server looks at its lines once a second.
    EXPECT_TRUE(sink.WaitForModemLines(TModemLines{true, true, true, false}, 5s));
    EXPECT_TRUE(terminal.SendBreak(50ms));
    auto serverSaw = [&](const std::string& text) {
        for (auto deadline = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
            std::stringstream all;
            all << std::ifstream(log).rdbuf();
            if (all.str().find(text) != std::string::npos) return true;
        }
        return false;
    };
    for (const char* text : {"set baud rate: 19200", "set data size: 7", "set parity: E",
                             "set stop bits: 1.5", "changed RTS to active", "changed DTR to active",
                             "changed BREAK to active", "changed BREAK to inactive"})
        EXPECT_TRUE(serverSaw(text)) << text;
    for (const TTrafficRecord& record : sink.Records())
        EXPECT_NE(record.Kind, TTrafficKind::Warning) << Cp1251ToUtf8(record.Data);
}

TEST(RemotePort, RefusesUnknownOptionsAndCutsOffAnEndlessSubnegotiation) {
    test::TTestServer server;
    TRecordSink sink;
    TTerminal terminal(sink, RemoteSettings(Rfc2217(server.Port())));
    int first = server.Accept();
    ASSERT_GE(first, 0);
    const std::string greeting("\xFF\xFB\x00\xFF\xFD\x00\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x2C", 15);
    EXPECT_EQ(test::ReadSocket(first, greeting.size(), 5s), greeting);
    // Options nobody asked for are refused; an agreement nobody confirms is warned of.
    ASSERT_TRUE(test::WriteSocket(first, "\xFF\xFD\x63\xFF\xFB\x63\xFF\xFD\x2C"));
    EXPECT_EQ(test::ReadSocket(first, 6, 5s), "\xFF\xFC\x63\xFF\xFE\x63");
    ASSERT_TRUE(sink.WaitFor([](const auto& r) {
        return CountOf(r, TTrafficKind::Warning, Cp1251("сервер не подтвердил: скорость")) == 1;
    }));
    EXPECT_EQ(CountOf(sink.Records(), TTrafficKind::Error, ""), 0u);

    ASSERT_TRUE(test::WriteSocket(first, "\xFF\xFA\x2C" + std::string(5000, 'x')));
    EXPECT_TRUE(sink.WaitFor([](const auto& r) {
        return CountOf(r, TTrafficKind::Error, Cp1251("длиннее 4096 байт")) == 1;
    }));
    // The reconnect takes over.
    int second = server.Accept();
    EXPECT_GE(second, 0);
    close(first);
    if (second >= 0) close(second);
}

TEST(RemotePort, IsOpenedOnTheReaderThreadNeverTheOwners) {
    test::TFakeLine line;
    const TPortOpener fake = line.Opener();
    std::promise<std::thread::id> openedOn;
    std::atomic<bool> first{true};
    TEvent release;
    TRecordSink sink;
    // An opening that takes as long as the test says (a name resolution, a connection).
    TTerminal terminal(sink, RemoteSettings("rfc2217://rig.lab:7001"), nullptr,
                       [&](const TTerminalSettings& settings, const TEvent& cancel) {
                           if (first.exchange(false))
                               openedOn.set_value(std::this_thread::get_id());
                           release.WaitFor(10s, cancel);
                           return fake(settings, cancel);
                       });
    // Back here while the opening still waits.
    EXPECT_FALSE(terminal.IsOpen());
    EXPECT_NE(openedOn.get_future().get(), std::this_thread::get_id());
    // A send meanwhile waits for the connection instead of being refused.
    EXPECT_EQ(terminal.SendLater("\x01\x02"), TTerminal::TSendOutcome::Queued);
    release.Set();
    ASSERT_TRUE(
        sink.WaitFor([](const auto& r) { return CountOf(r, TTrafficKind::Sent, "") == 1; }));
    EXPECT_EQ(line.Written(), "\x01\x02");
    EXPECT_EQ(CountOf(sink.Records(), TTrafficKind::Error, ""), 0u);
}

TEST(RemotePort, AMalformedSpellingFromAFileIsAnErrorNamingTheForm) {
    TRecordSink sink;
    TTerminal terminal(sink, RemoteSettings("tcp://rig"));
    ASSERT_TRUE(sink.WaitFor([](const auto& r) { return !r.empty(); }));
    const TTrafficRecord first = sink.Records().front();
    EXPECT_EQ(first.Kind, TTrafficKind::Error);
    EXPECT_NE(first.Data.find("tcp://rig: "), std::string::npos);
    EXPECT_NE(first.Data.find(NetSpellingForms), std::string::npos);
}

TEST(RemotePort, RawTcpCarriesBytesAsTheyAre) {
    test::TTestServer server;
    TRecordSink sink;
    TTerminal terminal(sink, RemoteSettings("tcp://127.0.0.1:" + std::to_string(server.Port())));
    int peer = server.Accept();
    ASSERT_GE(peer, 0);
    const std::string bytes("\xFF\xFD\x01\x00\xFF", 5); // telnet-looking, but only bytes here
    ASSERT_TRUE(test::WriteSocket(peer, bytes));
    EXPECT_TRUE(ReceivedEndsWith(sink, bytes));
    terminal.Send(bytes);
    EXPECT_EQ(test::ReadSocket(peer, bytes.size() + 1, 1s), bytes);
    close(peer);
    EXPECT_TRUE(sink.WaitFor(
        [](const auto& r) { return !r.empty() && r.back().Kind == TTrafficKind::Error; }));
}

} // namespace
} // namespace vemla
