#include "platform/system.h"

#include <cmath>

namespace vemla {

std::string TimeStamp(TDateTime time) {
    // Digits placed by hand: every log line of a flood is stamped, and the formatting
    // functions of the C library cost more than the rest of the line.
    TLocalTime t = DecodeDateTime(time);
    std::string text = "00:00:00.000";
    auto place = [&](size_t end, int value, int digits) {
        for (int i = 0; i < digits; ++i, value /= 10)
            text[end - static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    place(1, t.Hour, 2);
    place(4, t.Minute, 2);
    place(7, t.Second, 2);
    place(11, t.Millisecond, 3);
    return text;
}

TLocalTime DecodeDateTime(TDateTime value) {
    // Whole milliseconds from 30 December 1899, split without the C library's calendar (its
    // range and its thread safety differ between systems).
    auto totalMs = std::llround(value * SecondsPerDay * 1000.0);
    long long days = totalMs >= 0 ? totalMs / MsPerDay : (totalMs - MsPerDay + 1) / MsPerDay;
    long long ofDay = totalMs - days * MsPerDay;
    // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
    long long z = days - static_cast<long long>(UnixEpochDays) + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long dayOfEra = z - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long monthIndex = (5 * dayOfYear + 2) / 153;
    int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year,
            month,
            day,
            static_cast<int>(ofDay / 3600000),
            static_cast<int>(ofDay / 60000 % 60),
            static_cast<int>(ofDay / 1000 % 60),
            static_cast<int>(ofDay % 1000)};
}

std::string NormalizePath(std::string path) {
    for (char& ch : path)
        if (ch == '\\') ch = '/';
    return path;
}

bool HasDirectoryPart(const std::string& path) {
    return path.find('/') != std::string::npos || path.find('\\') != std::string::npos;
}

} // namespace vemla
