#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vemla {
namespace {

using test::TTempDir;

TEST(IniFile, ReadsWithPrivateProfileRules) {
    TTempDir dir;
    std::string path =
        dir.Write("a.ini", "; comment\r\n[Port]\r\n  number = 7 \r\nNumber=8\r\nName= x y \r\n"
                           "Empty=\r\nNeg=-12abc\r\n[port]\r\nBaudRate=1\r\n[Other]\r\nKey=v\r\n");
    TIniFile ini(path);
    struct {
        const char* Section;
        const char* Key;
        int32_t Expected;
    } integers[] = {
        {"PORT", "NUMBER", 7},    // names compare without case, first match wins
        {"Port", "Empty", 99},    // an empty value gives the default
        {"Port", "Neg", -12},     // digits up to the first other character
        {"Port", "Missing", 99},  // missing key
        {"Nope", "Number", 99},   // missing section
        {"Port", "BaudRate", 99}, // only the first section of a name counts
    };
    for (const auto& c : integers)
        EXPECT_EQ(ini.ReadInteger(c.Section, c.Key, 99), c.Expected) << c.Section << "." << c.Key;
    EXPECT_EQ(ini.ReadString("port", "name", "d"), "x y");
    EXPECT_EQ(ini.ReadString("Other", "Key", "d"), "v");
    EXPECT_EQ(ini.ReadString("Other", "None", "d"), "d");
    EXPECT_TRUE(ini.ReadBool("Port", "Number", false));
}

TEST(IniFile, MissingFileOrDirectoryGivesDefaults) {
    TIniFile ini("/nonexistent/dir/config.ini");
    EXPECT_EQ(ini.ReadInteger("Port", "Number", 1), 1);
    TIniFile directory("/tmp");
    EXPECT_EQ(directory.ReadInteger("Port", "Number", 1), 1);
    EXPECT_EQ(ini.ReadString("Log", "Dir", ".\\Log"), ".\\Log");
}

TEST(IniFile, WritesInPlaceAndKeepsEveryOtherByte) {
    TTempDir dir;
    const std::string original = "; head\r\n[A]\r\nx=1 ; keep\r\n\r\n[Packets]\r\nCount=1\r\n"
                                 "1.data=01\r\n; between\r\n[Z]\r\nz=9";
    std::string path = dir.Write("c.ini", original);
    TIniFile ini(path);
    ini.WriteInteger("packets", "count", 2);
    ini.WriteString("Packets", "2.data", "02 03");
    ini.WriteString("New", "k", "v");
    ASSERT_EQ(ini.Save(), 0);
    EXPECT_EQ(dir.Read("c.ini"),
              "; head\r\n[A]\r\nx=1 ; keep\r\n\r\n[Packets]\r\ncount=2\r\n"
              "1.data=01\r\n2.data=02 03\r\n; between\r\n[Z]\r\nz=9\r\n[New]\r\nk=v\r\n");
}

TEST(IniFile, KeepsLineFeedOnlyFiles) {
    TTempDir dir;
    std::string path = dir.Write("lf.ini", "[S]\na=1\n");
    TIniFile ini(path);
    ini.WriteString("S", "b", "2");
    ASSERT_EQ(ini.Save(), 0);
    EXPECT_EQ(dir.Read("lf.ini"), "[S]\na=1\nb=2\n");
}

TEST(IniFile, NonAsciiAndLongValuesRoundTrip) {
    TTempDir dir;
    std::string value = "\xCF\xF0\xE8\xE2\xE5\xF2 \x01\xFF";
    std::string longValue(10000, 'A');
    TIniFile ini(dir.Path("new.ini"));
    ini.WriteString("S", "ru", value);
    ini.WriteString("S", "long", longValue);
    ASSERT_EQ(ini.Save(), 0);
    TIniFile again(dir.Path("new.ini"));
    EXPECT_EQ(again.ReadString("S", "ru", ""), value);
    EXPECT_EQ(again.ReadString("S", "long", ""), longValue);
}

TEST(IniFile, ByteOrderMarkAndEveryLineEndAreUnderstoodAndKept) {
    TTempDir dir;
    struct {
        const char* Name;
        std::string Content, AfterWrite;
    } cases[] = {
        {"bom", "\xEF\xBB\xBF[Port]\r\nNumber=7\r\n", "\xEF\xBB\xBF[Port]\r\nNumber=7\r\nx=1\r\n"},
        {"cr", "[Port]\rNumber=7\r", "[Port]\rNumber=7\rx=1\r"},
        {"mixed", "[Port]\r\nNumber=7\r[Z]\nz=1", "[Port]\r\nNumber=7\rx=1\r\n[Z]\nz=1\r\n"},
    };
    for (const auto& c : cases) {
        std::string path = dir.Write(c.Name, c.Content);
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("Port", "Number", 1), 7) << c.Name;
        ini.WriteInteger("Port", "x", 1);
        ASSERT_EQ(ini.Save(), 0);
        EXPECT_EQ(dir.Read(c.Name), c.AfterWrite) << c.Name;
    }
}

} // namespace
} // namespace vemla
