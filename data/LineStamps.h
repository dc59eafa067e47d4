#pragma once
// The time stamp a display line may start with, from the tick of the record
// that starts the line: the local time of day ("HH:MM:SS.mmm"), the seconds
// since the console's start or since the previous line's stamp ("+S.mmm"),
// each followed by one space. The console draws it in a column of its own,
// the text logs, quillpad-log and copy write it before the line's text.
//
// Spans are taken in wrapping 32-bit tick arithmetic, so a wrap of the tick
// counter between two lines is harmless; the time of day comes from the time
// base of the history the record belongs to (a loaded log keeps its own), so
// a log from another day shows its own times.
//
// Where data has no lines (hex mode, a style that hides line ends), a gap
// stamp marks where more than a threshold passed between two records.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/SDataRecord.h"
#include "platform/StampMode.h"

namespace quillpad {

// The widest stamp: a span of 2^32 - 1 ms is "+4294967.295 ", a time of day
// "HH:MM:SS.mmm ". A column this many characters wide holds every stamp.
inline constexpr std::size_t kStampColumnChars = 13;

struct STimeBase {
    std::int64_t startTime = 0;
    std::uint32_t startTick = 0;
};

// "HH:MM:SS.mmm " of a calendar time, in local time.
std::string FormatClockStamp(SRecordTime time);
// "+S.mmm " of a span in milliseconds.
std::string FormatSpanStamp(std::uint32_t milliseconds);

// The stamp of a line whose first record has `tick`; `previous` is the tick
// of the previous line's first record (none for the first line, which is
// then "+0.000 " since the previous line). Off gives "".
std::string StampOf(EStampMode mode, std::uint32_t tick, std::optional<std::uint32_t> previous,
                    STimeBase base);

// Stamps a stream of lines front to back, remembering the previous line's
// tick: text logs, copy, quillpad-log render.
class CLineStamper {
  public:
    CLineStamper(EStampMode mode, STimeBase base) : m_mode(mode), m_base(base) {}

    EStampMode Mode() const { return m_mode; }
    void SetTimeBase(STimeBase base) { m_base = base; }
    // The line before the first one stamped (a copy from the middle of the
    // history measures from it).
    void SetPrevious(std::optional<std::uint32_t> tick) { m_previous = tick; }
    // The stamp of the next line, which starts with a record of `tick`.
    std::string Next(std::uint32_t tick);

  private:
    EStampMode m_mode;
    STimeBase m_base;
    std::optional<std::uint32_t> m_previous;
};

// Text written with a stamp at the start of each line, as the text logs and
// quillpad-log render write it: CR, LF and CR LF each end a line, and the next
// line's stamp waits for its first character, so it is made of the tick of the
// record that starts the line (a trailing break opens no stamped line yet, and
// a CR at the end of one record with an LF at the start of the next is one
// line end). Off writes the text as it is but still follows the lines, so a
// form chosen later measures from the right previous line.
class CLineStartStamps {
  public:
    CLineStartStamps(EStampMode mode, STimeBase base) : m_mode(mode), m_base(base) {}

    EStampMode Mode() const { return m_mode; }
    // Takes effect from the next line: the line under way keeps its stamp.
    void SetMode(EStampMode mode) { m_mode = mode; }
    void SetTimeBase(STimeBase base) { m_base = base; }
    // Whether the next character starts a line.
    bool AtLineStart() const { return m_lineStart; }
    // Appends `text`, drawn from a record of `tick`, to `out`.
    void Append(std::string& out, std::string_view text, std::uint32_t tick);
    // Follows `text` without writing it: the lines another writer wrote.
    void Follow(std::string_view text, std::uint32_t tick);

  private:
    void Feed(std::string* out, std::string_view text, std::uint32_t tick);

    EStampMode m_mode;
    STimeBase m_base;
    std::optional<std::uint32_t> m_previous;
    bool m_lineStart = true;
    bool m_afterCr = false;
};

// Text without lines written with gap stamps, as the console shows it: a
// record that comes more than the threshold after the one before starts a
// burst, and the burst starts a line of its own with the stamp of its first
// record, as its row starts on screen with the stamp beside it. The first
// record starts a burst too. Records that draw nothing are not there, as on
// screen: the gap is measured from the last record that drew something.
// Since the previous line measures from the previous burst's stamp.
class CGapStamps {
  public:
    CGapStamps(EStampMode mode, STimeBase base, std::uint32_t gapMs)
        : m_mode(mode), m_base(base), m_gapMs(gapMs) {}

    EStampMode Mode() const { return m_mode; }
    void SetMode(EStampMode mode) { m_mode = mode; }
    void SetTimeBase(STimeBase base) { m_base = base; }
    void SetGapMs(std::uint32_t gapMs) { m_gapMs = gapMs; }
    // Appends `text`, drawn from a record of `tick`, to `out`.
    void Append(std::string& out, std::string_view text, std::uint32_t tick);
    // Follows `text` without writing it, so a switch to gap stamps measures
    // the first gap from the right record.
    void Follow(std::string_view text, std::uint32_t tick);

  private:
    EStampMode m_mode;
    STimeBase m_base;
    std::uint32_t m_gapMs;
    std::optional<std::uint32_t> m_lastTick;       // of the last record that drew text
    std::optional<std::uint32_t> m_lastBurstTick;  // of the last burst's first record
    bool m_lineStart = true;
};

// Whether a record `tick` that follows one of `previousTick` starts a burst:
// more than `thresholdMs` passed between them.
constexpr bool IsGap(std::uint32_t previousTick, std::uint32_t tick, std::uint32_t thresholdMs) {
    return static_cast<std::uint32_t>(tick - previousTick) > thresholdMs;
}

}  // namespace quillpad
