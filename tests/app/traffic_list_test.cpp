#include "app/traffic_list.h"
#include "platform/cp1251.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

// 12:00:01.250 on 7 December 2026.
constexpr TDateTime Noon = 46363.0 + (12 * 3600 + 1.25) / 86400.0;

TTrafficRecord Record(TTrafficKind kind, std::string data, TDateTime time = Noon) {
    return {time, kind, std::move(data)};
}

std::vector<std::pair<TTrafficKind, std::string>> Lines(const TTrafficList& list) {
    std::vector<std::pair<TTrafficKind, std::string>> lines;
    for (size_t i = 0; i < list.Size(); ++i)
        lines.emplace_back(list[i].Kind, list[i].Text);
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
        {"another port starts a line",
         {{Record(K::Received, "AB"), 0},
          {{Noon, K::Received, "XY", TTrafficSource::Application}, 1}},
         {{K::Received, "AB"}, {K::Received, "XY"}}},
        {"info lines are never split",
         {{Record(K::Info, "a\rb"), 0}, {Record(K::Received, "\x01Z"), 1}},
         {{K::Info, "a\rb"}, {K::Received, "Z"}}},
    };
    for (const auto& c : cases) {
        TTrafficList list;
        for (const auto& step : c.Steps)
            EXPECT_EQ(list.Add(step.Record, TCoding::Win), step.FirstChanged) << c.Name;
        EXPECT_EQ(Lines(list), c.Expected) << c.Name;
    }
}

TEST(TrafficList, AFloodWithoutCarriageReturnsGrowsOneLine) {
    // Each record appends to the open line; copying it per record would never finish here.
    TTrafficList list;
    std::string chunk(1000, 'x');
    for (int i = 0; i < 20000; ++i)
        list.Add(Record(K::Received, chunk + "\x01"), TCoding::Win);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list[0].Text.size(), 20'000'000u);
    list.Add(Record(K::Received, "\ry"), TCoding::Win);
    EXPECT_EQ(Lines(list).back(), (std::pair<TTrafficKind, std::string>{K::Received, "y"}));
}

TEST(TrafficList, ContinuedLineKeepsItsTimeStamp) {
    TTrafficList list;
    list.Add(Record(K::Received, "AB"), TCoding::Win);
    list.Add(Record(K::Received, "CD", Noon + 1.0 / 86400.0), TCoding::Win);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(TimeStamp(list[0].Time), "12:00:01.250");
}

TEST(TrafficList, HexCodingsGiveOneLinePerRecord) {
    struct {
        TCoding Coding;
        const char* Expected;
    } cases[] = {{TCoding::Hex, "0D 0A 41"}, {TCoding::WinHex, "<0x0D><0x0A>A"}};
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
    list.Add(Record(K::Received, "\r\nA"), TCoding::Hex);
    list.Add(Record(K::Info, "COM 1: 0D"), TCoding::Hex);
    list.Add(Record(K::Error, "0D 0A"), TCoding::Hex);
    list.Recode(TCoding::Hex, TCoding::WinHex);
    EXPECT_EQ(Lines(list),
              (std::vector<std::pair<TTrafficKind, std::string>>{
                  {K::Received, "<0x0D><0x0A>A"}, {K::Info, "COM 1: 0D"}, {K::Error, "0D 0A"}}));
    list.SetText(0, "41 42"); // an edited line recodes from its edited text
    list.Recode(TCoding::WinHex, TCoding::Hex);
    EXPECT_EQ(list[0].Text, "34 31 20 34 32");
}

