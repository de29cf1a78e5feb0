// What the engine does on a POSIX line: hang-ups, reconnects, new settings seen in termios,
// a stalled line, no descriptors left.
#include "engine/terminal.h"
#include "platform/system.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/record_sink.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::Cp1251;
using test::TPtyDevice;
using test::TRecordSink;
using test::TTempDir;

bool ReaderThreadRuns() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "vemla-reader") return true;
    }
    return false;
}

bool ReaderBecomes(bool running) {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ReaderThreadRuns() != running && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return ReaderThreadRuns() == running;
}

TEST(Terminal, WithoutReconnectAHangUpClosesThePortOnceAndSendReopens) {
    TTempDir dir;
    auto first = std::make_unique<TPtyDevice>();
    TPtyDevice second;
    std::string link = dir.Path("tty");
    std::filesystem::create_symlink(first->SlavePath(), link);
    TRecordSink sink;
    TTerminal terminal(
        sink, test::SettingsOf(dir.Write("c.ini", test::PortConfig(link, "Reconnect=0\r\n"))));
    ASSERT_TRUE(terminal.IsOpen());
    EXPECT_TRUE(ReaderBecomes(true));
    first->HangUp();
    ASSERT_TRUE(sink.WaitFor([](const auto& records) {
        return records.size() >= 2 && records.back().Kind == TTrafficKind::Error;
    }));
    EXPECT_EQ(sink.Records().back().Data, link + ": Input/output error");
    // The reader ended instead of spinning on the dead line.
    EXPECT_TRUE(ReaderBecomes(false));
    EXPECT_FALSE(terminal.IsOpen());
    EXPECT_EQ(sink.RecordsOf(TTrafficKind::Error).size(), 1u);
    EXPECT_EQ(sink.PortStates(), (std::vector<TPortState>{TPortState::Open, TPortState::Closed}));

    std::filesystem::remove(link);
    std::filesystem::create_symlink(second.SlavePath(), link);
    terminal.Send("hi");
    EXPECT_TRUE(terminal.IsOpen());
    EXPECT_EQ(second.Read(2, 2s), "hi");
    second.Write("back");
    EXPECT_TRUE(sink.WaitFor([](const auto& records) { return records.back().Data == "back"; }));
}

TEST(Terminal, ALostDeviceComesBackByItselfAndItsTriggersGoOn) {
    TTempDir dir;
    std::string link = dir.Path("tty");
    std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"t\" HEX \"01\" { WAIT OUTW \"02\" GOTO 2 }");
    TRecordSink sink;
    auto device = std::make_unique<TPtyDevice>();
    std::filesystem::create_symlink(device->SlavePath(), link);
    TTerminal terminal(
        sink,
        test::SettingsOf(dir.Write(
            "c.ini", test::PortConfig(link, "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))));
    device->Write("\x01");
    EXPECT_EQ(device->Read(1, 5s), "\x02");

    device.reset(); // unplugged: the pty and the path it had are gone
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& records) { return records.back().Kind == TTrafficKind::Error; }));
    size_t lost = sink.Records().size() - 1;
    device = std::make_unique<TPtyDevice>(); // plugged in again, under the same link
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device->SlavePath(), link);
    ASSERT_TRUE(sink.WaitFor(
        [](const auto& records) { return records.back().Kind == TTrafficKind::Info; }));
    device->Write("\x01");
    EXPECT_EQ(device->Read(1, 5s), "\x02");
    auto records = sink.Records();
    ASSERT_GE(records.size(), lost + 2);
    EXPECT_EQ(records[lost].Data, link + ": Input/output error");
    EXPECT_EQ(records[lost + 1].Data,
              link + Cp1251(": открыт, чётность mark")); // one report each way
    EXPECT_EQ(records[lost + 2].Kind, TTrafficKind::Received);

    // Let go by the user: neither a send nor the reconnect opens it until the user does.
    terminal.Close();
    EXPECT_FALSE(terminal.IsOpen());
    EXPECT_EQ(terminal.SendLater("x"), TTerminal::TSendOutcome::PortClosed);
    const size_t closed = sink.Records().size();
    EXPECT_FALSE(sink.WaitForCount(closed + 1, 3 * TTerminal::ReconnectInterval));
    EXPECT_EQ(sink.Records().back().Data, link + Cp1251(": закрыт пользователем"));
    ASSERT_TRUE(terminal.Reopen());
    device->Write("\x01");
    EXPECT_EQ(device->Read(1, 5s), "\x02");
    using S = TPortState;
    EXPECT_EQ(sink.PortStates(),
              (std::vector<S>{S::Open, S::Waiting, S::Open, S::ClosedByUser, S::Open}));
}

