#include "platform/ini_file.h"

#include "platform/system.h"

#include <cstdio>

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
    if (int error = ReadWholeFile(FilePath, content, IniFileLimit); error != 0) {
        if (!IsMissingFileError(error)) ReadFailure = error;
        return;
    }
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

int TIniFile::Save() {
    // What is in memory is not the file: saving it would lose the file's content.
    if (ReadFailure != 0) return ReadFailure;
    std::string content = Prefix;
    for (const TLine& line : Lines)
        content += line.Text + line.End;
    return ReplaceFileContent(FilePath, content);
}

} // namespace vemla
