#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace vemla {

namespace {
constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as a TDateTime
constexpr double kSecondsPerDay = 86400.0;
} // namespace

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    double seconds = static_cast<double>(ts.tv_sec + local.tm_gmtoff) + ts.tv_nsec / 1e9;
    return kUnixEpochDays + seconds / kSecondsPerDay;
}

TLocalTime DecodeDateTime(TDateTime value) {
    auto totalMs = static_cast<long long>(std::llround((value - kUnixEpochDays) * kSecondsPerDay * 1000.0));
    long long seconds = totalMs >= 0 ? totalMs / 1000 : (totalMs - 999) / 1000;
    auto ms = static_cast<int>(totalMs - seconds * 1000);
    time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
            parts.tm_min,         parts.tm_sec,     ms};
}

std::string SystemMessage(int errorCode) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    std::string message = text ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return WorkingDirectory();
    std::string full(path, static_cast<size_t>(length));
    return full.substr(0, full.rfind('/') + 1);
}

std::string WorkingDirectory() {
    char path[PATH_MAX];
    if (!getcwd(path, sizeof path)) return "./";
    std::string dir = path;
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string NormalizePath(std::string path) {
    for (char& ch : path)
        if (ch == '\\') ch = '/';
    return path;
}

bool HasDirectoryPart(const std::string& path) {
    return path.find('/') != std::string::npos || path.find('\\') != std::string::npos;
}

int ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    int fd = open(NormalizePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info{};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return EISDIR;
    }
    char buffer[65536];
    int error = 0;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    close(fd);
    return error;
}

bool FileExists(const std::string& path) {
    struct stat info{};
    return stat(NormalizePath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace vemla
