#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/record_sink.h"
#include "tests/support/system_specifics.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trigger_files.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::Cp1251;
using test::TPtyDevice;
using test::TRecordSink;
using test::TTempDir;

// A terminal on a pty whose trigger file is the given text.
struct TWorld {
    explicit TWorld(const std::string& triggers, const std::string& device = "") {
        std::string triggerFile = dir.Write("triggers.txt", triggers);
        std::string port = device.empty() ? pty.SlavePath() : device;
        config =
            dir.Write("config.ini",
                      test::PortConfig(port, "[Terminal]\r\nTriggerFile=" + triggerFile + "\r\n"));
        terminal = std::make_unique<TTerminal>(sink, test::SettingsOf(config));
    }
    TTrigger& Trigger(std::string_view pattern) {
        TTrigger* trigger = terminal->Triggers().At(PacketHash(pattern, 0));
        EXPECT_NE(trigger, nullptr) << pattern;
        return *trigger;
    }
    std::vector<std::string> TriggerWrites() {
        std::vector<std::string> writes;
        for (const auto& r : sink.RecordsOf(TTrafficKind::TriggerSent))
            writes.push_back(r.Data);
        return writes;
    }
    // Sends a packet from the device and waits until the run it causes has reported.
    void Packet(std::string_view bytes) {
        TTrigger* trigger = &Trigger(bytes);
        int before = sink.NotificationsOf(trigger);
        pty.Write(bytes);
        ASSERT_TRUE(sink.WaitForNotificationsOf(trigger, before + 1));
    }

    TTempDir dir;
    TPtyDevice pty;
    TRecordSink sink;
    std::string config;
    std::unique_ptr<TTerminal> terminal;
};

TEST(TriggerRuntime, OutOutWaitOutEndsPastTheLastCommand) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { OUT \"x\" OUT \"y\" WAIT OUT \"z\" }");
    TTrigger& t = w.Trigger("P");
    EXPECT_EQ(w.TriggerWrites(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(t.NextCommand, 3);
    EXPECT_EQ(t.CurrentCommand, 2);
    EXPECT_EQ(t.Status, TTriggerStatus::Ok);
    w.Packet("P");
    EXPECT_EQ(w.TriggerWrites(), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(t.NextCommand, 4);
    EXPECT_EQ(t.Status, TTriggerStatus::MissingCommand);
    EXPECT_EQ(w.pty.Read(3, 2s), "xyz");
}

TEST(TriggerRuntime, WaitAndGotoAnswerEveryPacket) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { OUT \"x\" WAIT GOTO 1 }");
    for (int i = 0; i < 5; ++i)
        w.Packet("P");
    EXPECT_EQ(w.TriggerWrites().size(), 6u);
    EXPECT_EQ(w.Trigger("P").Status, TTriggerStatus::Ok);
}

TEST(TriggerRuntime, ALoopWithoutWaitStopsAfterTheRunLimit) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { OUT \"x\" GOTO 1 }");
    EXPECT_EQ(w.TriggerWrites().size(), 51u);
    EXPECT_EQ(w.Trigger("P").Status, TTriggerStatus::TooManyCommands);
    w.pty.Write("P");
    ASSERT_TRUE(
        w.sink.WaitFor([](const auto& r) { return r.back().Kind == TTrafficKind::Received; }));
    w.terminal->Send("");
    EXPECT_EQ(w.TriggerWrites().size(), 51u);
}

TEST(TriggerRuntime, StopSwitchesOffUntilMovedElsewhere) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { STOP OUT \"a\" WAIT GOTO 2 }");
    TTrigger& t = w.Trigger("P");
    EXPECT_EQ(t.Status, TTriggerStatus::SwitchedOff);
    EXPECT_EQ(t.NextCommand, 0);
    w.terminal->SetTriggerPosition(t, 0); // already its next command
    EXPECT_EQ(t.Status, TTriggerStatus::SwitchedOff);
    w.terminal->SetTriggerPosition(t, 1);
    EXPECT_EQ(t.Status, TTriggerStatus::Ok);
    EXPECT_EQ(w.TriggerWrites(), std::vector<std::string>{"a"});
    EXPECT_EQ(t.NextCommand, 3);
}

