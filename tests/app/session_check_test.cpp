// Trigger files checked against recorded sessions, and devices learned from them.
#include "app/check_session.h"
#include "app/learn_session.h"
#include "app/traffic_list.h"
#include "tests/support/temp_dir.h"
#include "trigger_language/trigger_file.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

using test::TTempDir;
constexpr auto In = TTrafficKind::Received;
constexpr auto Out = TTrafficKind::Sent;
constexpr auto Answer = TTrafficKind::TriggerSent;

struct TEntry {
    int64_t Ms;
    TTrafficKind Kind;
    std::string Bytes;
    TTrafficSource Source = TTrafficSource::Device;
};

// A log file as vemla writes it, starting at noon.
std::string LogText(const std::vector<TEntry>& entries, TCoding coding = TCoding::Hex) {
    TTrafficList list;
    for (const TEntry& entry : entries)
        list.Add({46000.5 + static_cast<double>(entry.Ms) / 86400000.0, entry.Kind, entry.Bytes,
                  entry.Source},
                 coding);
    std::string text;
    for (size_t i = 0; i < list.Size(); ++i)
        list.AppendLogLine(i, text);
    return text;
}

TSessionVerdict Check(const std::string& triggers, const std::vector<TEntry>& entries,
                      TSessionSide side = TSessionSide::Received) {
    TTempDir dir;
    TResult<TSessionLog> log = ReadSessionLog(dir.Write("s.log", LogText(entries)));
    EXPECT_TRUE(log.Ok()) << log.Error;
    TTableLoad table = LoadTriggers(triggers, 0);
    EXPECT_TRUE(table.Ok()) << table.Error;
    return CheckSession(log.Value, std::move(table.Value), 0, side);
}

TEST(SessionCheck, ComparesTheAnswersAfterEachPacket) {
    const std::string echo = "TRIGGER 1 \"p\" HEX \"50\"\n{\n WAIT\n OUT \"41\"\n GOTO 1\n}\n";
    // After P it answers A at once, sleeps 100 ms (on the session's clock), then sends B.
    const std::string sleeper =
        "TRIGGER 1 \"p\" HEX \"50\"\n{\n WAIT\n OUT \"41\"\n SLEEP 100\n OUTW \"42\"\n GOTO 2\n}\n";
    const std::string startUp = "TRIGGER 1 \"p\" HEX \"50\"\n{\n OUT \"53\"\n WAIT\n}\n";
    const std::string ticker =
        "TRIGGER 1 \"p\" HEX \"50\"\n{\n WAIT\n OUT \"41\"\n SLEEP 10\n OUT \"42\"\n GOTO 3\n}\n";
    const std::string spinner = "TRIGGER 1 \"p\" HEX \"50\"\n{\n WAIT\n SLEEP 0\n GOTO 2\n}\n";
    struct {
        const char* Name;
        const std::string& Triggers;
        std::vector<TEntry> Log;
        std::string Report; // the start of it
    } cases[] = {
        {"matching",
         echo,
         {{0, In, "P"},
          {0, Answer, "A"},
          {5, Out, "X"},
          {9, In, "P"},
          {9, Answer, "A"},
          {20, In, "Q"}},
         "OK: 3 packets, 2 answers\n"},
        {"wrong byte",
         echo,
         {{0, In, "P"}, {0, Answer, "A"}, {9, In, "P"}, {9, Answer, "B"}},
         "s.log, line 4: the answer to the packet of line 3\n"
         "  packet:   50\n  expected: 42  (line 4)\n  sent:     41  (trigger 1, command 2 "
         "(OUT))\n"},
        {"answer missing",
         echo,
         {{0, In, "Q"}, {0, Answer, "A"}},
         "s.log, line 2: the answer to the packet of line 1\n"
         "  packet:   51\n  expected: 41  (line 2)\n  sent:     nothing more\n"},
        {"answer not logged",
         echo,
         {{0, In, "P"}, {3, In, "Q"}},
         "s.log, line 1: the answer to the packet of line 1\n"
         "  packet:   50\n  expected: nothing more\n  sent:     41"},
        {"sleep ends after the next packet",
         sleeper,
         {{0, In, "P"}, {0, Answer, "A"}, {50, In, "Q"}, {100, Answer, "B"}},
         "OK: 2 packets, 2"},
        {"sleep logged too early",
         sleeper,
         {{0, In, "P"}, {0, Answer, "A"}, {40, Answer, "B"}, {50, In, "Q"}},
         "s.log, line 3: the answer to the packet of line 1\n"
         "  packet:   50\n  expected: 42  (line 3)\n  sent:     nothing more\n"},
        {"start-up run", startUp, {{0, Answer, "S"}, {1, In, "P"}}, "OK: 1 packets, 1 answers"},
        {"start-up run not logged",
         startUp,
         {{1, In, "P"}},
         "s.log, line 1: the start-up runs, before the first packet\n"},
        {"sleeping 0 ms for ever",
         spinner,
         {{0, In, "P"}, {10, In, "Q"}},
         "FAILED: triggers keep sleeping 0 ms at one moment, after the packet of "},
        {"empty log", echo, {}, "OK: 0 packets, 0 answers\n"},
        // Compared as written: a trigger ticking every 10 ms through 21 hours' gap in the log
        // stops at its first write the log lacks, keeping nothing.
        {"a ticker across a day",
         ticker,
         {{0, In, "P"}, {0, Answer, "A"}, {10, Answer, "B"}, {75'600'000, In, "Q"}},
         "s.log, line 1: the answer to the packet of line 1\n"
         "  packet:   50\n  expected: nothing more\n  sent:     42  (trigger 1, command 4 (OUT))"},
        {"a long packet is shown by its ends",
         echo,
         {{0, In, std::string(1000, 'P')}, {0, Answer, "A"}},
         "  packet:   50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 "
         "50 "
         "50 50 50 50 50 50 ... 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50  (1000 bytes)\n"},
    };
    for (const auto& c : cases) {
        TSessionVerdict verdict = Check(c.Triggers, c.Log);
        EXPECT_EQ(verdict.Passed, c.Report.rfind("OK", 0) == 0) << c.Name;
        EXPECT_NE(verdict.Report.find(c.Report), std::string::npos) << c.Name << ":\n"
                                                                    << verdict.Report;
    }
    // The mirror side: what vemla sent are the packets, what it received the answers.
    EXPECT_TRUE(Check(echo, {{0, Out, "P"}, {2, In, "A"}, {4, Answer, "P"}, {6, In, "A"}},
                      TSessionSide::Mirror)
                    .Passed);
}

