#include "platform/system.h"

#include "platform/cp1251.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemla {

namespace {
constexpr double UnixEpochDays = 25569.0; // 1970-01-01 as a TDateTime
constexpr double SecondsPerDay = 86400.0;
} // namespace

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    // The offset from UTC changes only at whole seconds: a flood stamps thousands of packets
    // a second, and the time zone conversion takes a process-wide lock each time.
    thread_local time_t offsetSecond = -1;
    thread_local long offset = 0;
    if (ts.tv_sec != offsetSecond) {
        tm local{};
        localtime_r(&ts.tv_sec, &local);
        offset = local.tm_gmtoff;
        offsetSecond = ts.tv_sec;
    }
    double seconds = static_cast<double>(ts.tv_sec + offset) + ts.tv_nsec / 1e9;
    return UnixEpochDays + seconds / SecondsPerDay;
}

std::string TimeStamp(TDateTime time) {
    TLocalTime t = DecodeDateTime(time);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour % 100, t.Minute % 100,
                  t.Second % 100, t.Millisecond % 1000);
    return text;
}

TLocalTime DecodeDateTime(TDateTime value) {
    auto totalMs =
        static_cast<long long>(std::llround((value - UnixEpochDays) * SecondsPerDay * 1000.0));
    long long seconds = totalMs >= 0 ? totalMs / 1000 : (totalMs - 999) / 1000;
    auto ms = static_cast<int>(totalMs - seconds * 1000);
    time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    return {parts.tm_year + 1900,
            parts.tm_mon + 1,
            parts.tm_mday,
            parts.tm_hour,
            parts.tm_min,
            parts.tm_sec,
            ms};
}

std::string LocaleTextToCp1251(std::string_view text, const char* codeset) {
    if (!codeset || std::strcmp(codeset, "UTF-8") == 0) return Utf8ToCp1251(text);
    if (std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "CP1251") == 0)
        return std::string(text);
    // Any other character set goes through UTF-8, so unknown characters become '?' alike.
    iconv_t converter = iconv_open("UTF-8", codeset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string input(text), output(text.size() * 4 + 4, '\0');
    char* in = input.data();
    char* out = output.data();
    size_t inLeft = input.size(), outLeft = output.size();
    size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1)) return std::string(text);
    output.resize(output.size() - outLeft);
    return Utf8ToCp1251(output);
}

std::string SystemMessage(int errorCode) {
    if (errorCode == ErrorNotRegularFile) return "Not a regular file";
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    std::string message = LocaleTextToCp1251(text ? text : "", nl_langinfo(CODESET));
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

std::string TemporaryDirectory() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

std::string UserConfigDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/vemla/";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config/vemla/";
}

bool IsWritableDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(path.c_str(), W_OK) == 0;
}

std::string NormalizePath(std::string path) {
    for (char& ch : path)
        if (ch == '\\') ch = '/';
    return path;
}

bool HasDirectoryPart(const std::string& path) {
    return path.find('/') != std::string::npos || path.find('\\') != std::string::npos;
}

int ReadWholeFile(const std::string& path, std::string& content, size_t limit) {
    content.clear();
    // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for ever.
    int fd = open(NormalizePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno;
    struct stat info {};
    int refused = 0;
    if (fstat(fd, &info) != 0)
        refused = errno;
    else if (S_ISDIR(info.st_mode))
        refused = EISDIR;
    else if (!S_ISREG(info.st_mode))
        refused = ErrorNotRegularFile;
    else if (static_cast<unsigned long long>(info.st_size) > limit)
        refused = EFBIG;
    if (refused != 0) {
        close(fd);
        return refused;
    }
    char buffer[65536];
    int error = 0;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            // A file that grows while it is read still stops at the limit.
            if (content.size() + static_cast<size_t>(n) > limit) {
                error = EFBIG;
                break;
            }
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

bool IsCharacterDevice(const std::string& path) {
    struct stat info {};
    return stat(NormalizePath(path).c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(NormalizePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace vemla
