// Saving on POSIX: the rename over the old file, symlinks, modes.
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vemla {
namespace {

using test::TTempDir;

TEST(IniFile, SaveReplacesAtomicallyAndReportsFailure) {
    TTempDir dir;
    std::string path = dir.Write("r.ini", "[S]\r\na=1\r\n");
    struct stat before {};
    stat(path.c_str(), &before);
    TIniFile ini(path);
    ini.WriteString("S", "a", "2");
    ASSERT_EQ(ini.Save(), 0);
    struct stat after {};
    stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino); // a new file was renamed over the old one
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Directory()), {}), 1);

    TIniFile unwritable("/nonexistent/dir/x.ini");
    unwritable.WriteString("S", "a", "1");
    EXPECT_EQ(unwritable.Save(), ENOENT);
}

TEST(IniFile, SaveWritesThroughSymlinksKeepsTheModeAndRefusesReadOnlyFiles) {
    TTempDir dir;
    std::filesystem::create_directory(dir.Path("real"));
    std::string target = dir.Write("real/config.ini", "[S]\r\na=1\r\n");
    chmod(target.c_str(), 0640);
    std::filesystem::create_symlink("real/config.ini", dir.Path("link.ini"));
    TIniFile linked(dir.Path("link.ini"));
    linked.WriteString("S", "a", "2");
    ASSERT_EQ(linked.Save(), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.ini")));
    EXPECT_EQ(dir.Read("real/config.ini"), "[S]\r\na=2\r\n");
    struct stat info {};
    stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    chmod(target.c_str(), 0444);
    TIniFile readOnly(target);
    readOnly.WriteString("S", "a", "3");
    EXPECT_EQ(readOnly.Save(), EACCES);
    EXPECT_EQ(dir.Read("real/config.ini"), "[S]\r\na=2\r\n");
    stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("real")), {}), 1);
}

} // namespace
} // namespace vemla