TEST(SessionLog, ReadsFilesInOrderAndNamesTheLineOfAnythingElse) {
    TTempDir dir;
    std::filesystem::create_directory(dir.Path("Log"));
    // Name order counts numbers: _2 before _10; a file of another kind is not read.
    dir.Write("Log/261209_120000_10.log", LogText({{0, In, "C"}}));
    dir.Write("Log/261209_120000_2.log", LogText({{0, In, "B"}}));
    dir.Write("Log/261209_120000.log", LogText({{0, In, "A"}}));
    dir.Write("Log/notes.txt", "anything");
    TResult<TSessionLog> log = ReadSessionLog(dir.Path("Log"));
    ASSERT_TRUE(log.Ok()) << log.Error;
    std::string order;
    for (const TSessionLine& line : log.Value.Lines)
        order += line.Bytes;
    EXPECT_EQ(order, "ABC");

    // Win+Hex: escapes are bytes, a '<' that begins none stands for itself; midnight passes.
    const std::string bytes("<a\x01\x0D>", 5);
    std::string text = LogText({{0, In, bytes}}, TCoding::WinHex);
    text += text.substr(0, 13).replace(0, 12, "00:00:01.000") + text.substr(13);
    log = ReadSessionLog(dir.Write("w.log", text));
    ASSERT_TRUE(log.Ok()) << log.Error;
    ASSERT_EQ(log.Value.Lines.size(), 2u);
    EXPECT_EQ(log.Value.Lines[0].Bytes, bytes);
    EXPECT_EQ(log.Value.Lines[1].Time - log.Value.Lines[0].Time, 12 * 3600 * 1000 + 1000);

    const std::string good = LogText({{0, In, "A"}});
    struct {
        const char* Name;
        std::string Content;
        std::string Error;
    } bad[] = {
        {"truncated", good + good.substr(0, 20), "b.log, line 2: the file ends inside this line"},
        {"foreign", good + "hello world, this is not a log\r\n", "b.log, line 2: not a line of"},
        {"bad time", good + "25:00:00.000  ---> 41\r\n", "b.log, line 2: not a line of"},
        // A stray CR would otherwise read every hex line of the file as text.
        {"stray CR", good + "12:00:00.000  ---> 41\r42\r\n" + good,
         "b.log, line 2: a control byte inside the line (0x0D)"},
    };
    for (const auto& c : bad) {
        log = ReadSessionLog(dir.Write("b.log", c.Content));
        EXPECT_NE(log.Error.find(c.Error), std::string::npos) << c.Name << ": " << log.Error;
    }
    EXPECT_NE(ReadSessionLog(dir.Path("missing.log")).Error.find("missing.log: "),
              std::string::npos);
#ifndef _WIN32 // Windows reads "file/.." as the directory
    EXPECT_FALSE(ReadSessionLog(dir.Path("Log/notes.txt/..")).Ok());
#endif
}

