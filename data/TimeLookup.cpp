#include "data/TimeLookup.h"

#include <cstdio>

#include "data/DataStore.h"
#include "platform/LocalTime.h"

namespace quillpad {
namespace {
// The moment of a time of day on the local day of `daySeconds`.
std::optional<std::int64_t> OnDayOf(std::int64_t daySeconds, std::uint32_t msOfDay) {
    auto day = ToLocalSystemTime(daySeconds);
    if (!day) {
        return std::nullopt;
    }
    const std::uint32_t s = msOfDay / 1000;
    day->wHour = static_cast<std::uint16_t>(s / 3600);
    day->wMinute = static_cast<std::uint16_t>(s / 60 % 60);
    day->wSecond = static_cast<std::uint16_t>(s % 60);
    const auto seconds = FromLocalSystemTime(*day);
    if (!seconds) {
        return std::nullopt;
    }
    return *seconds * 1000 + msOfDay % 1000;
}

SRecordTime FromMilliseconds(std::int64_t ms) {
    // Floor division: a moment before 1970 still has its milliseconds 0-999.
    std::int64_t seconds = ms / 1000;
    std::int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    return SRecordTime{seconds, static_cast<std::uint32_t>(rest)};
}

}  // namespace

std::optional<std::size_t> FirstRecordAtOrAfter(const CDataStore& store, std::int64_t momentMs) {
    std::size_t low = 0;
    std::size_t high = store.RecordCount();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const std::int64_t at = CalendarMilliseconds(*store.RecordTime(middle));
        store.TrimWindows();  // a spilled record's window goes at once
        if (at < momentMs) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low >= store.RecordCount()) {
        return std::nullopt;
    }
    return low;
}

STimeLookup FindRecordAtTime(const CDataStore& store, const STimeTarget& target) {
    const std::size_t count = store.RecordCount();
    if (count == 0) {
        return {};
    }
    const SRecordTime first = *store.RecordTime(0);
    const SRecordTime last = *store.RecordTime(count - 1);
    store.TrimWindows();
    std::int64_t moment = 0;
    if (target.kind == ETimeTargetKind::SinceStart) {
        moment = CalendarMilliseconds(first) + target.milliseconds;
    } else {
        const auto onFirstDay = OnDayOf(first.seconds, target.milliseconds);
        if (!onFirstDay) {
            return {};  // a time base the system cannot turn into a local day
        }
        moment = *onFirstDay;
        if (moment < first.seconds * 1000) {
            // Before the history began that day: the next day, if the
            // history reaches it. Noon a day on lands on the next date
            // whatever daylight saving does in between.
            const auto noon = OnDayOf(first.seconds, 12 * 3600 * 1000);
            const auto nextMidnight =
                noon ? OnDayOf(*noon / 1000 + 24 * 3600, 0) : std::optional<std::int64_t>{};
            if (nextMidnight && *nextMidnight <= CalendarMilliseconds(last)) {
                if (const auto onNextDay = OnDayOf(*nextMidnight / 1000, target.milliseconds)) {
                    moment = *onNextDay;
                }
            }
        }
    }
    return STimeLookup{FirstRecordAtOrAfter(store, moment), FromMilliseconds(moment)};
}

std::string DescribeMoment(SRecordTime moment, std::int64_t sameDayAs) {
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03u", static_cast<unsigned>(moment.milliseconds % 1000));
    std::string out = FormatCalendarSeconds("%H:%M:%S", moment.seconds) + ms;
    const std::string date = FormatCalendarSeconds("%Y-%m-%d", moment.seconds);
    if (date != FormatCalendarSeconds("%Y-%m-%d", sameDayAs)) {
        out = date + " " + out;
    }
    return out;
}

}  // namespace quillpad
