#include "platform/system_posix.h"
#include "platform/system.h"

#include "platform/cp1251.h"
#include "platform/messages.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemla {

const int ErrorNoSuchFile = ENOENT;

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
    if (errorCode == ErrorNotOffered) return "Not offered by this port";
    if (errorCode == ErrorHostNotFound) return "Host not found";
    std::string message;
    // In English the system's own English texts, whatever the user's locale says.
    static const locale_t english = newlocale(LC_ALL_MASK, "C", locale_t{});
    if (CurrentLanguage() == TLanguage::English && english) {
        message = strerror_l(errorCode, english);
    } else {
        char buffer[256];
        // The GNU strerror_r may return a static string instead of filling the buffer.
        const char* text = strerror_r(errorCode, buffer, sizeof buffer);
        message = LocaleTextToCp1251(text ? text : "", nl_langinfo(CODESET));
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

std::string UserLocaleName() {
    // The order in which the C library picks the language of its messages.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return {};
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

std::string PathText(const std::string& path) {
    // File names are UTF-8 also where the locale is plain ASCII (C, POSIX), as Qt reads them.
    const char* codeset = nl_langinfo(CODESET);
    if (std::strcmp(codeset, "ANSI_X3.4-1968") == 0) codeset = "UTF-8";
    return LocaleTextToCp1251(path, codeset);
}

bool IsMissingFileError(int error) {
    return error == ENOENT || error == ENOTDIR;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(NormalizePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

namespace {

// The file a path finally names, following symlinks, so that a save replaces the target and
// keeps the link.
std::string FollowSymlinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0) break;
        std::string next(target, static_cast<size_t>(length));
        size_t slash = path.rfind('/');
        if (next.front() != '/' && slash != std::string::npos)
            next = path.substr(0, slash + 1) + next;
        path = std::move(next);
    }
    return path;
}

int WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int ReplaceFileContent(const std::string& filePath, const std::string& content) {
    std::string path = FollowSymlinks(NormalizePath(filePath));
    struct stat existing {};
    bool exists = stat(path.c_str(), &existing) == 0;
    if (exists) {
        if (!S_ISREG(existing.st_mode)) return ErrorNotRegularFile;
        // A file without write permission is refused, as a read-only file is on Windows even
        // for an administrator: replacing it would silently make it writable.
        if ((existing.st_mode & 0222) == 0) return EACCES;
        if (access(path.c_str(), W_OK) != 0) return errno;
    }
    // One sibling per process, so two instances saving at once never share one.
    std::string temporary = path + "." + std::to_string(getpid()) + ".tmp~";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = 0;
    if (exists) {
        if (fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
        [[maybe_unused]] int owned = fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (error == 0) error = WriteAll(fd, content);
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    return 0;
}

void NameCurrentThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

} // namespace vemla
