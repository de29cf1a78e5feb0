#include "app/traffic_recorder.h"
#include "platform/cp1251.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vemla {
namespace {

using test::TTempDir;

struct TViewSpy : TTrafficView {
    std::vector<size_t> Changes;
    int Resets = 0;
    bool Resetting = false;
    size_t Dropped = 0;
    size_t Dropping = 0;
    void LinesChanged(size_t first) override { Changes.push_back(first); }
    void LinesFlushed() override {}
    void OldestDropping(size_t count) override { Dropping = count; }
    void OldestDropped(size_t count) override {
        EXPECT_EQ(count, Dropping);
        Dropped += count;
    }
    void ResetBegins() override { Resetting = true; }
    void ResetEnds() override {
        EXPECT_TRUE(Resetting);
        Resetting = false;
        ++Resets;
    }
};

std::string Logs(const TTempDir& dir) {
    std::string all;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log")))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        all += dir.Read("Log/" + file.filename().string()) + "|";
    return all;
}

TEST(TrafficRecorder, CountsRecordsLogsThemAndFlushesTheRestAtTheEnd) {
    TTempDir dir;
    TTrafficRecorder recorder;
    recorder.Configure(
        TIniFile(dir.Write("config.ini", "[Log]\r\nSize=2\r\nAutoSave=1\r\nDir=" + dir.Path("Log") +
                                             "\r\n[Terminal]\r\nScrollback=0\r\n")));
    TViewSpy view;
    recorder.SetView(&view);
    auto add = [&](TTrafficKind kind, std::string data) {
        return recorder.Add({46363.5, kind, std::move(data)});
    };
    EXPECT_TRUE(add(TTrafficKind::Received, "ABC").Ok());
    EXPECT_TRUE(add(TTrafficKind::Sent, "ok").Ok());
    EXPECT_EQ(view.Changes, (std::vector<size_t>{0, 1}));
    // A third line is past the size: all three go into a log file, the list starts again.
    EXPECT_TRUE(add(TTrafficKind::TriggerSent, "!").Ok());
    EXPECT_EQ(recorder.Lines().Size(), 0u);
    EXPECT_EQ(view.Dropped, 3u); // no scrollback: the flushed lines leave the view
    const std::string first = "12:00:00.000  ---> 41 42 43\r\n12:00:00.000  <--- 6F 6B\r\n"
                              "12:00:00.000  <-t- 21\r\n|";
    EXPECT_EQ(Logs(dir), first);

    // Switched off: counted, no line.
    recorder.SetRecording(false);
    add(TTrafficKind::Received, "xyz");
    recorder.SetRecording(true);
    EXPECT_EQ(recorder.Lines().Size(), 0u);
    EXPECT_EQ(recorder.ReceivedBytes(), 6u);
    EXPECT_EQ(recorder.SentBytes(), 3u);

    // A new coding rewrites the lines there are; the end writes them all, once.
    add(TTrafficKind::Received, "A");
    recorder.SetCoding(TCoding::Win);
    EXPECT_EQ(recorder.Lines()[0].Text, "A");
    EXPECT_TRUE(recorder.Finish().Ok());
    EXPECT_TRUE(recorder.Finished());
    add(TTrafficKind::Received, "late");
    EXPECT_TRUE(recorder.Finish().Ok());
    EXPECT_EQ(recorder.Lines().Size(), 0u);
    EXPECT_EQ(Logs(dir), first + "12:00:00.000  ---> A\r\n|");
}

// Flushed lines stay in the view as scrollback up to its limit and are written to the log
// once; the log is the same whatever the limit, and a flushed open "Win" line is not continued
// (its rest would never be logged).
TEST(TrafficRecorder, ScrollbackKeepsFlushedLinesAndLogsEachLineOnce) {
    struct {
        const char* Scrollback;
        size_t Kept;         // lines in the view before the final flush
        const char* Warning; // the start of the warning line for a value out of range
    } cases[] = {
        {"4", 4, nullptr},
        {"", 9, nullptr},
        {"0", 0, nullptr},
        {"-3", 0, "Scrollback=-3"},
        {"many", 9, "Scrollback=many"},
        {"2000000", 9, "Scrollback=2000000"},
    };
    const std::vector<std::string> logged = {"a", "b", "", "c", "d", "", "ef", "g", ""};
    for (const auto& c : cases) {
        TTempDir dir;
        TTrafficRecorder recorder;
        TViewSpy view;
        recorder.SetView(&view);
        std::string scrollback = *c.Scrollback ? std::string("Scrollback=") + c.Scrollback : "";
        recorder.Configure(TIniFile(
            dir.Write("config.ini", "[Log]\r\nSize=2\r\nAutoSave=1\r\nDir=" + dir.Path("Log") +
                                        "\r\n[Terminal]\r\n" + scrollback + "\r\n")));
        if (c.Warning) {
            ASSERT_EQ(recorder.Lines().Size(), 1u) << c.Scrollback;
            EXPECT_EQ(recorder.Lines()[0].Kind, TTrafficKind::Warning);
            EXPECT_EQ(recorder.Lines()[0].Text.rfind(c.Warning, 0), 0u);
        }
        recorder.Clear();
        recorder.SetCoding(TCoding::Win);
        for (const char* data : {"a\r", "b\r", "c\r", "d\r", "e", "f\rg\r"})
            recorder.Add({46363.5, TTrafficKind::Received, data});
        const TTrafficList& lines = recorder.Lines();
        EXPECT_EQ(lines.Size(), c.Kept) << c.Scrollback;
        EXPECT_EQ(lines.Unflushed(), 0u);
        EXPECT_EQ(view.Dropped, logged.size() - c.Kept) << c.Scrollback;
        for (size_t i = 0; i < lines.Size(); ++i) // the newest, as logged
            EXPECT_EQ(lines[i].Text, logged[logged.size() - lines.Size() + i]) << c.Scrollback;
        EXPECT_TRUE(recorder.Finish().Ok());
        std::string log;
        for (const std::string& line : logged)
            log += "12:00:00.000  ---> " + line + "\r\n";
        std::string all = Logs(dir);
        all.erase(std::remove(all.begin(), all.end(), '|'), all.end());
        EXPECT_EQ(all, log) << c.Scrollback;
    }
    // Without a view (vemla-cli) nobody reads lines back: a flush keeps none.
    TTempDir dir;
    TTrafficRecorder headless;
    headless.Configure(TIniFile(dir.Write("config.ini", "[Log]\r\nSize=2\r\n")));
    for (const char* data : {"a", "b", "c"})
        headless.Add({46363.5, TTrafficKind::Received, data});
    EXPECT_EQ(headless.Lines().Size(), 0u);
}

TEST(TrafficList, OldestBeyondKeepsTheNewestLinesWithinCountAndText) {
    struct {
        size_t Lines, TextBytes, Dropped;
    } cases[] = {{10, 1000, 0}, {3, 1000, 3}, {0, 1000, 5}, {10, 6, 1}, {10, 3, 3}, {4, 2, 4}};
    for (const auto& c : cases) {
        TTrafficList list;
        for (const char* text : {"aaaa", "bb", "c", "dd", "e"}) // 10 bytes, flushed
            list.Add({0, TTrafficKind::Info, text}, TCoding::Hex);
        list.MarkFlushed();
        list.Add({0, TTrafficKind::Info, "new"}, TCoding::Hex);
        EXPECT_EQ(list.OldestBeyond(c.Lines, c.TextBytes), c.Dropped)
            << c.Lines << " " << c.TextBytes;
    }
}

TEST(TrafficRecorder, AnEndThatCannotWriteItsLogSaysWhereTheLinesWent) {
    TTempDir dir;
    std::string blocked = dir.Write("blocked", "a file where the directory should be");
    TTrafficRecorder recorder;
    recorder.Configure(
        TIniFile(dir.Write("config.ini", "[Log]\r\nAutoSave=1\r\nDir=" + blocked + "\r\n")));
    recorder.Add({46363.5, TTrafficKind::Received, "A"});
    TResult<> end = recorder.Finish();
    EXPECT_NE(end.Error.find(blocked), std::string::npos) << end.Error;
    EXPECT_NE(end.Error.find("vemla-unsaved-"), std::string::npos) << end.Error;
}

} // namespace
} // namespace vemla
