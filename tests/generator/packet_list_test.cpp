#include "generator/packet_list.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

std::vector<std::string> DataTexts(const TPacketList& list) {
    std::vector<std::string> texts;
    for (const auto& p : list.Packets())
        texts.push_back(p.Data);
    return texts;
}

bool OnlyAddEnabled(const TGeneratorCommands& c) {
    return c.Add && !c.Insert && !c.Change && !c.Delete && !c.MoveUp && !c.MoveDown && !c.Send;
}

TEST(PacketList, CommandStatesFollowTheCurrentPacket) {
    TPacketList list;
    EXPECT_TRUE(OnlyAddEnabled(list.EnabledCommands()));
    for (const char* data : {"01", "02", "03"})
        list.AddPacket({data, ""}, TCoding::Hex);
    struct {
        int Current;
        bool Up, Down;
    } cases[] = {{0, false, true}, {1, true, true}, {2, false + true, false}};
    for (const auto& c : cases) {
        list.Select(c.Current);
        TGeneratorCommands commands = list.EnabledCommands();
        EXPECT_TRUE(commands.Send && commands.Change && commands.Insert && commands.Delete);
        EXPECT_EQ(commands.MoveUp, c.Up) << c.Current;
        EXPECT_EQ(commands.MoveDown, c.Down) << c.Current;
    }
    list.Select(-1);
    EXPECT_TRUE(OnlyAddEnabled(list.EnabledCommands()));
}

TEST(PacketList, AddAppendsAndInsertGoesAfterTheCurrentPacket) {
    TPacketList list;
    list.AddPacket({"01", "a"}, TCoding::Hex);
    list.AddPacket({"02", "b"}, TCoding::Hex);
    list.Select(0);
    list.AddPacket({"03", "c"}, TCoding::Hex); // appends although packet 0 is current
    EXPECT_EQ(DataTexts(list), (std::vector<std::string>{"01", "02", "03"}));
    EXPECT_EQ(list.Current(), 2);
    list.Select(0);
    list.InsertPacket({"04", "d"}, TCoding::Hex);
    EXPECT_EQ(DataTexts(list), (std::vector<std::string>{"01", "04", "02", "03"}));
    EXPECT_EQ(list.Current(), 1);
    list.Select(3);
    list.InsertPacket({"05", "e"}, TCoding::Hex); // on the last packet: appends
    EXPECT_EQ(DataTexts(list).back(), "05");
    list.Select(-1);
    list.InsertPacket({"06", "f"}, TCoding::Hex); // disabled without a current packet
    EXPECT_EQ(list.Count(), 5);
}

TEST(PacketList, StoresTheCanonicalForm) {
    struct {
        const char* Typed;
        TCoding Coding;
        const char* Stored;
    } cases[] = {{"1 a ff", TCoding::Hex, "01 0A FF"},
                 {"A<0x0d>", TCoding::Win, "A<0x0D>"},
                 {"   ", TCoding::Hex, ""},
                 {"x<41>", TCoding::WinHex, "xA"}};
    for (const auto& c : cases) {
        TPacketList list;
        list.AddPacket({c.Typed, "n"}, c.Coding);
        EXPECT_EQ(list.Packets()[0].Data, c.Stored) << c.Typed;
        EXPECT_TRUE(list.Modified());
    }
}

TEST(PacketList, DeleteMoveAndChange) {
    TPacketList list;
    for (const char* data : {"01", "02", "03"})
        list.AddPacket({data, ""}, TCoding::Hex);
    list.Select(1);
    list.MoveUp();
    EXPECT_EQ(DataTexts(list), (std::vector<std::string>{"02", "01", "03"}));
    EXPECT_EQ(list.Current(), 0);
    list.MoveDown();
    list.MoveDown();
    EXPECT_EQ(DataTexts(list), (std::vector<std::string>{"01", "03", "02"}));
    EXPECT_EQ(list.Current(), 2);
    list.ChangePacket({"ff", "changed"}, TCoding::Hex);
    EXPECT_EQ(list.Packets()[2].Data, "FF");
    EXPECT_EQ(list.Packets()[2].Name, "changed");
    list.DeletePacket();
    EXPECT_EQ(list.Current(), 1);
    list.Select(0);
    list.DeletePacket();
    EXPECT_EQ(list.Current(), -1);
    EXPECT_TRUE(OnlyAddEnabled(list.EnabledCommands()));
    EXPECT_EQ(DataTexts(list), std::vector<std::string>{"03"});
}

