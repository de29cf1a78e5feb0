#include "platform/system.h"

#include <gtest/gtest.h>
#include <vector>

namespace vemla {
namespace {

TEST(System, DateTimeCountsDaysFrom1899) {
    struct {
        TDateTime Value;
        TLocalTime Expected;
    } cases[] = {
        {0.0, {1899, 12, 30, 0, 0, 0, 0}},
        {-1.25, {1899, 12, 28, 18, 0, 0, 0}},
        {25569.0 + 0.5 + 7.0 / 86400000.0, {1970, 1, 1, 12, 0, 0, 7}},
        {36585.0, {2000, 2, 29, 0, 0, 0, 0}},
        {45657.0 + 86399999.0 / 86400000.0, {2024, 12, 31, 23, 59, 59, 999}},
    };
    for (const auto& c : cases) {
        TLocalTime t = DecodeDateTime(c.Value);
        EXPECT_EQ(std::vector({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond}),
                  std::vector({c.Expected.Year, c.Expected.Month, c.Expected.Day, c.Expected.Hour,
                               c.Expected.Minute, c.Expected.Second, c.Expected.Millisecond}))
            << c.Value;
    }
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
