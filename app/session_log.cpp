#include "app/session_log.h"

#include "app/traffic_list.h"
#include "codec/codec.h"
#include "platform/cp1251.h"
#include "platform/system.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string_view>

namespace vemla {

namespace {

constexpr int64_t HourMs = 60LL * 60 * 1000;
constexpr int64_t DayMs = 24 * HourMs;
// A log file is written whole by one flush of at most a view's lines; anything far larger is
// not one of ours.
constexpr size_t LogFileLimit = size_t{256} << 20;

// "_2" before "_10": runs of digits compare as numbers.
bool NameLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            std::string_view numberA(a.data() + i, endA - i), numberB(b.data() + j, endB - j);
            while (numberA.size() > 1 && numberA[0] == '0')
                numberA.remove_prefix(1);
            while (numberB.size() > 1 && numberB[0] == '0')
                numberB.remove_prefix(1);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// "HH:MM:SS.mmm" as milliseconds of the day.
std::optional<int64_t> ParseTimeStamp(std::string_view text) {
    if (text.size() < 12 || text[2] != ':' || text[5] != ':' || text[8] != '.') return {};
    auto number = [&](size_t at, size_t digits) -> std::optional<int64_t> {
        int64_t value = 0;
        for (size_t k = at; k < at + digits; ++k) {
            if (!std::isdigit(static_cast<unsigned char>(text[k]))) return {};
            value = value * 10 + (text[k] - '0');
        }
        return value;
    };
    auto hours = number(0, 2), minutes = number(3, 2), seconds = number(6, 2), ms = number(9, 3);
    if (!hours || !minutes || !seconds || !ms || *hours > 23 || *minutes > 59 || *seconds > 59)
        return {};
    return ((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + *ms;
}

bool IsHexText(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = i % 3 != 2;
        if (digit ? HexDigit(text[i]) < 0 : text[i] != ' ') return false;
    }
    return text.size() % 3 != 1;
}

// Text with "<0xNN>" escapes; anything else stands for itself.
std::string EscapedBytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && i + 5 < text.size() && text.substr(i + 1, 2) == "0x" &&
            HexDigit(text[i + 3]) >= 0 && HexDigit(text[i + 4]) >= 0 && text[i + 5] == '>') {
            bytes += static_cast<char>(HexDigit(text[i + 3]) * 16 + HexDigit(text[i + 4]));
            i += 5;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

struct TRawLine {
    size_t Number;
    TTrafficKind Kind;
    TTrafficSource Source;
    int64_t Time;
    std::string_view Text;
};

// The data lines of one file, or the reason it is not a log.
TResult<std::vector<TRawLine>> SplitLog(std::string_view content, const std::string& name) {
    TResult<std::vector<TRawLine>> result;
    constexpr std::array<std::pair<TTrafficKind, TTrafficSource>, 4> Directions = {{
        {TTrafficKind::Received, TTrafficSource::Device},
        {TTrafficKind::Sent, TTrafficSource::Device},
        {TTrafficKind::TriggerSent, TTrafficSource::Device},
        {TTrafficKind::Received, TTrafficSource::Application},
    }};
    size_t number = 0;
    for (size_t at = 0; at < content.size();) {
        ++number;
        size_t end = content.find('\n', at);
        if (end == std::string_view::npos) {
            result.Error = name + ", line " + std::to_string(number) +
                           ": the file ends inside this line (a truncated log?)";
            return result;
        }
        std::string_view line = content.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // vemla never logs a control byte as it is (Hex and Win+Hex write it as digits, Win
        // drops it): one inside a line is damage, which would read the whole file wrongly.
        if (auto control =
                std::find_if(line.begin(), line.end(),
                             [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
            control != line.end()) {
            result.Error = name + ", line " + std::to_string(number) +
                           ": a control byte inside the line (0x" +
                           HexText(std::string(1, *control)) + "): a damaged log?";
            return result;
        }
        std::optional<int64_t> time = ParseTimeStamp(line);
        if (!time || line.size() < 19 || line.substr(12, 2) != "  ") {
            result.Error = name + ", line " + std::to_string(number) +
                           ": not a line of a vemla log (time stamp, direction, data)";
            return result;
        }
        std::string_view prefix = line.substr(14, 5);
        auto direction = std::find_if(Directions.begin(), Directions.end(), [&](auto d) {
            return DirectionPrefix(d.first, d.second) == prefix;
        });
        if (direction != Directions.end())
            result.Value.push_back(
                {number, direction->first, direction->second, *time, line.substr(19)});
    }
    return result;
}

} // namespace

std::string TSessionLog::Where(const TSessionLine& line) const {
    return Files[line.File] + ", line " + std::to_string(line.Line);
}

std::string HexText(const std::string& bytes) {
    return BytesToText(bytes, TCoding::Hex);
}

TResult<TSessionLog> ReadSessionLog(const std::string& path) {
    TResult<TSessionLog> result;
    TSessionLog& log = result.Value;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(path, error))
            if (entry.path().extension() == ".log" && entry.is_regular_file(error))
                log.Files.push_back(entry.path().string());
        std::sort(log.Files.begin(), log.Files.end(), NameLess);
        if (error)
            result.Error = path + ": " + Cp1251ToUtf8(SystemMessage(error.value()));
        else if (log.Files.empty())
            result.Error = path + ": no *.log files in this directory";
    } else {
        log.Files.push_back(path);
    }
    int64_t dayOffset = 0, lastTime = 0;
    for (size_t file = 0; file < log.Files.size() && result.Ok(); ++file) {
        const std::string& name = log.Files[file];
        std::string content;
        if (int failure = ReadWholeFile(name, content, LogFileLimit); failure != 0) {
            result.Error = name + ": " + Cp1251ToUtf8(SystemMessage(failure));
            result.SystemError = failure;
            break;
        }
        TResult<std::vector<TRawLine>> lines = SplitLog(content, name);
        if (!lines.Ok()) {
            result.Error = lines.Error;
            break;
        }
        bool hex = std::all_of(lines.Value.begin(), lines.Value.end(),
                               [](const TRawLine& line) { return IsHexText(line.Text); });
        for (const TRawLine& line : lines.Value) {
            // A session that runs past midnight goes on the next day; a step back of an hour
            // is the clock going back from summer time.
            if (!log.Lines.empty() && line.Time + dayOffset < lastTime - 2 * HourMs)
                dayOffset += DayMs;
            lastTime = line.Time + dayOffset;
            log.Lines.push_back(
                {file, line.Number, line.Kind, lastTime,
                 hex ? TextToBytes(line.Text, TCoding::Hex) : EscapedBytes(line.Text),
                 line.Source});
        }
    }
    return result;
}

} // namespace vemla
