#include "nxr/CNxrAsciiTransfer.h"

#include <algorithm>

#include "nxr/NxrXModem.h"

namespace quillpad {

CNxrAsciiSender::CNxrAsciiSender(ByteString data, SAsciiPacing pacing, std::uint32_t nowMs)
    : m_data(std::move(data)), m_pacing(pacing), m_due(nowMs) {}

bool CNxrAsciiSender::EndsLine(std::size_t pos) const {
    if (m_data[pos] == '\n') {
        return true;
    }
    // A CR at the very end has no LF after it: it ends the last line.
    return m_data[pos] == '\r' && (pos + 1 >= m_data.size() || m_data[pos + 1] != '\n');
}

ByteString CNxrAsciiSender::Next(std::uint32_t nowMs) {
    if (Done() || !TickReached(nowMs, m_due)) {
        return {};
    }
    std::size_t end = std::min(m_data.size(), m_offset + kChunk);
    if (m_pacing.charDelayMs > 0) {
        end = m_offset + 1;
    }
    std::uint32_t pause = m_pacing.charDelayMs;
    if (m_pacing.lineDelayMs > 0) {
        for (std::size_t i = m_offset; i < end; ++i) {
            if (EndsLine(i)) {
                end = i + 1;
                pause += m_pacing.lineDelayMs;
                break;
            }
        }
    }
    ByteString out = m_data.substr(m_offset, end - m_offset);
    m_offset = end;
    m_pause = pause;
    m_due = nowMs + pause;
    return out;
}

}  // namespace quillpad