TEST(TriggerRuntime, SetTriggerPositionEdges) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { WAIT OUT \"a\" WAIT }");
    TTrigger& t = w.Trigger("P");
    int notified = w.sink.Notifications();
    struct {
        int32_t Position;
        TTriggerStatus Status;
        int32_t Next;
    } steps[] = {
        {1, TTriggerStatus::Ok, 1},           // its own next command: nothing
        {3, TTriggerStatus::Ok, 1},           // past the end: nothing
        {-7, TTriggerStatus::Ok, 1},          // not a command index: nothing
        {-1, TTriggerStatus::SwitchedOff, 1}, // switched off, no run
    };
    for (const auto& s : steps) {
        w.terminal->SetTriggerPosition(t, s.Position);
        EXPECT_EQ(t.Status, s.Status) << s.Position;
        EXPECT_EQ(t.NextCommand, s.Next) << s.Position;
    }
    EXPECT_EQ(w.sink.Notifications(), notified);
    EXPECT_TRUE(w.TriggerWrites().empty());
}

TEST(TriggerRuntime, SwitchToAMissingIdFails) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { WAIT SWITCH 9 0 WAIT }");
    TTrigger& t = w.Trigger("P");
    w.Packet("P");
    EXPECT_EQ(t.Status, TTriggerStatus::MissingTrigger);
    EXPECT_EQ(t.NextCommand, 1);
    EXPECT_EQ(t.CurrentCommand, 1);
}

TEST(TriggerRuntime, PacketsForEmptySlotsAndEmptyCyclesRunNothing) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { WAIT OUT \"a\" GOTO 1 }");
    int notified = w.sink.Notifications();
    w.pty.Write("Q");
    ASSERT_TRUE(w.sink.WaitFor([](const auto& r) { return r.back().Data == "Q"; }));
    w.terminal->MatchPacket("");
    w.terminal->Send("");
    EXPECT_EQ(w.sink.Notifications(), notified);
    EXPECT_TRUE(w.TriggerWrites().empty());
}

TEST(TriggerRuntime, SwitchChainsAreBoundedInDepth) {
    // Each SWITCH moves the trigger itself to the other SWITCH: an endless nest of runs.
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { WAIT SWITCH 1 2 SWITCH 1 1 }");
    TTrigger& t = w.Trigger("P");
    w.Packet("P");
    EXPECT_EQ(t.Status, TTriggerStatus::TooManyCommands);
}

TEST(TriggerRuntime, SwitchStormsEndAtTheBoundOfTheWholeRun) {
    TWorld w(test::SwitchStormTriggerFile());
    int exceeded = 0;
    for (char pattern = 'B'; pattern <= 'F'; ++pattern)
        exceeded += w.Trigger(std::string(1, pattern)).Status == TTriggerStatus::TooManyCommands;
    EXPECT_GE(exceeded, 1);
    EXPECT_LT(w.sink.Notifications(), 100000); // millions without the bound
}

TEST(TriggerRuntime, SwitchRestartsATriggerAndNestsItsRun) {
    TWorld w("TRIGGER 1 \"a\" ANSI \"A\" { WAIT SWITCH 2 1 OUT \"after\" WAIT }\n"
             "TRIGGER 2 \"b\" ANSI \"B\" { STOP OUT \"b\" WAIT GOTO 2 }");
    w.Packet("A");
    EXPECT_EQ(w.TriggerWrites(), (std::vector<std::string>{"b", "after"}));
    EXPECT_EQ(w.Trigger("B").Status, TTriggerStatus::Ok);
    EXPECT_EQ(w.Trigger("B").NextCommand, 3);
}

