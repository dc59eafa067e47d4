#include "platform/LocalTime.h"

#include <array>
#include <ctime>

namespace quillpad {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

int DayOfYear(const SSystemTime& t) {
    int yday = 0;
    for (int m = 1; m < t.wMonth && m <= 12; ++m) {
        yday += DaysInMonth(t.wYear, m);
    }
    return yday + t.wDay - 1;
}

void AppendNumber(std::string& out, int value, int width, bool trimZeros) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (!trimZeros) {
        while (static_cast<int>(digits.size()) < width) {
            digits.insert(digits.begin(), '0');
        }
    }
    if (value < 0) {
        out += '-';
    }
    out += digits;
}

std::tm ToTm(const SSystemTime& t) {
    std::tm tm{};
    tm.tm_year = t.wYear - 1900;
    tm.tm_mon = t.wMonth - 1;
    tm.tm_mday = t.wDay;
    tm.tm_hour = t.wHour;
    tm.tm_min = t.wMinute;
    tm.tm_sec = t.wSecond;
    tm.tm_wday = t.wDayOfWeek;
    tm.tm_yday = DayOfYear(t);
    tm.tm_isdst = -1;
    return tm;
}

void FormatInto(std::string& out, std::string_view format, const SSystemTime& t);

// One conversion; returns false for a letter we leave to the C library.
bool Convert(std::string& out, char letter, bool alt, const SSystemTime& t) {
    const int wday = t.wDayOfWeek % 7;
    const int month = (t.wMonth >= 1 && t.wMonth <= 12) ? t.wMonth : 1;
    const int yday = DayOfYear(t);
    const int hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    switch (letter) {
        case 'a':
            out.append(kDayNames[static_cast<std::size_t>(wday)], 3);
            return true;
        case 'A':
            out += kDayNames[static_cast<std::size_t>(wday)];
            return true;
        case 'b':
            out.append(kMonthNames[static_cast<std::size_t>(month - 1)], 3);
            return true;
        case 'B':
            out += kMonthNames[static_cast<std::size_t>(month - 1)];
            return true;
        case 'c':
            FormatInto(out, alt ? "%A, %B %#d, %Y %H:%M:%S" : "%m/%d/%y %H:%M:%S", t);
            return true;
        case 'x':
            FormatInto(out, alt ? "%A, %B %#d, %Y" : "%m/%d/%y", t);
            return true;
        case 'X':
            FormatInto(out, "%H:%M:%S", t);
            return true;
        case 'd':
            AppendNumber(out, t.wDay, 2, alt);
            return true;
        case 'H':
            AppendNumber(out, t.wHour, 2, alt);
            return true;
        case 'I':
            AppendNumber(out, hour12, 2, alt);
            return true;
        case 'j':
            AppendNumber(out, yday + 1, 3, alt);
            return true;
        case 'm':
            AppendNumber(out, t.wMonth, 2, alt);
            return true;
        case 'M':
            AppendNumber(out, t.wMinute, 2, alt);
            return true;
        case 'S':
            AppendNumber(out, t.wSecond, 2, alt);
            return true;
        case 'p':
            out += t.wHour < 12 ? "AM" : "PM";
            return true;
        case 'U':
            AppendNumber(out, (yday + 7 - wday) / 7, 2, alt);
            return true;
        case 'W':
            AppendNumber(out, (yday + 7 - (wday + 6) % 7) / 7, 2, alt);
            return true;
        case 'w':
            AppendNumber(out, wday, 1, alt);
            return true;
        case 'y':
            AppendNumber(out, t.wYear % 100, 2, alt);
            return true;
        case 'Y':
            AppendNumber(out, t.wYear, 4, alt);
            return true;
        case '%':
            out += '%';
            return true;
        default:
            return false;
    }
}

void FormatInto(std::string& out, std::string_view format, const SSystemTime& t) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        bool alt = false;
        std::size_t j = i + 1;
        if (format[j] == '#' && j + 1 < format.size()) {
            alt = true;
            ++j;
        }
        const char letter = format[j];
        if (!Convert(out, letter, alt, t)) {
            // Zone names and the like: the C library knows them.
            const std::tm tm = ToTm(t);
            const char spec[3] = {'%', letter, '\0'};
            std::array<char, 128> buffer{};
            const std::size_t n = std::strftime(buffer.data(), buffer.size(), spec, &tm);
            out.append(buffer.data(), n);
        }
        i = j;
    }
}

}  // namespace

std::optional<SSystemTime> ToLocalSystemTime(std::int64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&when, &tm) == nullptr || tm.tm_year + 1900 < 0 || tm.tm_year + 1900 > 65535) {
        return std::nullopt;
    }
    SSystemTime t;
    t.wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    t.wDay = static_cast<std::uint16_t>(tm.tm_mday);
    t.wHour = static_cast<std::uint16_t>(tm.tm_hour);
    t.wMinute = static_cast<std::uint16_t>(tm.tm_min);
    t.wSecond = static_cast<std::uint16_t>(tm.tm_sec);
    t.wMilliseconds = 0;
    return t;
}

std::optional<std::int64_t> FromLocalSystemTime(const SSystemTime& time) {
    if (time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
        time.wDay > DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 || time.wMinute > 59 ||
        time.wSecond > 59) {
        return std::nullopt;
    }
    std::tm tm = ToTm(time);
    const std::time_t result = std::mktime(&tm);
    if (result == static_cast<std::time_t>(-1) &&
        !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(result);
}

std::string FormatSystemTime(std::string_view format, const SSystemTime& time) {
    std::string out;
    FormatInto(out, format, time);
    return out;
}

std::string FormatCalendarSeconds(std::string_view format, std::int64_t seconds) {
    const auto t = ToLocalSystemTime(seconds);
    return t ? FormatSystemTime(format, *t) : std::string{};
}

}  // namespace quillpad
