#include "platform/ini_file.h"

#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemla {
namespace {

constexpr std::string_view Blanks = " \t";

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(Blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char ch) { return (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// "[name]" gives name; anything else is not a section header.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

bool KeyAndValue(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    // A value in matching quotes loses them, as the private-profile reader does.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

} // namespace

TIniFile::TIniFile(std::string path) : FilePath(std::move(path)) {
    std::string content;
    if (ReadWholeFile(FilePath, content, IniFileLimit) != 0) return;
    // Some editors start a file with a UTF-8 byte-order mark; it is kept, but is no text.
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    size_t start = 0;
    if (std::string_view(content).substr(0, 3) == ByteOrderMark) {
        Prefix = ByteOrderMark;
        start = 3;
    }
    bool sawCrLf = false, sawLf = false;
    while (start < content.size()) {
        // A line ends at CR LF, LF or a lone CR.
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            Lines.push_back({content.substr(start), ""});
            break;
        }
        std::string lineEnd =
            content.compare(end, 2, "\r\n") == 0 ? "\r\n" : content.substr(end, 1);
        (lineEnd == "\r\n" ? sawCrLf : sawLf) = true;
        Lines.push_back({content.substr(start, end - start), lineEnd});
        start = end + lineEnd.size();
    }
    if (sawLf && !sawCrLf) NewLine = Lines.front().End;
}

bool TIniFile::FindKey(std::string_view section, std::string_view key, TKeyLine& found) const {
    bool inSection = false;
    for (size_t i = 0; i < Lines.size(); ++i) {
        std::string_view name, lineKey, value;
        if (SectionName(Lines[i].Text, name)) {
            // The first section of that name is the one that counts.
            if (inSection) return false;
            inSection = SameName(name, section);
        } else if (inSection && KeyAndValue(Lines[i].Text, lineKey, value) &&
                   SameName(lineKey, key)) {
            found = {i, value};
            return true;
        }
    }
    return false;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    TKeyLine found{};
    if (!FindKey(section, key, found)) return std::string(Trim(defaultValue));
    return std::string(found.Value);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
    TKeyLine found{};
    if (!FindKey(section, key, found) || found.Value.empty()) return defaultValue;
    std::string_view text = found.Value;
    size_t i = 0;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    uint32_t value = 0; // wraps like the 32-bit reader it stands in for
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    TKeyLine found{};
    if (FindKey(section, key, found)) {
        Lines[found.Index].Text = line;
        return;
    }
    // A new key goes after the last key line of the section's first occurrence.
    size_t insertAt = Lines.size();
    bool inSection = false, foundSection = false;
    for (size_t i = 0; i < Lines.size(); ++i) {
        std::string_view name, lineKey, lineValue;
        if (SectionName(Lines[i].Text, name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            if (inSection) {
                foundSection = true;
                insertAt = i + 1;
            }
        } else if (inSection && KeyAndValue(Lines[i].Text, lineKey, lineValue)) {
            insertAt = i + 1;
        }
    }
    if (!Lines.empty() && Lines.back().End.empty()) Lines.back().End = NewLine;
    if (!foundSection) {
        Lines.push_back({"[" + std::string(section) + "]", NewLine});
        insertAt = Lines.size();
    }
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(insertAt), TLine{line, NewLine});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
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

int TIniFile::Save() {
    std::string path = FollowSymlinks(NormalizePath(FilePath));
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
    std::string content = Prefix;
    for (const TLine& line : Lines)
        content += line.Text + line.End;
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

} // namespace vemla
