#include "data/CTextLogStamper.h"

#include "platform/Clock.h"
#include "platform/LocalTime.h"

namespace quillpad {

std::string CTextLogStamper::FormatStamp(std::uint32_t tick, std::int64_t startTime,
                                         std::uint32_t startTick) {
    const std::int64_t seconds = startTime + TickSpan(startTick, tick) / 1000;
    return FormatCalendarSeconds("\n[%H:%M:%S %m-%d-%Y]\n", seconds);
}

std::string CTextLogStamper::Next(std::uint32_t tick, std::int64_t startTime,
                                  std::uint32_t startTick) {
    const bool stamp = !m_wroteRecord || TickSpan(m_lastRecordTick, tick) > 1000 ||
                       (m_insert && TickSpan(m_lastStampTick, tick) > 5000);
    m_wroteRecord = true;
    m_lastRecordTick = tick;
    if (!stamp || !m_insert) {
        return {};
    }
    m_lastStampTick = tick;
    std::string text = FormatStamp(tick, startTime, startTick);
    if (m_atFileStart) {
        text.erase(0, 1);
    }
    m_atFileStart = false;
    return text;
}

}  // namespace quillpad