TEST(PacketList, SendStepsAndWrapsAround) {
    TPacketList list;
    for (const char* data : {"41", "42", "43"})
        list.AddPacket({data, ""}, TCoding::Hex);
    std::string sent;
    auto send = [&](std::string_view bytes) { sent += bytes; };
    list.Select(-1);
    EXPECT_FALSE(list.SendPacket(TCoding::Hex, true, send));
    list.Select(2);
    EXPECT_TRUE(list.SendPacket(TCoding::Hex, true, send));
    EXPECT_EQ(list.Current(), 0); // the last packet steps to the first
    list.SendPacket(TCoding::Hex, true, send);
    list.SendPacket(TCoding::Hex, false, send);
    EXPECT_EQ(sent, "CAB");
    EXPECT_EQ(list.Current(), 1);
}

TEST(PacketList, RecodeBetweenHexAndWin) {
    TPacketList list;
    list.RecodePackets(TCoding::Hex);
    list.AddPacket({"41 42 0D", ""}, TCoding::Hex);
    list.RecodePackets(TCoding::Win);
    EXPECT_EQ(list.Packets()[0].Data, "AB<0x0D>");
    list.RecodePackets(TCoding::Hex);
    EXPECT_EQ(list.Packets()[0].Data, "41 42 0D");
}

TEST(PacketList, LoadsCountPacketsAndModifiedFollowsTheCoding) {
    test::TTempDir dir;
    TIniFile config(dir.Write("c.ini", "[Packets]\r\nCount=2\r\n1.data=41 0d\r\n1.name=one\r\n"
                                       "2.data=42\r\n3.data=43\r\n5.data=45\r\n"));
    struct {
        TCoding Coding;
        const char* First;
        bool Modified;
    } cases[] = {{TCoding::Hex, "41 0d", true},
                 {TCoding::WinHex, "A<0x0D>", false},
                 {TCoding::Win, "A<0x0D>", true}};
    for (const auto& c : cases) {
        TPacketList list;
        list.Load(config, c.Coding);
        ASSERT_EQ(list.Count(), 2);
        EXPECT_EQ(list.Packets()[0].Data, c.First);
        EXPECT_EQ(list.Packets()[0].Name, "one");
        EXPECT_EQ(list.Packets()[1].Name, "");
        EXPECT_EQ(list.Modified(), c.Modified) << int(c.Coding);
        EXPECT_EQ(list.ListCoding(), c.Coding);
        EXPECT_EQ(list.Current(), -1);
    }
}

