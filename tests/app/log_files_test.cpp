#include "app/log_files.h"
#include "platform/cp1251.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace vemla {
namespace {

using test::TTempDir;
using K = TTrafficKind;

// 12:00:01.250 on 7 December 2026.
constexpr TDateTime Noon = 46363.0 + (12 * 3600 + 1.25) / 86400.0;

TTrafficRecord Record(TTrafficKind kind, std::string data, TDateTime time = Noon) {
    return {time, kind, std::move(data)};
}

struct TLogFixture : ::testing::Test {
    TTempDir dir;
    TTrafficList list;
    void Fill(int lines) {
        for (int i = 0; i < lines; ++i)
            list.Add(Record(K::Received, "A"), TCoding::Hex);
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
        EXPECT_TRUE(logs.Flush(list, Noon).Error.empty());
        EXPECT_EQ(list.Unflushed(), 0u); // written (or let go) once, kept as scrollback
        EXPECT_EQ(LogFiles().size(), autoSave ? 1u : 0u);
    }
    TLogWriter unbounded({0, dir.Path("Log") + "/", true});
    Fill(5000);
    EXPECT_FALSE(unbounded.FlushDue(list));
}

TEST_F(TLogFixture, AMultiLineRecordIsCountedAfterAllItsLines) {
    TLogWriter logs({3, dir.Path("Log") + "/", true});
    list.Add(Record(K::Received, "a\rb"), TCoding::Win);
    EXPECT_FALSE(logs.FlushDue(list));
    list.Add(Record(K::Received, "c\rd\re\r"), TCoding::Win); // continues b, then three more lines
    EXPECT_EQ(list.Size(), 5u);
    ASSERT_TRUE(logs.FlushDue(list));
    logs.Flush(list, Noon);
    std::string log = dir.Read("Log/261207_120001.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5);
    EXPECT_NE(log.find("---> bc\r\n"), std::string::npos);
}

TEST_F(TLogFixture, FlushesInOneSecondGetTheirOwnFiles) {
    TLogWriter logs({1, dir.Path("Log") + "\\", true}); // the directory is created
    for (int i = 0; i < 3; ++i) {
        Fill(2);
        logs.Flush(list, Noon);
    }
    auto files = LogFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].filename(), "261207_120001.log");
    EXPECT_EQ(files[1].filename(), "261207_120001_1.log");
    EXPECT_EQ(files[2].filename(), "261207_120001_2.log");
    // Each file holds its own flush only, though the writer keeps one buffer for all.
    for (const auto& file : files)
        EXPECT_EQ(dir.Read("Log/" + file.filename().string()),
                  std::string("12:00:01.250  ---> 41\r\n") + "12:00:01.250  ---> 41\r\n");
}

TEST_F(TLogFixture, EmptyViewWritesAnEmptyLog) {
    TLogWriter logs({300, dir.Path("Log") + "/", true});
    logs.Flush(list, Noon);
    ASSERT_EQ(LogFiles().size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(LogFiles()[0]), 0u);
}

TEST_F(TLogFixture, FailedWriteKeepsTheLinesAndReportsOnce) {
    std::string blocked = dir.Write("blocked", "a file where the directory should be");
    TLogWriter logs({2, blocked + "/", true});
    Fill(3);
    auto first = logs.Flush(list, Noon);
    EXPECT_NE(first.Error.find(Utf8ToCp1251("Ошибка открытия файла: ") + blocked +
                               "/261207_120001.log\n\r"),
              std::string::npos);
    EXPECT_EQ(list.Size(), 3u);
    EXPECT_FALSE(logs.FlushDue(list)); // the retry waits for another Size lines
    Fill(2);
    ASSERT_TRUE(logs.FlushDue(list));
    EXPECT_TRUE(logs.Flush(list, Noon).Error.empty()); // failing again, but no second box
    EXPECT_EQ(list.Size(), 5u);
}

TEST_F(TLogFixture, WritersSharingADirectoryNeverShareAFile) {
    // Two instances flushing in the same second, at once: each name is taken by one only.
    constexpr int Flushes = 300;
    auto flushMany = [this](const char* data) {
        TLogWriter writer({1, dir.Path("Log") + "/", true});
        TTrafficList own;
        for (int i = 0; i < Flushes; ++i) {
            own.Add(Record(K::Received, data), TCoding::Hex);
            EXPECT_TRUE(writer.Flush(own, Noon).Error.empty());
        }
    };
    std::thread first(flushMany, "\x01"), second(flushMany, "\x02");
    first.join();
    second.join();
    auto files = LogFiles();
    EXPECT_EQ(files.size(), 2u * Flushes);
    std::map<std::string, int> lines;
    for (const auto& file : files)
        ++lines[dir.Read("Log/" + file.filename().string())];
    EXPECT_EQ(lines["12:00:01.250  ---> 01\r\n"], Flushes);
    EXPECT_EQ(lines["12:00:01.250  ---> 02\r\n"], Flushes);
}

TEST_F(TLogFixture, FinalFlushThatFailsSavesTheLinesToAFallbackFile) {
    std::string blocked = dir.Write("blocked", "a file where the directory should be");
    TLogWriter logs({300, blocked + "/", true});
    Fill(2);
    logs.Flush(list, Noon); // fails quietly: reported once already, say
    TResult<> outcome =
        logs.FinalFlush(list, Noon, {dir.Path("missing") + "/", dir.Directory().string() + "/"});
    EXPECT_TRUE(list.Empty());
    std::string fallback = "vemla-unsaved-261207_120001.log";
    EXPECT_EQ(dir.Read("vemla-unsaved-261207_120001.log"),
              "12:00:01.250  ---> 41\r\n12:00:01.250  ---> 41\r\n");
    EXPECT_NE(outcome.Error.find(Utf8ToCp1251("Ошибка открытия файла: ") + blocked),
              std::string::npos);
    EXPECT_NE(outcome.Error.find(fallback), std::string::npos);

    TLogWriter off({300, blocked + "/", false}); // nothing asked to be logged: nothing to say
    Fill(1);
    EXPECT_TRUE(off.FinalFlush(list, Noon, {dir.Directory().string() + "/"}).Error.empty());
}

TEST(LogSettings, AnEmptyDirIsTheWorkingDirectory) {
    TTempDir dir;
    struct {
        const char* Config;
        const char* Dir;
    } cases[] = {
        {"", ".\\Log\\"}, {"[Log]\r\nDir=\r\n", ""}, {"[Log]\r\nDir= /var/x \r\n", "/var/x\\"}};
    for (const auto& c : cases)
        EXPECT_EQ(ReadLogSettings(TIniFile(dir.Write("c.ini", c.Config))).Dir, c.Dir);
}

} // namespace
} // namespace vemla
