#include "app/send_line.h"
#include "platform/cp1251.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(SendLine, SendsWhatTheCodecReadsOrSaysWhereItIsWrong) {
    struct {
        const char* Text;
        TCoding Coding;
        TLineEnding Ending;
        std::string Bytes;
        const char* Error;
    } cases[] = {
        {"50 49 4E 47", TCoding::Hex, TLineEnding::Cr, "PING\r", ""},
        {"0d0A 41", TCoding::Hex, TLineEnding::None, "\r\nA", ""},
        {"", TCoding::Hex, TLineEnding::CrLf, "\r\n", ""},
        {"hello", TCoding::Hex, TLineEnding::None, "", "Не шестнадцатеричная цифра в позиции 1"},
        {"0D 0A1", TCoding::Hex, TLineEnding::None, "",
         "Нечётное число шестнадцатеричных цифр перед позицией 7"},
        {"0D\t0A", TCoding::Hex, TLineEnding::None, "", "Не шестнадцатеричная цифра в позиции 3"},
        {"AT<0x0D>", TCoding::WinHex, TLineEnding::Lf, "AT\r\n", ""},
        {"a>b", TCoding::Win, TLineEnding::None, "a>b", ""},
        {"x<0x3c>y", TCoding::Win, TLineEnding::None, "x<y", ""},
        {"a<b", TCoding::WinHex, TLineEnding::None, "",
         "Неверная последовательность <0xNN> (знак < пишется <0x3C>) в позиции 2"},
        {"<0x4G>", TCoding::WinHex, TLineEnding::None, "",
         "Неверная последовательность <0xNN> (знак < пишется <0x3C>) в позиции 1"},
        {"end<0x0D", TCoding::Win, TLineEnding::None, "",
         "Неверная последовательность <0xNN> (знак < пишется <0x3C>) в позиции 4"},
        // Templates in Hex coding: checksums computed over the bytes before them.
        {"01 03 00 0A 00 02 CRC16M", TCoding::Hex, TLineEnding::None,
         std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8), ""},
        {"01 03 00 0A 00 02 CRC(16,8005,FFFF,1,1,0000)", TCoding::Hex, TLineEnding::None,
         std::string("\x01\x03\x00\x0A\x00\x02\x09\xE4", 8), ""},
        {"01 03 00 0A 00 02 CRC(16,8005,FFFF,1,1,0000):LE", TCoding::Hex, TLineEnding::None,
         std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8), ""},
        {"'AT' 0D", TCoding::Hex, TLineEnding::Lf, "AT\r\n", ""},
        {"'123456789' CRC16C:HEX", TCoding::Hex, TLineEnding::None, "12345678929B1", ""},
        {"10 20 30 SUM8(1..2) XOR8", TCoding::Hex, TLineEnding::None, "\x10\x20\x30\x50\x50", ""},
        {"'AB' CRC16M", TCoding::WinHex, TLineEnding::None, "'AB' CRC16M", ""}, // text there
        {"01 $0", TCoding::Hex, TLineEnding::None, "",
         "$0: байтов запроса при передаче нет в позиции 4"},
        {"01 CRC16X9", TCoding::Hex, TLineEnding::None, "",
         "Неверный элемент шаблона «CRC16X9» в позиции 4"},
        {"01 02 SUM8(0..9)", TCoding::Hex, TLineEnding::None, "",
         "Диапазон контрольной суммы за пределами пакета"},
    };
    for (const auto& c : cases) {
        TResult<std::string> bytes = SendLineBytes(c.Text, c.Coding, c.Ending);
        EXPECT_EQ(Cp1251ToUtf8(bytes.Error), c.Error) << c.Text;
        EXPECT_EQ(bytes.Value, c.Bytes) << c.Text;
    }
    std::string huge(100000, 'A');
    EXPECT_EQ(SendLineBytes(huge, TCoding::Hex, TLineEnding::None).Value.size(), 50000u);
}

TEST(SendLine, HistoryWalksTheLastHundredLinesAndSurvivesARestart) {
    TSendHistory history;
    for (int i = 1; i <= 104; ++i)
        history.Add("line " + std::to_string(i));
    history.Add(std::string("\0\r\n\xFF line 105", 13)); // any bytes survive the file
    history.Add("line 105");
    history.Add("line 105"); // the same line twice is kept once
    ASSERT_EQ(history.Lines().size(), TSendHistory::Limit);
    EXPECT_EQ(history.Lines().front(), "line 7");
    EXPECT_EQ(history.Older(), "line 105");
    EXPECT_EQ(history.Older(), std::string("\0\r\n\xFF line 105", 13));
    EXPECT_EQ(history.Older(), "line 104");
    EXPECT_EQ(history.Newer(), std::string("\0\r\n\xFF line 105", 13));
    EXPECT_EQ(history.Newer(), "line 105");
    EXPECT_EQ(history.Newer(), "");

    test::TTempDir dir;
    TIniFile desktop(dir.Path("desktop.ini"));
    history.Save(desktop);
    ASSERT_EQ(desktop.Save(), 0);
    TSendHistory again;
    again.Load(TIniFile(dir.Path("desktop.ini")));
    EXPECT_EQ(again.Lines(), history.Lines());
    EXPECT_EQ(again.Older(), "line 105");
}

} // namespace
} // namespace vemla