TEST(PacketList, SaveAndLoadRoundTripKeepsTheRestOfTheFile) {
    test::TTempDir dir;
    std::string path = dir.Write(
        "config.ini", "; my device\r\n[Port]\r\nNumber=3 ; COM3\r\n"
                      "[Packets]\r\nCount=4\r\n4.data=44\r\n4.name=old\r\n[Log]\r\nSize=10\r\n");
    std::string longPacket;
    for (int i = 0; i < 3000; ++i)
        longPacket += static_cast<char>('A' + i % 26);
    {
        TIniFile config(path);
        TPacketList list;
        list.Load(config, TCoding::WinHex);
        list.Select(0);
        while (list.Count() > 0)
            list.DeletePacket(), list.Select(0);
        list.AddPacket({longPacket, "long"}, TCoding::WinHex);
        list.AddPacket({"<0x01>\xC0", "\xCF\xF0\xE8"}, TCoding::WinHex);
        ASSERT_TRUE(list.Save(config, TCoding::WinHex));
        ASSERT_EQ(config.Save(), 0);
    }
    std::string text = dir.Read("config.ini");
    EXPECT_EQ(text.find("; my device\r\n[Port]\r\nNumber=3 ; COM3\r\n[Packets]\r\nCount=2\r\n"),
              0u);
    EXPECT_NE(text.find("4.data=44\r\n4.name=old\r\n"),
              std::string::npos); // keys are never deleted
    EXPECT_NE(text.find("2.data=01 C0\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Log]\r\nSize=10\r\n"), std::string::npos);
    TPacketList again;
    again.Load(TIniFile(path), TCoding::WinHex);
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Packets()[0].Data, longPacket);
    EXPECT_EQ(again.Packets()[1].Name, "\xCF\xF0\xE8");
    EXPECT_FALSE(again.Save(*std::make_unique<TIniFile>(path),
                            TCoding::WinHex)); // unmodified: nothing written
}

} // namespace
// A template typed in Hex is kept as typed (in the file too) and built at each send; a plain
// packet is stored as before; a template of a hand-edited file that does not read is not sent.
TEST(PacketList, TemplatesAreKeptAsTypedAndBuiltWhenSent) {
    test::TTempDir dir;
    std::string path = dir.Write("config.ini", "[Packets]\r\nCount=1\r\n"
                                               "1.data=01 CRC16X9\r\n1.name=hand-edited\r\n");
    TIniFile config(path);
    TPacketList list;
    list.Load(config, TCoding::Hex);
    list.AddPacket({"01 03 00 0A 00 02 CRC16M", "read"}, TCoding::Hex);
    list.AddPacket({"1 a ff", "plain"}, TCoding::Hex);
    list.RecodePackets(TCoding::WinHex); // a template stays as typed in every coding
    EXPECT_EQ(list.Packets()[1].Data, "01 03 00 0A 00 02 CRC16M");
    EXPECT_EQ(list.Packets()[2].Data, "<0x01><0x0A>\xFF");
    std::vector<std::string> sent, refused;
    auto send = [&](std::string_view bytes) { sent.emplace_back(bytes); };
    auto refuse = [&](const std::string& why) { refused.push_back(why); };
    for (int i = 0; i < 3; ++i) {
        list.Select(i);
        list.SendPacket(TCoding::WinHex, false, send, refuse);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8),
                                              "\x01\x0A\xFF"}));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].rfind("01 CRC16X9: ", 0), 0u) << refused[0];
    ASSERT_TRUE(list.Save(config, TCoding::WinHex));
    ASSERT_EQ(config.Save(), 0);
    std::string text = dir.Read("config.ini");
    for (const char* line :
         {"1.data=01 CRC16X9\r\n", "2.data=01 03 00 0A 00 02 CRC16M\r\n", "3.data=01 0A FF\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find(".period"), std::string::npos); // no period: stored as before
}

// A period and a count per packet: stored with it, handed to the sender, cleared again.
TEST(PacketList, PeriodsAndCountsAreStoredAndBecomeTimedSends) {
    test::TTempDir dir;
    std::string path = dir.Write("config.ini", "[Packets]\r\nCount=1\r\n1.data=41\r\n"
                                               "1.period=0\r\n");
    TIniFile config(path);
    TPacketList list;
    list.Load(config, TCoding::Hex);
    EXPECT_EQ(list.Packets()[0].PeriodMs, 0); // out of range: none
    TPacket timed{"42", "b"};
    timed.PeriodMs = 10;
    timed.Count = 3;
    list.AddPacket(timed, TCoding::Hex);
    std::vector<TTimedSend> sends = list.TimedSends(TCoding::Hex, {});
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].Bytes, "B");
    EXPECT_EQ(sends[0].Period, std::chrono::milliseconds(10));
    EXPECT_EQ(sends[0].Count, 3u);
    ASSERT_TRUE(list.Save(config, TCoding::Hex));
    TPacketList again;
    again.Load(config, TCoding::Hex);
    EXPECT_EQ(again.Packets()[1].PeriodMs, 10);
    EXPECT_EQ(again.Packets()[1].Count, 3);
    again.Select(1);
    again.ChangePacket({"42", "b"}, TCoding::Hex); // the period taken away
    ASSERT_TRUE(again.Save(config, TCoding::Hex));
    TPacketList cleared;
    cleared.Load(config, TCoding::Hex);
    EXPECT_EQ(cleared.Packets()[1].PeriodMs, 0);
    EXPECT_TRUE(cleared.TimedSends(TCoding::Hex, {}).empty());
}

} // namespace vemla
