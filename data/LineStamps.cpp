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

void CLineStartStamps::Append(std::string& out, std::string_view text, std::uint32_t tick) {
    Feed(&out, text, tick);
}

void CLineStartStamps::Follow(std::string_view text, std::uint32_t tick) {
    Feed(nullptr, text, tick);
}

void CLineStartStamps::Feed(std::string* out, std::string_view text, std::uint32_t tick) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) > '\r' && !m_lineStart) {
            continue;  // most bytes: neither a break nor a line's first
        }
        if (m_afterCr) {
            m_afterCr = false;
            if (c == '\n') {
                continue;  // the LF of a CR LF: still between the lines
            }
        }
        if (m_lineStart) {
            m_lineStart = false;
            if (m_mode != EStampMode::Off && out != nullptr) {
                out->append(text.substr(written, i - written));
                written = i;
                out->append(StampOf(m_mode, tick, m_previous, m_base));
            }
            m_previous = tick;
        }
        if (c == '\r' || c == '\n') {
            m_lineStart = true;
            m_afterCr = c == '\r';
        }
    }
    if (out != nullptr) {
        out->append(text.substr(written));
    }
}

void CGapStamps::Append(std::string& out, std::string_view text, std::uint32_t tick) {
    if (text.empty()) {
        return;
    }
    if (m_mode != EStampMode::Off && (!m_lastTick || IsGap(*m_lastTick, tick, m_gapMs))) {
        if (!m_lineStart) {
            out.push_back('\n');
        }
        out.append(StampOf(m_mode, tick, m_lastBurstTick, m_base));
        m_lastBurstTick = tick;
    }
    out.append(text);
    Follow(text, tick);
}

void CGapStamps::Follow(std::string_view text, std::uint32_t tick) {
    if (text.empty()) {
        return;
    }
    if (!m_lastTick || IsGap(*m_lastTick, tick, m_gapMs)) {
        m_lastBurstTick = tick;
    }
    m_lastTick = tick;
    m_lineStart = text.back() == '\r' || text.back() == '\n';
}

}  // namespace quillpad
