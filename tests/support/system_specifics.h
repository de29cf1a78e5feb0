#pragma once

// What the shared tests expect of the system they run on: its error numbers and a path that
// names no port.
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace vemla::test {

#ifdef _WIN32
constexpr int InvalidSettingError = ERROR_INVALID_PARAMETER;
constexpr int NoSuchPortError = ERROR_FILE_NOT_FOUND;
constexpr int NoSuchFileError = ERROR_FILE_NOT_FOUND;
constexpr int PortInUseError = ERROR_ACCESS_DENIED;
constexpr const char* MissingPortPath = "\\\\.\\COM99";
constexpr const char* FirstPortPath = "\\\\.\\COM1"; // what port number 1 opens
// Wine lacks a few things Windows does (exclusive open of a COM port, for one).
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#else
constexpr int InvalidSettingError = EINVAL;
constexpr int NoSuchPortError = ENOENT;
constexpr int NoSuchFileError = ENOENT;
constexpr int PortInUseError = EBUSY;
constexpr const char* MissingPortPath = "/nonexistent/tty";
constexpr const char* FirstPortPath = "/dev/ttyS0"; // what port number 1 opens
inline bool RunningUnderWine() {
    return false;
}
#endif

} // namespace vemla::test
