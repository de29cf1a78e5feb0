#include "main_window/command_line.h"
#include "main_window/log_files.h"
#include "main_window/startup.h"
#include "main_window/traffic_list.h"
#include "platform/cp1251.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <map>
#include <thread>
#include <gtest/gtest.h>

namespace vemla {
namespace {

using test::TTempDir;

// 12:00:01.250 on 7 December 2026.
constexpr TDateTime kNoon = 46363.0 + (12 * 3600 + 1.25) / 86400.0;

TTrafficRecord Record(TTrafficKind kind, std::string data, TDateTime time = kNoon) {
    return {time, kind, std::move(data)};
}

std::vector<std::pair<TTrafficKind, std::string>> Lines(const TTrafficList& list) {
    std::vector<std::pair<TTrafficKind, std::string>> lines;
    for (size_t i = 0; i < list.Size(); ++i) lines.emplace_back(list[i].Kind, list[i].Text);
    return lines;
}

using K = TTrafficKind;

TEST(TrafficList, WinCodingKeepsAnOpenLine) {
    struct TStep {
        TTrafficRecord Record;
        size_t FirstChanged;
    };
    struct {
        const char* Name;
        std::vector<TStep> Steps;
        std::vector<std::pair<TTrafficKind, std::string>> Expected;
    } cases[] = {
        {"split and continue",
         {{Record(K::Received, "AB\r\nCD"), 0}, {Record(K::Received, "EF\r"), 1}},
         {{K::Received, "AB"}, {K::Received, "CDEF"}, {K::Received, ""}}},
        {"another kind starts a line",
         {{Record(K::Received, "AB"), 0}, {Record(K::Sent, "XY"), 1}},
         {{K::Received, "AB"}, {K::Sent, "XY"}}},
        {"an empty line takes any kind",
         {{Record(K::Received, "AB\r"), 0}, {Record(K::Sent, "XY"), 1}},
         {{K::Received, "AB"}, {K::Received, "XY"}}},
        {"info lines are never split",
         {{Record(K::Info, "a\rb"), 0}, {Record(K::Received, "\x01Z"), 1}},
         {{K::Info, "a\rb"}, {K::Received, "Z"}}},
    };
    for (const auto& c : cases) {
        TTrafficList list;
        for (const auto& step : c.Steps) EXPECT_EQ(list.Add(step.Record, 2), step.FirstChanged) << c.Name;
        EXPECT_EQ(Lines(list), c.Expected) << c.Name;
    }
}

TEST(TrafficList, AFloodWithoutCarriageReturnsGrowsOneLine) {
    // Each record appends to the open line; copying it per record would never finish here.
    TTrafficList list;
    std::string chunk(1000, 'x');
    for (int i = 0; i < 20000; ++i) list.Add(Record(K::Received, chunk + "\x01"), 2);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list[0].Text.size(), 20'000'000u);
    list.Add(Record(K::Received, "\ry"), 2);
    EXPECT_EQ(Lines(list).back(), (std::pair<TTrafficKind, std::string>{K::Received, "y"}));
}

TEST(TrafficList, ContinuedLineKeepsItsTimeStamp) {
    TTrafficList list;
    list.Add(Record(K::Received, "AB"), 2);
    list.Add(Record(K::Received, "CD", kNoon + 1.0 / 86400.0), 2);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(TimeStamp(list[0].Time), "12:00:01.250");
}

TEST(TrafficList, HexCodingsGiveOneLinePerRecord) {
    struct {
        TCoding Coding;
        const char* Expected;
    } cases[] = {{0, "0D 0A 41"}, {1, "<0x0D><0x0A>A"}};
    for (const auto& c : cases) {
        TTrafficList list;
        list.Add(Record(K::Received, "\r\nA"), c.Coding);
        list.Add(Record(K::Received, "\r\nA"), c.Coding);
        ASSERT_EQ(list.Size(), 2u);
        EXPECT_EQ(list[1].Text, c.Expected);
    }
}

TEST(TrafficList, RecodingTouchesOnlyDataLines) {
    TTrafficList list;
    list.Add(Record(K::Received, "\r\nA"), 0);
    list.Add(Record(K::Info, "COM 1: 0D"), 0);
    list.Add(Record(K::Error, "0D 0A"), 0);
    list.Recode(0, 1);
    EXPECT_EQ(Lines(list), (std::vector<std::pair<TTrafficKind, std::string>>{
                               {K::Received, "<0x0D><0x0A>A"}, {K::Info, "COM 1: 0D"}, {K::Error, "0D 0A"}}));
    list.SetText(0, "41 42"); // an edited line recodes from its edited text
    list.Recode(1, 0);
    EXPECT_EQ(list[0].Text, "34 31 20 34 32");
}

TEST(TrafficList, LogLineFormat) {
    TTrafficList list;
    list.Add(Record(K::Received, "\r\nA"), 0);
    list.Add(Record(K::Sent, "B"), 0);
    list.Add(Record(K::TriggerSent, "C"), 0);
    list.Add(Record(K::Info, Utf8ToCp1251("COM 1: открыт")), 0);
    list.Add(Record(K::Warning, "w"), 0);
    list.Add(Record(K::Error, "e"), 0);
    const std::string expected[] = {
        "12:00:01.250  ---> 0D 0A 41\r\n", "12:00:01.250  <--- 42\r\n",
        "12:00:01.250  <-t- 43\r\n",       "12:00:01.250       COM 1: \xEE\xF2\xEA\xF0\xFB\xF2\r\n",
        "12:00:01.250       w\r\n",        "12:00:01.250       e\r\n",
    };
    for (size_t i = 0; i < list.Size(); ++i) EXPECT_EQ(list.LogLine(i), expected[i]);
}

TEST(TimeStamp, RoundsToMilliseconds) {
    EXPECT_EQ(TimeStamp(46363.0 + (8 * 3600 + 30 * 60 + 5.007) / 86400.0), "08:30:05.007");
    EXPECT_EQ(TimeStamp(46363.0), "00:00:00.000");
}

struct TLogFixture : ::testing::Test {
    TTempDir dir;
    TTrafficList list;
    void Fill(int lines) {
        for (int i = 0; i < lines; ++i) list.Add(Record(K::Received, "A"), 0);
    }
    std::vector<std::filesystem::path> LogFiles() {
        std::vector<std::filesystem::path> files;
        if (!std::filesystem::exists(dir.Path("Log"))) return files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log")))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(TLogFixture, FlushAfterSizePlusOneLinesWithAndWithoutAutoSave) {
    for (bool autoSave : {false, true}) {
        TLogWriter logs({300, dir.Path("Log") + "/", autoSave});
        Fill(300);
        EXPECT_FALSE(logs.FlushDue(list));
        Fill(1);
        ASSERT_TRUE(logs.FlushDue(list));
        EXPECT_TRUE(logs.Flush(list, kNoon).Error.empty());
        EXPECT_TRUE(list.Empty());
        EXPECT_EQ(LogFiles().size(), autoSave ? 1u : 0u);
    }
    TLogWriter unbounded({0, dir.Path("Log") + "/", true});
    Fill(5000);
    EXPECT_FALSE(unbounded.FlushDue(list));
}

TEST_F(TLogFixture, AMultiLineRecordIsCountedAfterAllItsLines) {
    TLogWriter logs({3, dir.Path("Log") + "/", true});
    list.Add(Record(K::Received, "a\rb"), 2);
    EXPECT_FALSE(logs.FlushDue(list));
    list.Add(Record(K::Received, "c\rd\re\r"), 2); // continues b, then three more lines
    EXPECT_EQ(list.Size(), 5u);
    ASSERT_TRUE(logs.FlushDue(list));
    logs.Flush(list, kNoon);
    std::string log = dir.Read("Log/261207_120001.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5);
    EXPECT_NE(log.find("---> bc\r\n"), std::string::npos);
}

TEST_F(TLogFixture, FlushesInOneSecondGetTheirOwnFiles) {
    TLogWriter logs({1, dir.Path("Log") + "\\", true}); // the directory is created
    for (int i = 0; i < 3; ++i) {
        Fill(2);
        logs.Flush(list, kNoon);
    }
    auto files = LogFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].filename(), "261207_120001.log");
    EXPECT_EQ(files[1].filename(), "261207_120001_1.log");
    EXPECT_EQ(files[2].filename(), "261207_120001_2.log");
    EXPECT_EQ(dir.Read("Log/261207_120001.log"), std::string("12:00:01.250  ---> 41\r\n") + "12:00:01.250  ---> 41\r\n");
}

TEST_F(TLogFixture, EmptyViewWritesAnEmptyLog) {
    TLogWriter logs({300, dir.Path("Log") + "/", true});
    logs.Flush(list, kNoon);
    ASSERT_EQ(LogFiles().size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(LogFiles()[0]), 0u);
}

TEST_F(TLogFixture, FailedWriteKeepsTheLinesAndReportsOnce) {
    std::string blocked = dir.Write("blocked", "a file where the directory should be");
    TLogWriter logs({2, blocked + "/", true});
    Fill(3);
    auto first = logs.Flush(list, kNoon);
    EXPECT_NE(first.Error.find(Utf8ToCp1251("Ошибка открытия файла: ") + blocked + "/261207_120001.log\n\r"),
              std::string::npos);
    EXPECT_EQ(list.Size(), 3u);
    EXPECT_FALSE(logs.FlushDue(list)); // the retry waits for another Size lines
    Fill(2);
    ASSERT_TRUE(logs.FlushDue(list));
    EXPECT_TRUE(logs.Flush(list, kNoon).Error.empty()); // failing again, but no second box
    EXPECT_EQ(list.Size(), 5u);
}

TEST_F(TLogFixture, WritersSharingADirectoryNeverShareAFile) {
    // Two instances flushing in the same second, at once: each name is taken by one only.
    constexpr int kFlushes = 300;
    auto flushMany = [this](const char* data) {
        TLogWriter writer({1, dir.Path("Log") + "/", true});
        TTrafficList own;
        for (int i = 0; i < kFlushes; ++i) {
            own.Add(Record(K::Received, data), 0);
            EXPECT_TRUE(writer.Flush(own, kNoon).Error.empty());
        }
    };
    std::thread first(flushMany, "\x01"), second(flushMany, "\x02");
    first.join();
    second.join();
    auto files = LogFiles();
    EXPECT_EQ(files.size(), 2u * kFlushes);
    std::map<std::string, int> lines;
    for (const auto& file : files) ++lines[dir.Read("Log/" + file.filename().string())];
    EXPECT_EQ(lines["12:00:01.250  ---> 01\r\n"], kFlushes);
    EXPECT_EQ(lines["12:00:01.250  ---> 02\r\n"], kFlushes);
}

TEST_F(TLogFixture, FinalFlushThatFailsSavesTheLinesToAFallbackFile) {
    std::string blocked = dir.Write("blocked", "a file where the directory should be");
    TLogWriter logs({300, blocked + "/", true});
    Fill(2);
    logs.Flush(list, kNoon); // fails quietly: reported once already, say
    TResult<> outcome =
        logs.FinalFlush(list, kNoon, {dir.Path("missing") + "/", dir.Directory().string() + "/"});
    EXPECT_TRUE(list.Empty());
    std::string fallback = dir.Path("vemla-unsaved-261207_120001.log");
    EXPECT_EQ(dir.Read("vemla-unsaved-261207_120001.log"), "12:00:01.250  ---> 41\r\n12:00:01.250  ---> 41\r\n");
    EXPECT_NE(outcome.Error.find(Utf8ToCp1251("Ошибка открытия файла: ") + blocked), std::string::npos);
    EXPECT_NE(outcome.Error.find(fallback), std::string::npos);

    TLogWriter off({300, blocked + "/", false}); // nothing asked to be logged: nothing to say
    Fill(1);
    EXPECT_TRUE(off.FinalFlush(list, kNoon, {dir.Directory().string() + "/"}).Error.empty());
}

TEST(LogSettings, AnEmptyDirIsTheWorkingDirectory) {
    TTempDir dir;
    struct {
        const char* Config;
        const char* Dir;
    } cases[] = {{"", ".\\Log\\"}, {"[Log]\r\nDir=\r\n", ""}, {"[Log]\r\nDir= /var/x \r\n", "/var/x\\"}};
    for (const auto& c : cases) EXPECT_EQ(ReadLogSettings(TIniFile(dir.Write("c.ini", c.Config))).Dir, c.Dir);
}

TEST(Startup, ConfigFileFromTheCommandLine) {
    TTempDir dir;
    std::string existing = dir.Write("my.ini", "");
    struct {
        std::vector<std::string> Arguments;
        std::string FileName, Suffix, Missing;
    } cases[] = {
        {{}, "/prog/config.ini", "", ""},
        {{existing, "ignored"}, existing, " [\"" + existing + "\"]", ""},
        {{dir.Path("none.ini")}, "/prog/config.ini", "", dir.Path("none.ini")},
        {{"/dev/zero"}, "/prog/config.ini", "", "/dev/zero"}, // only a regular file is a configuration
    };
    for (const auto& c : cases) {
        TConfigChoice choice = SettleConfigFile(c.Arguments, "/prog/");
        EXPECT_EQ(choice.FileName, c.FileName);
        EXPECT_EQ(choice.CaptionSuffix, c.Suffix);
        EXPECT_EQ(choice.MissingFile, c.Missing);
    }
    EXPECT_EQ(Cp1251ToUtf8(MissingConfigWarning("x.ini")),
              "Файл \"x.ini\" не найден. Будет использоваться \"config.ini\"");
    TTerminalSettings com;
    com.PortNumber = 3;
    EXPECT_EQ(Cp1251ToUtf8(MainCaption(com, "")), "Терминал [COM3] ");
    com.Device = "/dev/ttyUSB0";
    EXPECT_EQ(Cp1251ToUtf8(MainCaption(com, " [\"a.ini\"]")), "Терминал [/dev/ttyUSB0]  [\"a.ini\"]");
}

TEST(CommandLine, OptionsAndTheirMistakes) {
    struct {
        std::vector<std::string> Arguments;
        std::string Error;
        bool Echo, Check;
        int32_t HashSize;
        std::vector<std::string> Positional;
    } cases[] = {
        {{}, "", false, false, 0, {}},
        {{"my.ini", "--echo"}, "", true, false, 0, {"my.ini"}},
        {{"--check-triggers", "t.txt", "--hash-size", "2"}, "", false, true, 2, {}},
        {{"--check-triggers"}, "--check-triggers needs a value", false, true, 0, {}},
        {{"--hash-size", "x2"}, "--hash-size needs a whole number, not \"x2\"", false, false, 0, {}},
        {{"--hash-size", "99999999999"}, "--hash-size needs a whole number, not \"99999999999\"", false, false, 0, {}},
        {{"-x"}, "unknown option -x", false, false, 0, {}},
    };
    for (const auto& c : cases) {
        TCommandLine line = ParseCommandLine(c.Arguments);
        EXPECT_EQ(line.Error, c.Error);
        EXPECT_EQ(line.Echo, c.Echo);
        EXPECT_EQ(line.CheckTriggers, c.Check);
        EXPECT_EQ(line.HashSize, c.HashSize);
        EXPECT_EQ(line.Arguments, c.Positional);
    }
}

TEST(CommandLine, OffscreenOnlyWithoutADisplayForHiddenOrEchoingRuns) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    TCommandLine echo = ParseCommandLine({"--echo"});
    TCommandLine plain = ParseCommandLine({});
    EXPECT_TRUE(NeedsOffscreenPlatform(echo, false));
    EXPECT_TRUE(NeedsOffscreenPlatform(plain, true));
    EXPECT_FALSE(NeedsOffscreenPlatform(plain, false));
    setenv("DISPLAY", ":0", 1);
    EXPECT_FALSE(NeedsOffscreenPlatform(echo, true));
    unsetenv("DISPLAY");
}

} // namespace
} // namespace vemla
