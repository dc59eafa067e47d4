#pragma once
// The texts of the hover window: where a character came from, or what a
// selection spans. Pure functions of the records and the store's time base.

#include <cstdint>
#include <string>

#include "data/SDataRecord.h"

namespace quillpad {

// The four menu switches; all on by default.
struct STextInfoSwitches {
    bool showAbsoluteTime = true;   // "ShowAbsoluteTime": the calendar line
    bool showRelativeTime = true;   // "ShowRelativeTime": time since the start
    bool showDataDirection = true;  // "ShowDataDirection"
    bool showRelatedData = true;    // "ShowRelatedData": the record's bytes
};

// What the console view reads from the control's settings.
struct SViewSettings {
    bool showAllSources = false;
    STextInfoSwitches textInfo;
};

// A record as the hover window needs it: the record and its calendar second.
struct SDescribedRecord {
    SDataRecord record;
    std::int64_t calendarSeconds = 0;
};

// " %Dd %H:%M:%S" of the whole seconds, then " %03dms" of the rest.
std::string FormatSpan(std::uint32_t milliseconds);

// Calendar line, relative part, direction and data, each when switched on.
std::string DescribeSingle(const SDescribedRecord& r, std::uint32_t startTick,
                           const STextInfoSwitches& switches);

// Calendar and relative lines when switched on, then always the delta.
std::string DescribeRange(const SDescribedRecord& first, const SDescribedRecord& last,
                          std::uint32_t startTick, const STextInfoSwitches& switches);

}  // namespace quillpad