TEST(TrafficList, LogLineFormat) {
    TTrafficList list;
    list.Add(Record(K::Received, "\r\nA"), TCoding::Hex);
    list.Add(Record(K::Sent, "B"), TCoding::Hex);
    list.Add(Record(K::TriggerSent, "C"), TCoding::Hex);
    list.Add(Record(K::Info, Utf8ToCp1251("COM 1: открыт")), TCoding::Hex);
    list.Add(Record(K::Warning, "w"), TCoding::Hex);
    list.Add(Record(K::Error, "e"), TCoding::Hex);
    const std::string expected[] = {
        "12:00:01.250  ---> 0D 0A 41\r\n", "12:00:01.250  <--- 42\r\n",
        "12:00:01.250  <-t- 43\r\n",       "12:00:01.250       COM 1: \xEE\xF2\xEA\xF0\xFB\xF2\r\n",
        "12:00:01.250       w\r\n",        "12:00:01.250       e\r\n",
    };
    for (size_t i = 0; i < list.Size(); ++i)
        EXPECT_EQ(list.LogLine(i), expected[i]);
}

TEST(TimeStamp, RoundsToMilliseconds) {
    EXPECT_EQ(TimeStamp(46363.0 + (8 * 3600 + 30 * 60 + 5.007) / 86400.0), "08:30:05.007");
    EXPECT_EQ(TimeStamp(46363.0), "00:00:00.000");
}

TEST(TrafficList, FindIgnoresCaseWrapsRoundAndCopyKeepsTimeAndText) {
    TTrafficList list;
    for (const char* text : {"PING", "status Опрос", "pong", "ёлка"})
        list.Add(Record(K::Info, Utf8ToCp1251(text)), TCoding::Hex);
    struct {
        const char* Needle;
        size_t From;
        bool Forward;
        size_t Found;
    } cases[] = {
        {"ping", 4, true, 0},  // nothing selected: from the first line
        {"ING", 0, true, 0},   // the only match, found again after a full round
        {"ОПРОС", 0, true, 1}, // Cyrillic without regard to case
        {"Ёлка", 0, false, 3}, // backwards wraps round to the last line
        {"on", 1, true, 2},      {"on", 2, false, 2}, // "pong" is the only "on" (not "Опрос")
        {"nothing", 0, true, 4}, {"", 0, true, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(list.Find(Utf8ToCp1251(c.Needle), c.From, c.Forward), c.Found) << c.Needle;
    // Copied rows read as log lines, so the direction of data survives a paste.
    list.Add(Record(K::Received, "\x50\x4F"), TCoding::Hex);
    EXPECT_EQ(list.CopyText({4, 0}), "12:00:01.250  ---> 50 4F\n12:00:01.250       PING\n");
}

TEST(TrafficList, LineBreakDecidesWhereWinLinesEnd) {
    using B = TLineBreak;
    struct {
        B Break;
        TCoding Coding;
        std::vector<std::string> Lines;
    } cases[] = {
        {B::Cr, TCoding::Win, {"a", "bc", "d", "e", ""}},
        {B::Lf, TCoding::Win, {"a", "b", "cd", "e"}},
        {B::CrLf, TCoding::Win, {"a", "bcd", "e"}},
        {B::Any, TCoding::Win, {"a", "b", "c", "d", "e", ""}},
        {B::Any, TCoding::Hex, {"61 0D", "0A 62 0A 63 0D 64", "0D 0A 65 0D"}}, // other codings:
        {B::Lf, TCoding::WinHex, {"a<0x0D>", "<0x0A>b<0x0A>c<0x0D>d", "<0x0D><0x0A>e<0x0D>"}},
    };
    for (const auto& c : cases) {
        TTrafficList list;
        list.SetLineBreak(c.Break);
        // A CR LF pair split between two records still ends one line.
        for (const char* data : {"a\r", "\nb\nc\rd", "\r\ne\r"})
            list.Add(Record(K::Received, data), c.Coding);
        std::vector<std::string> texts;
        for (size_t i = 0; i < list.Size(); ++i)
            texts.push_back(list[i].Text);
        EXPECT_EQ(texts, c.Lines) << static_cast<int>(c.Break);
    }
    EXPECT_EQ(LineBreakFromText("crlf"), B::CrLf);
    EXPECT_EQ(LineBreakFromText("Any"), B::Any);
    EXPECT_EQ(LineBreakFromText("LF"), B::Lf);
    EXPECT_EQ(LineBreakFromText("\\n"), B::Cr);
}

} // namespace
} // namespace vemla
