#include "platform/cp1251.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(Cp1251, ConvertsBothWays) {
    struct {
        std::string Cp1251;
        std::string Utf8;
    } cases[] = {
        {"abc", "abc"},     {"\xCE\xF8\xE8\xE1\xEA\xE0", "Ошибка"},
        {"\xA8\xB8", "Ёё"}, {"\x80\xB9\x96", "Ђ№–"},
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

} // namespace
} // namespace vemla
