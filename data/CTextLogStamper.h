#pragma once
// When a text log writes a time stamp before a record: before the first
// record, after a gap of more than a second since the previous record, and
// otherwise when more than five seconds passed since the last stamp.
//
// Spans are taken in wrapping 32-bit tick arithmetic, so the rule holds right
// across a wrap of the tick counter, and "no record yet" is its own flag, so a
// record whose tick happens to be 0 is not taken for the first one.
//
// A stamp begins with a line break that parts it from the text before it; the
// stamp that begins a file has none, so the file does not open on an empty
// line.

#include <cstdint>
#include <string>

namespace quillpad {

class CTextLogStamper {
  public:
    // `atFileStart`: nothing has been written to the file yet.
    explicit CTextLogStamper(bool insertTimestamps, bool atFileStart = true)
        : m_insert(insertTimestamps), m_atFileStart(atFileStart) {}

    // The stamp to write before a record with this tick ("" for none), given
    // the store's time base; updates the writer's state either way.
    std::string Next(std::uint32_t tick, std::int64_t startTime, std::uint32_t startTick);

    // "\n[%H:%M:%S %m-%d-%Y]\n" of the record's calendar time in local time.
    static std::string FormatStamp(std::uint32_t tick, std::int64_t startTime,
                                   std::uint32_t startTick);

  private:
    bool m_insert;
    bool m_atFileStart;
    bool m_wroteRecord = false;
    std::uint32_t m_lastStampTick = 0;
    std::uint32_t m_lastRecordTick = 0;
};

}  // namespace quillpad