TEST(TriggerRuntime, SleepResumesOnlyFromTheSleep) {
    TWorld w(
        "TRIGGER 1 \"t\" ANSI \"P\" { SLEEP 1000 OUT \"a\" SLEEP 2000 OUT \"b\" WAIT GOTO 1 }");
    TTrigger& t = w.Trigger("P");
    EXPECT_EQ(w.sink.PendingSleeps()[&t], 1000);
    EXPECT_TRUE(w.TriggerWrites().empty());
    // A matching packet during the sleep resumes at once and reaches the second SLEEP,
    // whose timer replaces the first one.
    w.Packet("P");
    EXPECT_EQ(w.TriggerWrites(), std::vector<std::string>{"a"});
    EXPECT_EQ(w.sink.PendingSleeps()[&t], 2000);
    EXPECT_EQ(t.CurrentCommand, 2);
    w.terminal->SleepExpired(t); // the timer of the second SLEEP
    EXPECT_EQ(w.TriggerWrites(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(t.CurrentCommand, 4);
    w.terminal->SleepExpired(t); // a stale timer: the trigger stands on a WAIT
    EXPECT_EQ(w.TriggerWrites().size(), 2u);
}

TEST(TriggerRuntime, ExtremeSleepsAndJumpsEndInAStatus) {
    TWorld w("TRIGGER 1 \"a\" ANSI \"A\" { SLEEP 0 SLEEP 2147483647 GOTO 0 }\n"
             "TRIGGER 2 \"b\" ANSI \"B\" { GOTO 2147483647 }");
    TTrigger& a = w.Trigger("A");
    EXPECT_EQ(w.sink.PendingSleeps()[&a], 0);
    w.terminal->SleepExpired(a);
    EXPECT_EQ(w.sink.PendingSleeps()[&a], 2147483647);
    w.terminal->SleepExpired(a);
    EXPECT_EQ(a.Status, TTriggerStatus::MissingCommand);
    EXPECT_EQ(w.Trigger("B").Status, TTriggerStatus::MissingCommand);
}

TEST(TriggerLoading, MissingFileIsReportedAndThePortStillOpens) {
    TTempDir dir;
    TPtyDevice pty;
    TRecordSink sink;
    std::string missing = dir.Path("none.txt");
    TTerminal terminal(
        sink, test::SettingsOf(dir.Write("c.ini", "[Port]\r\nDevice=" + pty.SlavePath() +
                                                      "\r\n[Terminal]\r\nTriggerFile=" + missing +
                                                      "\r\n")));
    auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Kind, TTrafficKind::Error);
    EXPECT_EQ(records[0].Data, Cp1251("Ошибка открытия файла :") + missing + " -  " +
                                   std::to_string(test::NoSuchFileError) + " " +
                                   SystemMessage(test::NoSuchFileError));
    EXPECT_EQ(records[1].Kind, TTrafficKind::Info);
    EXPECT_TRUE(terminal.IsOpen());
}

TEST(TriggerLoading, SyntaxErrorLeavesNoTriggerAndComesBeforeThePortRecord) {
    TTempDir dir;
    TRecordSink sink;
    std::string file = dir.Write("bad.txt", "TRIGGER 1 \"a\" ANSI \"A\" { OUT \"x\" }\n"
                                            "TRIGGER 2 \"b\" HEX \"01\"\n{\n}\n");
    const std::string missing = test::MissingPortPath;
    TTerminal terminal(sink, test::SettingsOf(dir.Write(
                                 "c.ini", "[Port]\r\nDevice=" + missing +
                                              "\r\n[Terminal]\r\nTriggerFile=" + file + "\r\n")));
    auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Data, Cp1251("Ошибка загрузки файла \"") + file +
                                   Cp1251("\": syntax error в строке 4 ,около `}'"));
    EXPECT_EQ(records[1].Data, missing + ": " + SystemMessage(test::NoSuchPortError));
    EXPECT_EQ(terminal.Triggers().Count(), 0);
    terminal.MatchPacket("A");
    EXPECT_TRUE(sink.RecordsOf(TTrafficKind::TriggerSent).empty());
}

