#include "platform/cp1251.h"
#include "trigger_language/mask.h"
#include "trigger_language/trigger_file.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

TEST(Mask, MatchesWholePacketsByEveryTokenKind) {
    // A Modbus read of any register of slave 1, with its CRC: "01 03 00 05 00 01" + 94 0B.
    const std::string read = Bytes({0x01, 0x03, 0x00, 0x05, 0x00, 0x01, 0x94, 0x0B});
    std::string badCrc = read;
    badCrc.back() ^= 1;
    struct {
        const char* Mask;
        std::string Packet;
        bool Matches;
    } cases[] = {
        {"01 03", Bytes({1, 3}), true},
        {"01 03", Bytes({1, 3, 0}), false}, // the whole packet
        {"01 03", Bytes({1}), false},
        {"?? 03", Bytes({0xFF, 3}), true},
        {"3? 10", Bytes({0x3A, 0x10}), true},
        {"3? 10", Bytes({0x4A, 0x10}), false},
        {"?a", Bytes({0x7A}), true},
        {"?a", Bytes({0x7B}), false},
        {"'AT+' * 0D", "AT+CSQ\r", true},
        {"'AT+' * 0D", "AT+\r", true}, // the run may be empty
        {"'AT+' * 0D", "AT\r", false},
        {"'AT+' * 0D", "AT+CSQ\r\n", false}, // the tail is anchored to the end
        {"* 03", Bytes({3}), true},
        {"'a<0x0D>b'", "a\rb", true},
        {"'a b'", "a b", true},
        {"01 03 ?? ?? 00 ?? =CRC16M", read, true},
        {"01 03 ?? ?? 00 ?? =CRC16M", badCrc, false},
        {"01 03 ?? ?? 00 ?? !CRC16M", badCrc, true},
        {"01 03 ?? ?? 00 ?? !CRC16M", read, false},
        {"01 * =CRC16M", read, true},
        {"* =XOR8", Bytes({1, 2, 3}), true},
        {"* =XOR8", Bytes({1, 2, 4}), false},
        {"* =XOR8", "", false},
    };
    for (const auto& c : cases) {
        TMaskParse parse = ParseMask(c.Mask);
        ASSERT_TRUE(parse.Ok) << c.Mask << ": " << parse.BadToken;
        EXPECT_EQ(parse.Mask.Matches(c.Packet), c.Matches) << c.Mask << " / " << c.Packet.size();
    }
}

TEST(Mask, TheBadTokenIsNamedWhereverTheMaskFailsToLoad) {
    struct {
        const char* Mask;
        const char* BadToken;
    } cases[] = {
        {"01 0G", "0G"},  {"01 * 02 *", "*"}, {"=CRC16M 01", "01"}, {"01 =CRC99", "=CRC99"},
        {"'abc", "'abc"}, {"''", "''"},       {"123", "123"},       {"01 !", "!"},
    };
    for (const auto& c : cases) {
        TMaskParse parse = ParseMask(c.Mask);
        EXPECT_FALSE(parse.Ok) << c.Mask;
        EXPECT_EQ(parse.BadToken, c.BadToken) << c.Mask;
        TTableLoad loaded =
            LoadTriggers(std::string("TRIGGER 1 \"m\" MASK HEX \"") + c.Mask + "\" { WAIT }", 0);
        EXPECT_EQ(loaded.Error,
                  Utf8ToCp1251("ошибка в маске в строке 1 ,около `") + c.BadToken + "'");
    }
    EXPECT_FALSE(ParseMask("   ").Ok); // a mask of nothing
}

TEST(Mask, CoverAndOverlapBetweenMasks) {
    struct {
        const char* First;
        const char* Second;
        bool Covers, Overlaps;
    } cases[] = {
        {"01 ??", "01 02", true, true},
        {"01 02", "01 ??", false, true},
        {"01 ??", "02 ??", false, false},
        {"01 ??", "01 ?? ??", false, false},
        {"01 *", "01 02 03", true, true},
        {"01 *", "01 02 *", true, true},
        {"01 02 *", "01 *", false, true},
        {"* 03", "01 * 03", true, true},
        {"0? 02", "?1 02", false, true},
        {"01 * =CRC16M", "01 02 =CRC16M", true, true},
        {"01 * =CRC16M", "01 02 !CRC16M", false, false},
        {"01 *", "01 02 =CRC16M", true, true}, // the checksum's bytes are bytes like any
        {"01 02 =CRC16M", "01 *", false, true},
        {"01 02 03 00", "01 02 03 =XOR8", false, true}, // the one packet has the right sum
        {"01 02 03 05", "01 02 03 =XOR8", false, false},
        {"01 02 03 05", "01 02 03 !XOR8", false, true},
    };
    for (const auto& c : cases) {
        TMask first = ParseMask(c.First).Mask, second = ParseMask(c.Second).Mask;
        EXPECT_EQ(first.Covers(second), c.Covers) << c.First << " / " << c.Second;
        EXPECT_EQ(first.Overlaps(second), c.Overlaps) << c.First << " / " << c.Second;
        EXPECT_EQ(second.Overlaps(first), c.Overlaps) << c.Second << " / " << c.First;
    }
}

TEST(Mask, MaskTriggersTakeNoHashSlotAndKeepTheirFileOrder) {
    TTableLoad loaded = LoadTriggers("TRIGGER 1 \"poll\" HEX \"01 03 00 00\" { WAIT }\n"
                                     "TRIGGER 2 \"any read\" MASK HEX \"01 03 ?? ??\" { WAIT }\n"
                                     "TRIGGER 3 \"any\" MASK ANSI \"*\" { WAIT OUT \"x\" }\n",
                                     0);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    TriggerTable& table = *loaded.Value;
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Size(), TriggerTable::SlotCount + 2);
    EXPECT_EQ(table.At(TriggerTable::SlotCount)->Id, 2);
    EXPECT_EQ(table.At(TriggerTable::SlotCount + 1)->DataCoding, TCoding::WinHex);
    EXPECT_EQ(table.At(TriggerTable::SlotCount + 2), nullptr);
    EXPECT_EQ(table.MatchMasks(Bytes({1, 3, 0, 0}))->Id, 2);
    EXPECT_EQ(table.MatchMasks(Bytes({1, 4}))->Id, 3);
}

} // namespace
} // namespace vemla
