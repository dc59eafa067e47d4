#pragma once
// One captured chunk of console data, as the store lends it out.
//
// The store owns every record (in compact arenas, see CRecordArena); an
// SDataRecord is a borrowed view of one of them. Its `bytes` stay valid while
// its segment stays where it was found: until the store next adds a record
// or ends a turn (FlushLiveLogs), which may send the segment to disk or
// unmap its window, or clears, loads or changes its budget. Looking up other
// records meanwhile never ends it. Code that must remember a record across
// messages keeps its SRecordRef (store generation plus sequence) and asks
// the store again.

#include <cstdint>
#include <string_view>

namespace quillpad {

// `kind` of a record that carries data bytes; the program creates no other kind.
inline constexpr std::uint32_t kDataRecordKind = 1;

// `direction` values, also the values style rules match against (0 = any).
inline constexpr std::uint32_t kDirectionIncoming = 1;
inline constexpr std::uint32_t kDirectionOutgoing = 2;

// `source` values: this console's own traffic, or another originator's.
inline constexpr std::uint32_t kSourceOwn = 1;
inline constexpr std::uint32_t kSourceOther = 2;

// The owner id of the history's marks ("MARK"): no console registers it, so a
// mark is always of source "other".
inline constexpr std::uint32_t kMarkOwnerId = 0x4D41524B;
// The source a style matches a mark by: no record is stored with it, so only
// a rule made for marks (or one of any source) takes them.
inline constexpr std::uint32_t kSourceMark = 3;

struct SDataRecord {
    // The first six fields are, in this order and little-endian, the 24-byte
    // record head of the binary log.
    std::uint32_t kind = kDataRecordKind;
    std::uint32_t sequence = 0;
    std::uint32_t tick = 0;
    std::uint32_t ownerId = 0;
    std::uint32_t direction = 0;
    std::uint32_t source = 0;
    // The data; no terminating NUL is promised (bytes may hold NULs anyway).
    std::string_view bytes;
    std::uint32_t length = 0;  // bytes.size()
};

// A mark is the console's own word in the history, not traffic of another
// originator: it is shown whichever sources are.
constexpr bool IsMarkRecord(const SDataRecord& record) {
    return record.kind == kDataRecordKind && record.ownerId == kMarkOwnerId;
}
// The source a style matches the record by.
constexpr std::uint32_t StyleSourceOf(const SDataRecord& record) {
    return IsMarkRecord(record) ? kSourceMark : record.source;
}
constexpr bool IsShownRecord(const SDataRecord& record, bool showAllSources) {
    return record.kind == kDataRecordKind &&
           (showAllSources || record.source == kSourceOwn || IsMarkRecord(record));
}

// A record named in a way that survives a clear or a load: the store's
// generation when the record was created, and its sequence. A clear and a
// load each start a new generation, so a stale reference finds nothing.
struct SRecordRef {
    std::uint32_t generation = 0;
    std::uint32_t sequence = 0;

    bool operator==(const SRecordRef&) const = default;
};

// The calendar time of a record: whole seconds of the store's time base plus
// a millisecond part (0-999).
struct SRecordTime {
    std::int64_t seconds = 0;
    std::uint32_t milliseconds = 0;

    bool operator==(const SRecordTime&) const = default;
};

// startTime + (tick - startTick) div 1000 s, remainder in ms; the span is
// taken modulo 2^32, so a wrap of the tick counter in between is harmless.
constexpr SRecordTime RecordCalendarTime(std::int64_t startTime, std::uint32_t startTick,
                                         std::uint32_t tick) {
    const std::uint32_t span = tick - startTick;
    return SRecordTime{startTime + static_cast<std::int64_t>(span / 1000), span % 1000};
}

}  // namespace quillpad
