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
    void LinesChanged(size_t first) override { Changes.push_back(first); }
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
    recorder.Configure(TIniFile(dir.Write(
        "config.ini", "[Log]\r\nSize=2\r\nAutoSave=1\r\nDir=" + dir.Path("Log") + "\r\n")));
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
    EXPECT_EQ(view.Resets, 1);
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