TEST(LearnDevice, ALearnedDevicePassesTheCheckOnItsOwnSession) {
    const std::string longRequest(100, '\x11'), longAnswer(200, '\x22');
    std::vector<TEntry> session = {
        {0, In, "hello"},                                             // before the first request
        {10, Out, "R1"},        {12, In, "A1"},                       // the same answer every time
        {20, Out, "R2"},        {22, In, "B1"},       {23, In, "B2"}, // two packets
        {30, Out, "R1"},        {32, In, "A1"},       {40, Out, "R2"},
        {42, In, "C1"},     // another answer this time
        {50, Answer, "R3"}, // no answer at all
        {60, Out, longRequest}, {62, In, longAnswer}, {70, Out, "R2"},
        {72, In, "B1"},         {73, In, "B2"},       {80, Out, "R1"},
        {82, In, "A1"},         {90, Answer, ""}, // a trigger wrote while the port was missing
    };
    // Long requests alike in their first and last 40 bytes, and an answer of more writes than
    // one run of a trigger may make.
    std::string alike = longRequest;
    alike[50] = '\x33';
    session.push_back({100, Out, alike});
    session.push_back({101, In, "L2"});
    session.push_back({110, Out, longRequest});
    session.push_back({111, In, longAnswer});
    session.push_back({120, Out, "R4"});
    for (int k = 0; k < 150; ++k)
        session.push_back({121 + k, In, "P" + std::to_string(k)});
    TTempDir dir;
    TResult<TSessionLog> log = ReadSessionLog(dir.Write("m.log", LogText(session)));
    ASSERT_TRUE(log.Ok()) << log.Error;
    TResult<std::string> learned = LearnDevice(log.Value, "m\n.log");
    ASSERT_TRUE(learned.Ok()) << learned.Error;
    TTableLoad table = LoadTriggers(learned.Value, 0);
    ASSERT_TRUE(table.Ok()) << table.Error << "\n" << learned.Value;
    EXPECT_EQ(table.Value->Count(), 6);
    TSessionVerdict verdict =
        CheckSession(log.Value, std::move(table.Value), 0, TSessionSide::Mirror);
    EXPECT_TRUE(verdict.Passed) << verdict.Report << learned.Value;
    EXPECT_EQ(verdict.Report, "OK: 12 packets, 166 answers\n");

    EXPECT_FALSE(
        LearnDevice(ReadSessionLog(dir.Write("s.log", LogText({{0, In, "A"}}))).Value, "s.log")
            .Ok());
}

TEST(LearnDevice, ABridgeSessionInEveryCodingTeachesTheDevice) {
    // The application's requests (<-a-) and the device's answers, as a bridge logs them.
    constexpr auto App = TTrafficSource::Application;
    const std::vector<TEntry> session = {
        {0, In, "READ\r", App}, {5, In, "OK 1\r"},       {10, In, "SET 2\r", App},
        {15, In, "DONE\r"},     {20, In, "READ\r", App}, {25, In, "OK 1\r"},
    };
    // Win shows text lines; its CRs end lines and are not logged.
    for (TCoding coding : {TCoding::Hex, TCoding::WinHex, TCoding::Win}) {
        const std::string text = LogText(session, coding);
        size_t marks = 0;
        for (size_t at = 0; (at = text.find("  <-a- ", at)) != std::string::npos; ++at)
            ++marks;
        EXPECT_EQ(marks, 3u) << text;
        TTempDir dir;
        const std::string path = dir.Write("bridge.log", text);
        TResult<TSessionLog> log = ReadSessionLog(path);
        ASSERT_TRUE(log.Ok()) << log.Error;
        TResult<std::string> learned = LearnDevice(log.Value, "bridge.log");
        ASSERT_TRUE(learned.Ok()) << learned.Error;
        EXPECT_NE(learned.Value.find("// Sent by the application at " + path + " line 1, 5\n"),
                  std::string::npos)
            << learned.Value;
        TTableLoad table = LoadTriggers(learned.Value, 0);
        ASSERT_TRUE(table.Ok()) << table.Error;
        TSessionVerdict verdict =
            CheckSession(log.Value, std::move(table.Value), 0, TSessionSide::Mirror);
        EXPECT_EQ(verdict.Report, "OK: 3 packets, 3 answers\n") << text << learned.Value;
    }
}

} // namespace
} // namespace vemla
