#pragma once

#include <string>

namespace vemla {

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

TDateTime Now();
// Unix time (seconds since 1970, UTC) of a local TDateTime is not needed; these split one.
struct TLocalTime {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
TLocalTime DecodeDateTime(TDateTime value);

// The system's text for an error code, without a trailing line break.
std::string SystemMessage(int errorCode);

// Both end with '/'.
std::string ProgramDirectory();
std::string WorkingDirectory();

// Paths written in ini files may use '\' as separator.
std::string NormalizePath(std::string path);
bool HasDirectoryPart(const std::string& path);
bool FileExists(const std::string& path);
// Reads a whole regular file; 0 or the errno (EISDIR for a directory).
int ReadWholeFile(const std::string& path, std::string& content);

} // namespace vemla
