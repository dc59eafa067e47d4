#pragma once
// The texts of the hover window: where a character came from, or what a
// selection spans. Pure functions of the records and the store's time base,
// and the lookup of the records behind displayed text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "data/LineStamps.h"
#include "data/SDataRecord.h"

namespace quillpad {

class CDataStore;
class CDisplayDocument;

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
    // Time stamps at the start of each line, and the gap that starts a
    // burst in text without lines.
    EStampMode stampMode = EStampMode::Off;
    std::uint32_t stampGapMs = kDefaultGapMs;
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

// The hover text for the character at `character` of the document: its
// record, or, when it lies in the selection [selectionStart, selectionEnd) or
// just after it, the span of the selection. Records are looked up in the
// generation that drew them, so text drawn before a clear or a load
// describes nothing until the replay has drawn it again. Empty when there is
// nothing to describe.
std::string DescribeDisplayed(const CDisplayDocument& document, const CDataStore& store,
                              std::size_t selectionStart, std::size_t selectionEnd,
                              std::size_t character, const STextInfoSwitches& switches);

// The same for a text of `textSize` characters that is not held whole:
// `recordAt` names the record that drew the character at a position.
using DisplayedRecordAt = std::function<std::optional<SRecordRef>(std::size_t)>;
std::string DescribeDisplayed(const DisplayedRecordAt& recordAt, std::size_t textSize,
                              const CDataStore& store, std::size_t selectionStart,
                              std::size_t selectionEnd, std::size_t character,
                              const STextInfoSwitches& switches);

}  // namespace quillpad
