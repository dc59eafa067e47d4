#pragma once
// Calendar seconds to and from a SYSTEMTIME-like record in local time, and
// strftime-style formatting with the Windows forms the console's texts use.
//
// Formatting always uses the C locale, so texts are the same everywhere.
// The Windows-only forms map as follows:
//   %c   -> "%m/%d/%y %H:%M:%S"          (short date and time)
//   %x   -> "%m/%d/%y"                    (short date)
//   %#c  -> "%A, %B %#d, %Y %H:%M:%S"    (long date and time)
//   %#x  -> "%A, %B %#d, %Y"              (long date)
//   %#d, %#H, %#I, %#j, %#m, %#M, %#S, %#U, %#w, %#W, %#y, %#Y
//        -> the same number without leading zeros
//   %#   with any other letter behaves as that letter without '#'.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillpad {

struct SSystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;      // 1-12
    std::uint16_t wDayOfWeek = 0;  // 0 = Sunday
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;

    bool operator==(const SSystemTime&) const = default;
};

// Local time of the given calendar seconds (milliseconds 0). Empty when the
// seconds are outside what the system can convert.
std::optional<SSystemTime> ToLocalSystemTime(std::int64_t seconds);

// Calendar seconds of a local time; daylight saving is decided by the system.
// Day of week and milliseconds are ignored. Empty when the fields do not
// make a time (month 0, day 40, ...).
std::optional<std::int64_t> FromLocalSystemTime(const SSystemTime& time);

// Formats a local time; see the table above for the Windows forms.
std::string FormatSystemTime(std::string_view format, const SSystemTime& time);

// Formats calendar seconds as local time; empty when they cannot be converted.
std::string FormatCalendarSeconds(std::string_view format, std::int64_t seconds);

}  // namespace quillpad