TEST(Terminal, NewSettingsReopenThePortAndTheTriggersGoOn) {
    TTempDir dir;
    TPtyDevice first, second;
    std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"t\" HEX \"01\" { WAIT OUTW \"02\" GOTO 2 }");
    TRecordSink sink;
    TTerminal terminal(
        sink, test::SettingsOf(dir.Write(
                  "c.ini", test::PortConfig(first.SlavePath(),
                                            "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"))));
    first.Write("\x01");
    EXPECT_EQ(first.Read(1, 5s), "\x02");
    TTerminalSettings absent = terminal.Settings();
    absent.Device = "/nonexistent/tty";
    for (TPtyDevice* device : {&second, &first}) { // another port; back from a missing one
        if (device == &first) {
            terminal.Reconfigure(absent); // a reader waits for that one
            EXPECT_FALSE(terminal.IsOpen());
        }
        TTerminalSettings settings = terminal.Settings();
        settings.Device = device->SlavePath();
        settings.Line.BaudRate = 115200;
        terminal.Reconfigure(settings);
        ASSERT_TRUE(terminal.IsOpen());
        device->Write("\x01");
        EXPECT_EQ(device->Read(1, 5s), "\x02");
        termios line{};
        ASSERT_EQ(tcgetattr(device->MasterHandle(), &line), 0);
        EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    }
    auto info = sink.RecordsOf(TTrafficKind::Info);
    ASSERT_EQ(info.size(), 6u); // opened; new settings and opened; the missing one; again
    EXPECT_EQ(info[1].Data, Cp1251("Новые настройки порта: ") + second.SlavePath() + " 115200");
    EXPECT_EQ(info[2].Data, second.SlavePath() + Cp1251(": открыт, чётность mark"));
}

TEST(Terminal, AStopEventEndsAStartUpWriteToAStalledLine) {
    // The device never reads; at 100 ms per byte the start-up writes would wait for hours.
    TTempDir dir;
    TPtyDevice device;
    TRecordSink sink;
    TEvent stop;
    std::string outs;
    for (int i = 0; i < 90; ++i)
        outs += " OUT \"" + std::string(250, 'x') + "\"";
    std::string triggers = dir.Write("t.txt", "TRIGGER 1 \"t\" ANSI \"P\" {" + outs + " WAIT }");
    std::string config =
        dir.Write("c.ini", "[Port]\r\nDevice=" + device.SlavePath() +
                               "\r\n[Terminal]\r\nTriggerFile=" + triggers + "\r\n");
    std::thread signal([&] {
        device.Read(1, 5s); // the write has begun
        stop.Set();
    });
    TTerminal terminal(sink, test::SettingsOf(config), &stop);
    signal.join();
    auto sent = sink.RecordsOf(TTrafficKind::TriggerSent);
    ASSERT_EQ(sent.size(), 90u);
    size_t total = 0;
    for (const auto& record : sent)
        total += record.Data.size();
    EXPECT_LT(total, 90u * 250u);
}

TEST(Terminal, NoDescriptorLeftIsAnErrorRecordNotACrash) {
    // An event made while every descriptor is taken cannot work; the terminal says so.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> held;
    for (int fd; (fd = dup(0)) >= 0;)
        held.push_back(fd);
    auto broken = std::make_unique<TEvent>();
    for (int fd : held)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(broken->CreationError(), EMFILE);

    TRecordSink sink;
    TTerminal terminal(sink, test::SettingsOf("/nonexistent/config.ini"), broken.get());
    auto errors = sink.RecordsOf(TTrafficKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Data, "COM 1" + SystemMessage(EMFILE));
    EXPECT_FALSE(terminal.IsOpen());
}

TEST(TriggerLoading, AnythingButARegularFileIsReportedAndNeverWaitedFor) {
    TTempDir dir;
    std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct {
        std::string Path, Report;
    } cases[] = {
        {"/tmp", "/tmp -  21 Is a directory"},
        {fifo, fifo + " -  Not a regular file"},          // no writer: open must not wait
        {"/dev/zero", "/dev/zero -  Not a regular file"}, // endless
    };
    for (const auto& c : cases) {
        TRecordSink sink;
        TTerminal terminal(
            sink, test::SettingsOf(dir.Write(
                      "c.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n[Terminal]\r\nTriggerFile=" +
                                   c.Path + "\r\n")));
        auto errors = sink.RecordsOf(TTrafficKind::Error);
        ASSERT_EQ(errors.size(), 2u);
        EXPECT_EQ(errors[0].Data, Cp1251("Ошибка открытия файла :") + c.Report);
    }
}

TEST(Terminal, AVirtualPortTellsWhetherAnApplicationHasItOpen) {
    TTempDir dir;
    TRecordSink sink;
    TTerminalSettings settings;
    settings.Device = "pty:" + dir.Path("ttyV0");
    TTerminal terminal(sink, settings);
    auto statesEndWith = [&](TPortState last) {
        auto deadline = std::chrono::steady_clock::now() + 5s;
        for (;;) {
            std::vector<TPortState> states = sink.PortStates();
            if (!states.empty() && states.back() == last) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
    };
    ASSERT_TRUE(statesEndWith(TPortState::ApplicationAwaited));
    for (int visit = 0; visit < 3; ++visit) {
        int application = open(dir.Path("ttyV0").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(application, 0);
        EXPECT_TRUE(statesEndWith(TPortState::ApplicationConnected)) << visit;
        close(application);
        EXPECT_TRUE(statesEndWith(TPortState::ApplicationAwaited)) << visit;
    }
    std::vector<TPortState> states = sink.PortStates();
    EXPECT_EQ(states.front(), TPortState::Open);
    EXPECT_EQ(states.size(), 8u); // one report per change
}

} // namespace
} // namespace vemla
