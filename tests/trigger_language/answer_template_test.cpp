#include "platform/cp1251.h"
#include "trigger_language/answer_template.h"
#include "trigger_language/trigger_file.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(AnswerTemplate, AnswersAreBuiltFromTheRequest) {
    const std::string request("ABCD", 4);
    auto crc16m = [](std::string bytes) {
        return bytes + TChecksum::FromText("CRC16M")->WrittenFor(bytes);
    };
    const std::string modbusRead("\x01\x03\x00\x05\x00\x01\x94\x0B", 8);
    struct {
        const char* Template;
        std::string Request;
        std::optional<std::string> Answer;
    } cases[] = {
        {"01 $0 'ok'", request,
         std::string("\x01"
                     "Aok")},
        {"$1..2", request, "BC"},
        {"$2..", request, "CD"},
        {"$0..", request, "ABCD"},
        {"$-1 $-4", request, "DA"},
        {"$-5", request, std::nullopt},
        {"$4", request, std::nullopt},
        {"$2..1", request, std::nullopt},
        {"$1..9", request, std::nullopt},
        {"$0..", "", std::nullopt},
        {"'<0x0D>'", "", "\r"},
        // A Modbus answer: slave and function copied, two data bytes, a fresh CRC (low first).
        {"$0 $1 02 00 2A CRC16M", modbusRead, crc16m(std::string("\x01\x03\x02\x00\x2A", 5))},
        {"'AB' XOR8", "", std::string("AB\x03")},
        {"'AB' SUM8:HEX", "", "AB83"},
        {"'123456789' CRC16C:HEX", "", "12345678929B1"},
        {"01 02 03 CRC16M(1..2):BE", "",
         std::string("\x01\x02\x03", 3) +
             TChecksum::FromText("CRC(16,8005,FFFF,1,1,0)")->WrittenFor("\x02\x03")},
        {"01 02 CRC16X:LE", "", std::string("\x01\x02\x73\x13", 4)}, // 1373, low byte first
        {"CRC16M(0..1)", "", std::nullopt}, // nothing made yet to take it over
    };
    for (const auto& c : cases) {
        TTemplateParse parse = ParseTemplate(c.Template);
        ASSERT_TRUE(parse.Ok) << c.Template << ": " << parse.BadToken;
        EXPECT_EQ(parse.Template.Build(c.Request), c.Answer) << c.Template;
    }
}

TEST(AnswerTemplate, TheBadTokenIsNamedWhereverTheTemplateFailsToLoad) {
    struct {
        const char* Template;
        const char* BadToken;
    } cases[] = {
        {"01 0G", "0G"},
        {"$x", "$x"},
        {"$1..x", "$1..x"},
        {"CRC99", "CRC99"},
        {"CRC16M(1..", "CRC16M(1.."},
        {"XOR8:XX", "XOR8:XX"},
        {"'abc", "'abc"},
        {"XOR8(1..)", "XOR8(1..)"},
        {"??", "??"},
    };
    for (const auto& c : cases) {
        TTemplateParse parse = ParseTemplate(c.Template);
        EXPECT_FALSE(parse.Ok) << c.Template;
        EXPECT_EQ(parse.BadToken, c.BadToken) << c.Template;
        TTableLoad loaded = LoadTriggers(
            std::string("TRIGGER 1 \"r\" HEX \"01\" { WAIT REPLY \"") + c.Template + "\" }", 0);
        EXPECT_EQ(loaded.Error,
                  Utf8ToCp1251("ошибка в шаблоне ответа в строке 1 ,около `") + c.BadToken + "'");
    }
}

} // namespace
} // namespace vemla
