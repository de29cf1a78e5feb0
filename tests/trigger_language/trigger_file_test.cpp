#include "platform/cp1251.h"
#include "trigger_language/trigger_file.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

const char* const Example = R"(// answers to a test device
TRIGGER 1 "Ping" ANSI "PING<0x0D>"
{
    WAIT                  // wait for the packet
    SLEEP 50              // answer 50 ms later
    OUT "PONG<0x0D>"
    GOTO 1
}

TRIGGER 2 "Status poll" HEX "01 03 00 00"
{
    WAIT
    OUTW "01 03 02 00 2A" // answer, then wait for the next poll
    GOTO 2
    WAIT                  // fault mode, entered through trigger 3
    OUTW "01 83 02"
    GOTO 5
}

TRIGGER 3 "Fault" HEX "AA 55"
{
    WAIT
    SWITCH 2 3
    PRINT "status poll now answers with a fault"
    STOP
}
)";

std::string SyntaxError(int line, const std::string& token) {
    return "syntax error" + Utf8ToCp1251(" в строке ") + std::to_string(line) +
           Utf8ToCp1251(" ,около `") + token + "'";
}

std::string Wrap(const std::string& header, const std::string& body = "WAIT") {
    return "TRIGGER 1 \"t\" " + header + " {" + body + "}";
}

TEST(PacketHash, SlotsOfKnownPatterns) {
    struct {
        std::string Bytes;
        int32_t HashSize;
        int32_t Slot;
    } cases[] = {
        {"", 0, 0},
        {"A", 0, 65},
        {"AB", 0, 175},
        {"AB", 5, 175},
        {"\x01\x02\x03", 2, 33},
        {"\x01\x02\xFF", 2, 33},
        {"\x01\x02\x03", 0, 73},
        {"\x01\x02\xFF", 0, 325},
        {"\x01\x02\xFF", -1, 325},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PacketHash(c.Bytes, c.HashSize), c.Slot) << c.Bytes.size();
    // Long packets hash as the byte-by-byte definition does, whatever their length.
    std::string bytes;
    for (int i = 0; i < 1100; ++i)
        bytes += static_cast<char>(i * 37 + 11);
    for (size_t length : {4u, 5u, 7u, 8u, 63u, 1027u, 1028u, 1100u})
        for (int32_t hashSize : {0, 3, 6, 1000}) {
            std::string_view packet(bytes.data(), length);
            uint32_t h = 0;
            for (size_t i = 0; i < length && (hashSize <= 0 || i < size_t(hashSize)); ++i)
                h = h * 31u + static_cast<uint8_t>(packet[i]);
            EXPECT_EQ(PacketHash(packet, hashSize),
                      static_cast<int32_t>(h % uint32_t(TriggerTable::SlotCount)))
                << length << " " << hashSize;
        }
}

TEST(TriggerFile, ExampleLoadsWithItsCommands) {
    TTableLoad loaded = LoadTriggers(Example, 0);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    const TriggerTable& table = *loaded.Value;
    EXPECT_EQ(table.Count(), 3);
    const TTrigger* ping = table.At(331);
    const TTrigger* poll = table.At(272);
    const TTrigger* fault = table.At(590);
    ASSERT_TRUE(ping && poll && fault);
    EXPECT_EQ(ping->Id, 1);
    EXPECT_EQ(ping->Name, "Ping");
    EXPECT_EQ(ping->DataCoding, TCoding::WinHex);
    ASSERT_EQ(ping->CommandCount(), 4);
    EXPECT_EQ(ping->Commands[0].Kind, TCommandKind::Wait);
    EXPECT_EQ(ping->Commands[1].Kind, TCommandKind::Sleep);
    EXPECT_EQ(ping->Commands[1].Value, 50);
    EXPECT_EQ(ping->Commands[2].Kind, TCommandKind::Out);
    EXPECT_EQ(ping->Commands[2].Data, "PONG\r");
    EXPECT_EQ(ping->Commands[3].Kind, TCommandKind::Goto);
    EXPECT_EQ(ping->Commands[3].Value, 1);
    ASSERT_EQ(poll->CommandCount(), 6);
    EXPECT_EQ(poll->DataCoding, TCoding::Hex);
    EXPECT_EQ(poll->Commands[1].Kind, TCommandKind::Outw);
    EXPECT_EQ(poll->Commands[1].Data, std::string("\x01\x03\x02\x00\x2A", 5));
    EXPECT_EQ(poll->Commands[4].Data, "\x01\x83\x02");
    ASSERT_EQ(fault->CommandCount(), 4);
    EXPECT_EQ(fault->Commands[1].Kind, TCommandKind::Switch);
    EXPECT_EQ(fault->Commands[1].TriggerId, 2);
    EXPECT_EQ(fault->Commands[1].CommandIndex, 3);
    EXPECT_EQ(fault->Commands[2].Kind, TCommandKind::Print);
    EXPECT_EQ(fault->Commands[2].Data, "status poll now answers with a fault");
    EXPECT_EQ(fault->Commands[3].Kind, TCommandKind::Stop);
}

