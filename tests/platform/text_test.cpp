#include "platform/cp1251.h"
#include "platform/system.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(Cp1251, ConvertsBothWays) {
    struct {
        std::string Cp1251;
        std::string Utf8;
    } cases[] = {
        {"abc", "abc"},
        {"\xCE\xF8\xE8\xE1\xEA\xE0", "Ошибка"},
        {"\xA8\xB8", "Ёё"},
        {"\x80\xB9\x96", "Ђ№–"},
        {"\xFF", "я"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1251ToUtf8(c.Cp1251), c.Utf8);
        EXPECT_EQ(Utf8ToCp1251(c.Utf8), c.Cp1251);
    }
    EXPECT_EQ(Utf8ToCp1251("日"), "?");
    EXPECT_EQ(Utf8ToCp1251("\xC3"), "?"); // a cut sequence
    EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

TEST(System, MessagesHaveNoLineBreak) {
    std::string text = SystemMessage(ENOENT);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
}

TEST(System, DateTimeCountsDaysFrom1899) {
    TLocalTime t = DecodeDateTime(25569.0 + 0.5 + 7.0 / 86400000.0);
    EXPECT_EQ(t.Year, 1970);
    EXPECT_EQ(t.Month, 1);
    EXPECT_EQ(t.Day, 1);
    EXPECT_EQ(t.Hour, 12);
    EXPECT_EQ(t.Millisecond, 7);
    EXPECT_GT(Now(), 45000.0); // after 2023
}

TEST(System, PathsAcceptBothSeparators) {
    EXPECT_EQ(NormalizePath(".\\Log\\a.log"), "./Log/a.log");
    EXPECT_TRUE(HasDirectoryPart("dir\\config.ini"));
    EXPECT_FALSE(HasDirectoryPart("config.ini"));
    EXPECT_EQ(ProgramDirectory().back(), '/');
}

} // namespace
} // namespace vemla