TEST(TriggerLoading, DuplicateIdsResolveToTheLowerSlot) {
    // "B" hashes to slot 66, "A" to 65: the second trigger in the file has the lower slot.
    TWorld w("TRIGGER 5 \"high\" ANSI \"B\" { STOP OUT \"high\" WAIT GOTO 1 }\n"
             "TRIGGER 5 \"low\" ANSI \"A\" { STOP OUT \"low\" WAIT GOTO 1 }\n"
             "TRIGGER 6 \"switch\" ANSI \"C\" { WAIT SWITCH 5 1 WAIT }");
    EXPECT_EQ(w.Trigger("C").Commands[1].TargetSlot, 65);
    w.Packet("C");
    EXPECT_EQ(w.TriggerWrites(), std::vector<std::string>{"low"});
}

TEST(TriggerLoading, TriggersStartAfterThePortRecordAndAnAnswerToAClosedPortIsAnError) {
    TWorld w("TRIGGER 1 \"t\" ANSI \"P\" { PRINT \"hello\" OUT \"x\" WAIT }", "/nonexistent/tty");
    auto records = w.sink.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Kind, TTrafficKind::Error);
    EXPECT_EQ(records[1].Kind, TTrafficKind::Info);
    EXPECT_EQ(records[1].Data, "hello");
    // An answer that never reached the line says so, rather than leaving an empty data line.
    EXPECT_EQ(records[2].Kind, TTrafficKind::Error);
    EXPECT_EQ(records[2].Data, "/nonexistent/tty" + Cp1251(": порт закрыт, не передано байт: 1"));
}

TEST(TriggerEndToEnd, ExampleFileAnswersTheDevice) {
    TWorld w(R"(TRIGGER 1 "Ping" ANSI "PING<0x0D>"
{ WAIT SLEEP 50 OUT "PONG<0x0D>" GOTO 1 }
TRIGGER 2 "Status poll" HEX "01 03 00 00"
{ WAIT OUTW "01 03 02 00 2A" GOTO 2 WAIT OUTW "01 83 02" GOTO 5 }
TRIGGER 3 "Fault" HEX "AA 55"
{ WAIT SWITCH 2 3 PRINT "status poll now answers with a fault" STOP })");
    TTrigger& ping = w.Trigger("PING\r");
    w.Packet("PING\r");
    ASSERT_EQ(w.sink.PendingSleeps()[&ping], 50);
    auto slept = std::chrono::steady_clock::now();
    EXPECT_EQ(w.pty.Read(5, 40ms), "");          // nothing before the sleep ends
    std::this_thread::sleep_until(slept + 50ms); // the timer's own delay, as the host keeps it
    w.terminal->SleepExpired(ping);
    EXPECT_EQ(w.pty.Read(5, 2s), "PONG\r");

    const std::string poll("\x01\x03\x00\x00", 4);
    w.Packet(poll);
    EXPECT_EQ(w.pty.Read(5, 2s), std::string("\x01\x03\x02\x00\x2A", 5));
    w.Packet("\xAA\x55");
    EXPECT_EQ(w.Trigger("\xAA\x55").Status, TTriggerStatus::SwitchedOff);
    auto infos = w.sink.RecordsOf(TTrafficKind::Info);
    EXPECT_EQ(infos.back().Data, "status poll now answers with a fault");
    w.Packet(poll);
    EXPECT_EQ(w.pty.Read(3, 2s), "\x01\x83\x02");
    w.Packet(poll);
    EXPECT_EQ(w.pty.Read(3, 2s), "\x01\x83\x02");
}

TEST(TriggerStress, ReaderRunsAndUserMovesDoNotRace) {
    TWorld w("TRIGGER 1 \"a\" ANSI \"A\" { WAIT OUT \"1\" SLEEP 1 SWITCH 2 1 GOTO 1 }\n"
             "TRIGGER 2 \"b\" ANSI \"B\" { WAIT OUT \"2\" SWITCH 1 2 SLEEP 1 GOTO 1 }");
    TTrigger& a = w.Trigger("A");
    TTrigger& b = w.Trigger("B");
    std::atomic<bool> done{false};
    std::thread device([&] {
        // Packets are told apart by the line's silence between them.
        for (int i = 0; i < 150; ++i) {
            w.pty.Write(i % 2 ? "A" : "B");
            std::this_thread::sleep_for(6ms);
        }
        done = true;
    });
    std::mt19937 random(7);
    while (!done) {
        TTrigger& t = random() % 2 ? a : b;
        w.terminal->SetTriggerPosition(t, static_cast<int32_t>(random() % 6) - 1);
        w.terminal->SleepExpired(t);
        (void)t.Status.load();
        (void)t.CurrentCommand.load();
    }
    device.join();
    w.terminal.reset();
    EXPECT_GT(w.sink.Notifications(), 0);
}

} // namespace
} // namespace vemla