TEST(TriggerFile, SyntaxErrorsNameTheirLineAndToken) {
    struct {
        std::string Text;
        std::string Error;
    } cases[] = {
        {"TRIGGER 1 \"a\" HEX \"01\"\n{\n}\n", SyntaxError(3, "}")},
        {"\n\n\n\nTRIGGER 1 \"a\" HEX \"01\" {}", SyntaxError(5, "}")},
        {"trigger 1 \"a\" HEX \"01\" {WAIT}", SyntaxError(1, "t")},
        {Wrap("HEX \"01\"", "GOTO 2147483648"), SyntaxError(1, "2147483648")},
        {Wrap("HEX \"01\"", "PRINT \"\""), SyntaxError(1, "\"")},
        {Wrap("HEX \"01\"", "WAIT / WAIT"), SyntaxError(1, "/")},
        {Wrap("HEX \"01\"", "Stop"), SyntaxError(1, "S")},
        {Wrap("HEX \"01\"", "OUTWX \"01\""), SyntaxError(1, "X")},
        {"", SyntaxError(0, "")},
        {"// only a comment\n\n", SyntaxError(2, "")},
        {"TRIGGER 1 \"a\" HEX \"01\"\n{\n  WAIT\n", SyntaxError(3, "")},
        {"TRIGGER 1 \"a\" HEX \"01\"\n{\n  WAIT", SyntaxError(3, "")},
        {"TRIGGER 1 \"a\" HEX \"01\" { WAIT }\nX", SyntaxError(2, "X")},
        {"TRIGGER 1 \"a\nb\" HEX", SyntaxError(2, "")},
        {"TRIGGER 1 \"a\" \"b\nc\" HEX", SyntaxError(2, "\"b\nc\"")},
        {"TRIGGER 1 \"a\" HEX \"01\" { WAIT }\nTRIGGER 2 \"b\" HEX \"02\" { WAIT }\x01",
         SyntaxError(2, "\x01")},
        {"TRIGGER 1 \"a\" HEX \"01\" { WAIT \xC0 }", SyntaxError(1, "\xC0")},
        {"TRIGGER 1 \"a\" HEX \"01\" { WAIT\v}", SyntaxError(1, "\v")},
    };
    for (const auto& c : cases) {
        TTableLoad loaded = LoadTriggers(c.Text, 0);
        EXPECT_EQ(loaded.Error, c.Error) << c.Text;
        EXPECT_EQ(loaded.Value->Count(), 0) << c.Text;
    }
}

TEST(TriggerFile, LayoutFreedomAndComments) {
    std::string texts[] = {
        "TRIGGER 1 \"a\" HEX \"01\" { WAIT } TRIGGER 2 \"b\" HEX \"02\" { STOP }",
        "TRIGGER//c\n1//c\n\"a\"//c\nHEX//c\n\"01\"//c\n{//c\nSWITCH//c\n2//c\n0//c\n}//c",
        "TRIGGER\n1\n\"a\"\nHEX\r\n\"01\"\r\n{\r\nSWITCH\n2\n\n0\n}\nTRIGGER 2 \"b\" HEX \"02\" { "
        "STOP }",
        "\tTRIGGER 1 \"a\" HEX \"01\"\f{ WAIT }   ",
    };
    for (const auto& text : texts) {
        TTableLoad loaded = LoadTriggers(text, 0);
        EXPECT_TRUE(loaded.Ok()) << text << ": " << loaded.Error;
    }
}

TEST(TriggerFile, NumbersAndStringsHaveTheirValues) {
    struct {
        std::string Body;
        std::string Expected; // PRINT data, or the SLEEP value in decimal
    } cases[] = {
        {"PRINT \"a\"\"b\"", "a\"b"},       {"PRINT \"a\"\"\"", "a\""},
        {"PRINT \"\"\"\"", "\""},           {"PRINT \"two\nlines\"", "two\nlines"},
        {"PRINT \"cr\r\nlf\"", "cr\nlf"},   {"PRINT \"<0x41>\"", "<0x41>"},
        {"SLEEP 2147483647", "2147483647"}, {"SLEEP 0000000000000000000000000000000000012", "12"},
    };
    for (const auto& c : cases) {
        TTableLoad loaded = LoadTriggers(Wrap("HEX \"01\"", c.Body), 0);
        ASSERT_TRUE(loaded.Ok()) << c.Body << ": " << loaded.Error;
        const TTriggerCommand& command = loaded.Value->At(1)->Commands[0];
        std::string value =
            command.Kind == TCommandKind::Print ? command.Data : std::to_string(command.Value);
        EXPECT_EQ(value, c.Expected) << c.Body;
    }
}

