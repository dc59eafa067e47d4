#pragma once
// Go to time: the first record at or after what the user typed
// (data/TimeTarget.h).
//
// Seconds since the start count from the history's first record.
// A time of day is looked for on the day of the history's first record. When
// that moment lies before the first record (a history that began at 23:00
// asked for "01:30") and the history runs past midnight, the same time on the
// next day is taken, and so on up to the day of the last record: the first of
// the history's days on which that time is not before its first record (whole
// seconds compared, so "14:07:09" keeps a first record of 14:07:09.250 on its
// day). A history of one day asked for a time before its start goes to its
// first record.
//
// Record times come from the store's time base (CDataStore::RecordTime, the
// same conversion the stamps use), so a wrapped tick counter and a log loaded
// from another day give their own times. The lookup is a binary search over
// the records, which arrive in time order: it reads a few dozen records of
// any history, spilled or not, never every one.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/SDataRecord.h"
#include "data/TimeTarget.h"

namespace quillpad {

class CDataStore;

// A time as the lookup compares them: calendar milliseconds, local time base.
constexpr std::int64_t CalendarMilliseconds(SRecordTime time) {
    return time.seconds * 1000 + time.milliseconds;
}

struct STimeLookup {
    // The record to show; none when nothing lies at or after the time.
    std::optional<std::size_t> record;
    // The moment looked for (what "no data at or after" speaks of); unset
    // when the history is empty.
    std::optional<SRecordTime> moment;
};

// The first record at or after `target` (see above for a time of day).
STimeLookup FindRecordAtTime(const CDataStore& store, const STimeTarget& target);

// The first record whose time is at or after `moment`, by binary search.
std::optional<std::size_t> FirstRecordAtOrAfter(const CDataStore& store, std::int64_t momentMs);

// "HH:MM:SS.mmm" of a moment, with the local date before it when it is not
// on `sameDayAs`'s day ("2024-03-06 01:30:00.000").
std::string DescribeMoment(SRecordTime moment, std::int64_t sameDayAs);

}  // namespace quillpad
