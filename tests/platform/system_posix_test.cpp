#include "platform/cp1251.h"
#include "platform/system.h"
#include "platform/system_posix.h"
#include "tests/support/temp_dir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vemla {
namespace {

TEST(System, MessagesHaveNoLineBreak) {
    std::string text = SystemMessage(ENOENT);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
}

TEST(System, LocaleTextsBecomeCp1251) {
    struct {
        std::string Text;
        const char* Codeset;
        std::string Cp1251;
    } cases[] = {
        {"Нет такого файла", "UTF-8", Utf8ToCp1251("Нет такого файла")},
        {"\xEE\xC5\xD4", "KOI8-R", Utf8ToCp1251("Нет")},
        {"No such file", "ANSI_X3.4-1968", "No such file"},
        {"日本", "UTF-8", "??"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocaleTextToCp1251(c.Text, c.Codeset), c.Cp1251) << c.Codeset;
}

TEST(System, ReadsOnlyRegularFilesUpToALimitAndNeverBlocks) {
    test::TTempDir dir;
    std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct {
        std::string Path;
        size_t Limit;
        int Error;
    } cases[] = {
        {dir.Write("small", "0123456789"), 10, 0}, {dir.Path("small"), 9, EFBIG},
        {fifo, 100, ErrorNotRegularFile}, // no writer: opening it must not wait
        {"/dev/zero", 100, ErrorNotRegularFile},   {dir.Directory().string(), 100, EISDIR},
        {dir.Path("missing"), 100, ENOENT},
    };
    for (const auto& c : cases) {
        std::string content;
        EXPECT_EQ(ReadWholeFile(c.Path, content, c.Limit), c.Error) << c.Path;
    }
    EXPECT_TRUE(IsRegularFile(dir.Path("small")));
    EXPECT_FALSE(IsRegularFile(fifo));
    EXPECT_EQ(SystemMessage(ErrorNotRegularFile), "Not a regular file");
}

} // namespace
} // namespace vemla