TEST(TriggerFile, SwitchKeepsTheLow16BitsOfItsId) {
    TTableLoad loaded =
        LoadTriggers(Wrap("HEX \"01\"", "SWITCH 65536 1 SWITCH 65538 0 SWITCH 7 2"), 0);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    const auto& commands = loaded.Value->At(1)->Commands;
    EXPECT_EQ(commands[0].TriggerId, 0);
    EXPECT_EQ(commands[1].TriggerId, 2);
    EXPECT_EQ(commands[2].TriggerId, 7);
    EXPECT_EQ(commands[2].CommandIndex, 2);
    EXPECT_EQ(commands[2].TargetSlot, -1); // resolved only by the engine after loading
}

TEST(TriggerFile, NulEndsTheInput) {
    std::string text =
        std::string("TRIGGER 1 \"a\" HEX \"01\" { WAIT }\n", 33) + '\0' + "garbage {";
    EXPECT_TRUE(LoadTriggers(text, 0).Ok());
    std::string cut = std::string("TRIGGER 1 \"a\" HEX \"01\"\n{ WAIT ") + '\0' + "}";
    EXPECT_EQ(LoadTriggers(cut, 0).Error, SyntaxError(2, ""));
}

TEST(TriggerFile, TokenLengthLimitFailsTheLoadWithoutEndingTheProgram) {
    auto literal = [](size_t withQuotes) { return "\"" + std::string(withQuotes - 2, 'x') + "\""; };
    EXPECT_TRUE(LoadTriggers(Wrap("HEX \"01\"", "PRINT " + literal(254)), 0).Ok());

    std::string tooLong = Wrap("HEX \"01\"", "PRINT " + literal(255));
    std::string expected =
        "yytext overflow" + Utf8ToCp1251(" в строке 1 ,около `") + literal(255) + "'";
    EXPECT_EQ(LoadTriggers(tooLong, 0).Error, expected);

    std::string digits(300, '7');
    EXPECT_NE(LoadTriggers(Wrap("HEX \"01\"", "GOTO " + digits), 0).Error.find("yytext overflow"),
              std::string::npos);
    // An unclosed quote is read to the end of the input before it is known to be one.
    std::string unclosed = Wrap("HEX \"01\"", "PRINT \"" + std::string(300, 'y'));
    EXPECT_NE(LoadTriggers(unclosed, 0).Error.find("yytext overflow"), std::string::npos);
    EXPECT_EQ(LoadTriggers(Wrap("HEX \"01\"", "PRINT \"abc\nd"), 0).Error, SyntaxError(2, "\""));
}

TEST(TriggerFile, LongLinesAndLongBodiesLoad) {
    std::string line = "TRIGGER 1 \"a\" HEX \"01\" {";
    for (int i = 0; i < 3000; ++i)
        line += " OUT \"0A\"";
    line += " }";
    TTableLoad loaded = LoadTriggers(line, 0);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    EXPECT_EQ(loaded.Value->At(1)->CommandCount(), 3000);

    std::string exact = "TRIGGER 1 \"a\" HEX \"01\" {\n";
    for (int i = 0; i < 2048; ++i)
        exact += "WAIT\n";
    exact += "}";
    loaded = LoadTriggers(exact, 0);
    ASSERT_TRUE(loaded.Ok());
    EXPECT_EQ(loaded.Value->At(1)->CommandCount(), 2048);
}

TEST(TriggerFile, ConflictsNameTheEarlierTriggerFirst) {
    auto conflict = [](const std::string& first, const std::string& second) {
        return Utf8ToCp1251("конфликт триггеров.(Триггеры \"") + first + Utf8ToCp1251("\" и \"") +
               second + Utf8ToCp1251("\" реагируют на один пакет данных)");
    };
    struct {
        std::string Text;
        int32_t HashSize;
        std::string Error;
    } cases[] = {
        {"TRIGGER 1 \"one\" HEX \"01 02\" {WAIT} TRIGGER 2 \"two\" HEX \"0102\" {WAIT}", 0,
         conflict("one", "two")},
        {"TRIGGER 1 \"hex\" HEX \"01 02\" {WAIT} TRIGGER 2 \"ansi\" ANSI \"<0x01><0x02>\" {WAIT}",
         0, conflict("hex", "ansi")},
        {"TRIGGER 1 \"a\" HEX \"01 02\" {WAIT} TRIGGER 2 \"b\" HEX \"01 03\" {WAIT}", 1,
         conflict("a", "b")},
        {"TRIGGER 1 \"a\" HEX \"01 02\" {WAIT} TRIGGER 2 \"b\" HEX \"01 03\" {WAIT}", 0, ""},
        {"TRIGGER 5 \"a\" HEX \"01\" {WAIT} TRIGGER 5 \"b\" HEX \"02\" {WAIT}", 0, ""},
    };
    for (const auto& c : cases) {
        TTableLoad loaded = LoadTriggers(c.Text, c.HashSize);
        EXPECT_EQ(loaded.Error, c.Error) << c.Text;
        EXPECT_EQ(loaded.Value->Count(), c.Error.empty() ? 2 : 0);
    }
}

} // namespace
} // namespace vemla
