#pragma once

#include <cstddef>
#include <string>

namespace vemla {

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;
constexpr double UnixEpochDays = 25569.0; // 1970-01-01 as a TDateTime
constexpr double SecondsPerDay = 86400.0;
constexpr long long MsPerDay = 86400000;

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
constexpr int ErrorNotOffered = 100002;   // what the port asked for does not have it
constexpr int ErrorHostNotFound = 100003; // a network port's host name resolves to nothing
// The system's number for a file that is not there (ENOENT, ERROR_FILE_NOT_FOUND).
extern const int ErrorNoSuchFile;

// The system's text for an error code (errno on POSIX, GetLastError on Windows) in CP1251,
// without a trailing line break, in the user's language (English when vemla speaks English).
std::string SystemMessage(int errorCode);
// The user's locale for messages ("ru_RU.UTF-8", "ru-RU"); empty when none is set.
std::string UserLocaleName();

// Both end with '/'.
std::string ProgramDirectory();
std::string WorkingDirectory();
// $TMPDIR, else /tmp; on Windows the user's temporary directory.
std::string TemporaryDirectory();
// vemla's directory of user settings: $XDG_CONFIG_HOME/vemla/, else ~/.config/vemla/; on
// Windows %APPDATA%/vemla/.
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
// How a path of the file system reads inside a text (a record, a title, a message): its bytes
// decoded as the file system names them (UTF-8 on Linux, the ANSI code page on Windows), in
// CP1251. For showing only: the path itself is always used as the bytes it is.
std::string PathText(const std::string& path);
// The error of a file or directory that is not there.
bool IsMissingFileError(int error);
// Reads a whole regular file without ever blocking on a FIFO or a device; 0 or the errno
// (EISDIR for a directory, ErrorNotRegularFile for anything else, EFBIG past the limit).
int ReadWholeFile(const std::string& path, std::string& content, size_t limit);
// Replaces a file's content so that a crash never leaves half of it: a sibling is written,
// flushed and renamed over the file. Symlinks are followed (the link stays), the file's mode
// is kept, a read-only or non-regular file is refused. 0 or the system's error number.
int ReplaceFileContent(const std::string& path, const std::string& content);

// The name debuggers and process lists show for the calling thread.
void NameCurrentThread(const char* name);

} // namespace vemla
