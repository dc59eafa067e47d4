#include "data/TimeTarget.h"

#include <limits>

namespace quillpad {
namespace {

constexpr const char* kFormsHint =
    "Type a time of day as 14:07:09 or 14:07:09.250, or seconds since the start as +300.5.";

constexpr const char* kTooFar = "That is more than 4294967 seconds (49 days) after the start.";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to `most` digits at `at`; how many it read.
std::size_t ReadDigits(std::string_view text, std::size_t& at, std::size_t most,
                       std::uint64_t& value) {
    std::size_t n = 0;
    value = 0;
    while (at < text.size() && IsDigit(text[at]) && n < most) {
        value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
        ++at;
        ++n;
    }
    return n;
}

// ".250" after the seconds: milliseconds from one to three decimals.
bool ReadFraction(std::string_view text, std::size_t& at, std::uint32_t& ms, std::string& error) {
    ms = 0;
    if (at >= text.size() || text[at] != '.') {
        return true;
    }
    ++at;
    std::uint64_t value = 0;
    const std::size_t n = ReadDigits(text, at, 3, value);
    if (n == 0) {
        error = "A decimal point needs digits after it, as in 14:07:09.250 or +300.5.";
        return false;
    }
    if (at < text.size() && IsDigit(text[at])) {
        error = "At most three decimals: the times are kept to the millisecond.";
        return false;
    }
    ms = static_cast<std::uint32_t>(n == 1 ? value * 100 : n == 2 ? value * 10 : value);
    return true;
}

STimeParse Fail(std::string error) {
    return STimeParse{std::nullopt, std::move(error)};
}

STimeParse ParseSinceStart(std::string_view text) {
    std::size_t at = 1;  // past the '+'
    std::uint64_t seconds = 0;
    // More digits than a 32-bit span of milliseconds holds are caught below;
    // eleven keep the sum from overflowing.
    const std::size_t n = ReadDigits(text, at, 11, seconds);
    if (n == 0) {
        return Fail("After \"+\" come the seconds since the first record, as in +300 or +300.5.");
    }
    if (at < text.size() && IsDigit(text[at])) {
        return Fail(kTooFar);
    }
    std::uint32_t ms = 0;
    std::string error;
    if (!ReadFraction(text, at, ms, error)) {
        return Fail(error);
    }
    if (at != text.size()) {
        return Fail(kFormsHint);
    }
    const std::uint64_t total = seconds * 1000 + ms;
    if (total > std::numeric_limits<std::uint32_t>::max()) {
        return Fail(kTooFar);
    }
    return STimeParse{STimeTarget{ETimeTargetKind::SinceStart, static_cast<std::uint32_t>(total)},
                      {}};
}

STimeParse ParseTimeOfDay(std::string_view text) {
    std::size_t at = 0;
    std::uint64_t hours = 0;
    std::uint64_t minutes = 0;
    std::uint64_t seconds = 0;
    if (ReadDigits(text, at, 2, hours) == 0 || at >= text.size() || text[at] != ':') {
        return Fail(kFormsHint);
    }
    ++at;
    if (ReadDigits(text, at, 2, minutes) != 2) {
        return Fail(kFormsHint);
    }
    std::uint32_t ms = 0;
    if (at < text.size() && text[at] == ':') {
        ++at;
        if (ReadDigits(text, at, 2, seconds) != 2) {
            return Fail(kFormsHint);
        }
        std::string error;
        if (!ReadFraction(text, at, ms, error)) {
            return Fail(error);
        }
    }
    if (at != text.size()) {
        return Fail(kFormsHint);
    }
    if (hours > 23) {
        return Fail("The hour must be 0 to 23.");
    }
    if (minutes > 59) {
        return Fail("The minutes must be 00 to 59.");
    }
    if (seconds > 59) {
        return Fail("The seconds must be 00 to 59.");
    }
    const auto total =
        static_cast<std::uint32_t>(((hours * 60 + minutes) * 60 + seconds) * 1000 + ms);
    return STimeParse{STimeTarget{ETimeTargetKind::TimeOfDay, total}, {}};
}

}  // namespace

STimeParse ParseTimeTarget(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return Fail(kFormsHint);
    }
    return text.front() == '+' ? ParseSinceStart(text) : ParseTimeOfDay(text);
}

}  // namespace quillpad