namespace vemla {
namespace {

TEST(TriggerRuntime, RepliesAreBuiltFromTheRequestOrSetTheirErrorStatus) {
    // A Modbus slave 1 that answers a read of any register with the register number as its
    // value, and ignores a frame with a bad CRC; the start-up reply has no request yet.
    TWorld world("TRIGGER 1 \"read\" MASK HEX \"01 03 ?? ?? 00 01 =CRC16M\" "
                 "{ WAIT REPLY \"$0 $1 02 $2..3 CRC16M\" GOTO 1 }\n"
                 "TRIGGER 2 \"early\" HEX \"AA\" { REPLY \"$0\" WAIT }\n");
    const TTrigger& early = world.Trigger("\xAA");
    EXPECT_EQ(early.Status, TTriggerStatus::AnswerError);
    auto crc16m = TChecksum::FromText("CRC16M");
    for (int reg : {5, 0x1234}) {
        std::string request = {'\x01', '\x03', char(reg >> 8), char(reg), '\x00', '\x01'};
        request += crc16m->WrittenFor(request);
        std::string answer = {'\x01', '\x03', '\x02', char(reg >> 8), char(reg)};
        answer += crc16m->WrittenFor(answer);
        world.pty.Write(request);
        EXPECT_EQ(world.pty.ReadPacket(2s, 20ms), answer) << reg;
        request.back() ^= 1; // a bad CRC: no trigger takes it
        world.pty.Write(request);
        EXPECT_EQ(world.pty.ReadPacket(100ms, 20ms), "") << reg;
    }
    EXPECT_EQ(world.TriggerWrites().size(), 2u);
}

TEST(TriggerRuntime, TheHashSlotAnswersFirstAndMasksOnlyPacketsThatFindItEmpty) {
    TWorld world(
        "TRIGGER 1 \"poll\" HEX \"01 03 00 00\" { WAIT OUT \"0A\" GOTO 1 }\n"
        "TRIGGER 2 \"any read\" MASK HEX \"01 03 ?? ?? =XOR8\" { WAIT OUT \"0B\" GOTO 1 }\n"
        "TRIGGER 3 \"slave 1\" MASK HEX \"01 *\" { WAIT OUT \"0C\" GOTO 1 }\n"
        "TRIGGER 4 \"never\" MASK HEX \"01 03 00 07 03\" { WAIT OUT \"0D\" GOTO 1 }\n");
    ASSERT_EQ(world.terminal->Triggers().Count(), 4);
    // Each packet, and the answer it must get (none: no trigger takes it).
    const std::pair<std::string, std::string> exchanges[] = {
        {std::string("\x01\x03\x00\x00", 4), "\x0A"},     // the classic slot
        {std::string("\x01\x03\x00\x07\x05", 5), "\x0B"}, // checksum valid: the first mask
        {std::string("\x01\x03\x00\x07\x03", 5), "\x0C"}, // checksum invalid: the next one
        {std::string("\x02\x03", 2), ""},
        {std::string("\x01", 1), "\x0C"},
    };
    std::string expected;
    for (const auto& [packet, answer] : exchanges) {
        world.pty.Write(packet);
        EXPECT_EQ(world.pty.ReadPacket(answer.empty() ? 100ms : 2s, 20ms), answer) << packet.size();
        expected += answer;
    }
    std::string written;
    for (const std::string& write : world.TriggerWrites())
        written += write;
    EXPECT_EQ(written, expected);
}

} // namespace
} // namespace vemla
