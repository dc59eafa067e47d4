#include "data/LineStamps.h"

#include <cstdio>

#include "platform/Clock.h"
#include "platform/LocalTime.h"

namespace quillpad {
std::string FormatClockStamp(SRecordTime time) {
    std::string out = FormatCalendarSeconds("%H:%M:%S", time.seconds);
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03u ", static_cast<unsigned>(time.milliseconds % 1000));
    return out + ms;
}

std::string FormatSpanStamp(std::uint32_t milliseconds) {
    char out[24];
    std::snprintf(out, sizeof out, "+%u.%03u ", static_cast<unsigned>(milliseconds / 1000),
                  static_cast<unsigned>(milliseconds % 1000));
    return out;
}

std::string StampOf(EStampMode mode, std::uint32_t tick, std::optional<std::uint32_t> previous,
                    STimeBase base) {
    switch (mode) {
        case EStampMode::Absolute:
            return FormatClockStamp(RecordCalendarTime(base.startTime, base.startTick, tick));
        case EStampMode::SinceStart:
            return FormatSpanStamp(TickSpan(base.startTick, tick));
        case EStampMode::SincePrevious:
            return FormatSpanStamp(previous ? TickSpan(*previous, tick) : 0);
        case EStampMode::Off:
            break;
    }
    return {};
}

std::string CLineStamper::Next(std::uint32_t tick) {
    std::string stamp = StampOf(m_mode, tick, m_previous, m_base);
    m_previous = tick;
    return stamp;
}

}  // namespace quillpad
