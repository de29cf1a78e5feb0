#include "platform/cp1251.h"
#include "trigger_language/trigger_file.h"
#include "trigger_monitor/trigger_texts.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(TriggerTexts, StatusTexts) {
    struct {
        TTriggerStatus Status;
        const char* Text;
    } cases[] = {{TTriggerStatus::Ok, "ok"},
                 {TTriggerStatus::SwitchedOff, "отключен"},
                 {TTriggerStatus::MissingCommand, "ошибка: запрошенная команда не существует"},
                 {TTriggerStatus::TooManyCommands, "ошибка: слишком много команд без WAIT"},
                 {TTriggerStatus::MissingTrigger, "4"},
                 {TTriggerStatus::AnswerError, "ошибка в ответе"},
                 {static_cast<TTriggerStatus>(200), "200"}};
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(StatusText(c.Status)), c.Text);
}

TEST(TriggerTexts, CommandTextsFollowTheTriggersCoding) {
    TTableLoad loaded =
        LoadTriggers("TRIGGER 1 \"h\" HEX \"01\" { OUTW \"06 02\" WAIT GOTO 1 SWITCH 7 0 "
                     "OUT \"48 69 0D\" SLEEP 50 STOP PRINT \"a <0x41> b\" }\n"
                     "TRIGGER 2 \"a\" ANSI \"B\" { OUTW \"Hi<0x0D>\" SWITCH 65543 2 "
                     "REPLYW \"$0 'ok' CRC16M\" REPLY \"$-1\" }",
                     0);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    const TTrigger& hex = *loaded.Value->At(1);
    const char* expected[] = {"1: OUTW 06 02",   "2: WAIT",     "3: GOTO 1", "4: SWITCH 7 0",
                              "5: OUT 48 69 0D", "6: SLEEP 50", "7: STOP",   "8: PRINT a <0x41> b"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(CommandText(hex, i), expected[i]);
    const TTrigger& ansi = *loaded.Value->At(66);
    EXPECT_EQ(CommandText(ansi, 0), "1: OUTW Hi<0x0D>");
    EXPECT_EQ(CommandText(ansi, 1), "2: SWITCH 7 2");
    EXPECT_EQ(CommandText(ansi, 2), "3: REPLYW $0 'ok' CRC16M"); // the template as written
    EXPECT_EQ(CommandText(ansi, 3), "4: REPLY $-1");
    for (int outside : {-1, 4, 1000})
        EXPECT_EQ(CommandText(ansi, outside), "");
}

} // namespace
} // namespace vemla
