#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vemla {

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

TDateTime Now();
// Unix time (seconds since 1970, UTC) of a local TDateTime is not needed; these split one.
struct TLocalTime {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
TLocalTime DecodeDateTime(TDateTime value);
// "HH:mm:ss.zzz" of a local date-time: 12 characters.
std::string TimeStamp(TDateTime time);

// Error numbers of vemla's own checks, outside the system's range.
constexpr int ErrorNotRegularFile = 100001;

// The system's text for an error code in CP1251, without a trailing line break: the text of
// the user's locale, recoded from the locale's character set.
std::string SystemMessage(int errorCode);
// Recodes a text of the given character set (as nl_langinfo names it) to CP1251; characters
// CP1251 lacks become '?'.
std::string LocaleTextToCp1251(std::string_view text, const char* codeset);

// Both end with '/'.
std::string ProgramDirectory();
std::string WorkingDirectory();
// $TMPDIR, else /tmp.
std::string TemporaryDirectory();
// vemla's directory of user settings: $XDG_CONFIG_HOME/vemla/, else ~/.config/vemla/.
std::string UserConfigDirectory();
bool IsWritableDirectory(const std::string& path);

// Paths written in ini files may use '\' as separator.
std::string NormalizePath(std::string path);
bool HasDirectoryPart(const std::string& path);
bool IsRegularFile(const std::string& path);
bool IsCharacterDevice(const std::string& path);
// Size limits of the files vemla reads whole.
constexpr size_t TriggerFileLimit = size_t{64} << 20;
constexpr size_t IniFileLimit = size_t{16} << 20;
// Reads a whole regular file without ever blocking on a FIFO or a device; 0 or the errno
// (EISDIR for a directory, ErrorNotRegularFile for anything else, EFBIG past the limit).
int ReadWholeFile(const std::string& path, std::string& content, size_t limit);

} // namespace vemla
