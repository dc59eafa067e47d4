#include "view/CLineFilter.h"

#include <algorithm>

#include "view/CStyledRenderer.h"

namespace quillpad {

CLineFilter::CLineFilter(const CDataStore& store, const CLineIndex& index,
                         const CFindPattern& pattern, std::size_t maxLines)
    : m_store(store), m_index(index), m_pattern(pattern), m_maxLines(maxLines) {
    // Records before the index's first are not shown, so not searched.
    const std::size_t first = index.FirstRecord();
    m_after = SHistoryPoint{
        first, 0,
        first < store.RecordCount() ? store.BytesBefore(first, true) : store.TotalBytes(true)};
    Start(m_after);
}

void CLineFilter::Start(SHistoryPoint from) {
    m_done = false;
    m_records = m_index.IndexedRecords();
    m_from = from.history;
    m_limit = m_records < m_store.RecordCount() ? m_store.BytesBefore(m_records, true)
                                                : m_store.TotalBytes(true);
    if (!m_pattern.IsValid() || m_capped || from.history >= m_limit) {
        m_scan.reset();
        m_done = true;
        return;
    }
    m_scan = std::make_unique<CHistoryScan>(m_store, m_pattern, from, m_limit);
}

void CLineFilter::TakeInNewRecords() {
    if (!m_done || !Behind()) {
        return;
    }
    // The open last line may have grown, so its stretch is drawn again.
    m_low = m_high = static_cast<std::size_t>(-1);
    Start(m_after);
}

bool CLineFilter::Step(std::size_t byteBudget) {
    if (m_done) {
        return true;
    }
    m_done = m_scan->Step(byteBudget, [this](const SFindMatch& match) { return Take(match); });
    m_store.TrimWindows();
    if (m_done) {
        m_scan.reset();
    }
    return m_done;
}

double CLineFilter::Progress() const {
    if (m_done || !m_scan || m_limit <= m_from) {
        return 1.0;
    }
    const std::uint64_t at = std::clamp(m_scan->Position(), m_from, m_limit);
    return static_cast<double>(at - m_from) / static_cast<double>(m_limit - m_from);
}

bool CLineFilter::Take(const SFindMatch& match) {
    // Where the match ends: its length counts the bytes of its direction only.
    std::uint64_t remaining = match.length;
    std::size_t record = match.sequence;
    std::uint32_t offset = match.offset;
    std::size_t lastRecord = record;
    std::uint32_t lastOffset = offset;
    const std::uint32_t direction = m_pattern.Direction();
    while (remaining > 0 && record < m_store.RecordCount()) {
        const SDataRecord r = *m_store.Record(record);
        if (direction == 0 || r.direction == direction) {
            const std::uint64_t take = std::min<std::uint64_t>(remaining, r.length - offset);
            if (take > 0) {
                remaining -= take;
                offset += static_cast<std::uint32_t>(take);
                lastRecord = record;
                lastOffset = offset - 1;
                if (remaining == 0) {
                    break;
                }
            }
        }
        ++record;
        offset = 0;
    }
    m_after = SHistoryPoint{record, offset, match.historyEnd};

    const std::uint64_t first = LineOf(match.sequence, match.offset);
    // A last byte beyond the index lies on its open last line.
    const std::uint64_t last = lastRecord < m_index.IndexedRecords()
                                   ? LineOf(lastRecord, lastOffset)
                                   : m_index.LineCount() - 1;
    for (std::uint64_t line = std::max(first, m_lines.empty() ? 0 : m_lines.back() + 1);
         line <= last; ++line) {
        if (m_lines.size() >= m_maxLines) {
            m_capped = true;
            return false;
        }
        m_lines.push_back(line);
    }
    return true;
}

std::uint64_t CLineFilter::LineOf(std::size_t record, std::uint32_t offset) {
    const std::vector<SLineCheckpoint>& points = m_index.Checkpoints();
    const auto byRecord = [](const SLineCheckpoint& point, std::size_t r) {
        return point.record < r;
    };
    // From the last checkpoint before the record to the first after it: a
    // checkpoint may lie inside a long record, which must be drawn whole.
    const auto at = std::lower_bound(points.begin(), points.end(), record, byRecord);
    const std::size_t low =
        at == points.begin() ? 0 : static_cast<std::size_t>(at - points.begin()) - 1;
    const auto after = std::upper_bound(
        points.begin(), points.end(), record,
        [](std::size_t r, const SLineCheckpoint& point) { return r < point.record; });
    const std::size_t high = static_cast<std::size_t>(after - points.begin());
    if (low != m_low || high != m_high) {
        const std::uint64_t lastLine =
            high < points.size() ? points[high].line + 1 : m_index.LineCount();
        m_place = m_index.RenderLines(m_store, points[low].line, lastLine, m_stretch);
        m_low = low;
        m_high = high;
    }

    const std::size_t start = m_stretch.FirstPositionOf(record);
    std::size_t position = start;
    const auto drawn = m_stretch.SequenceAt(start);
    if (start < m_stretch.Size() && drawn && *drawn == record) {
        // The byte's place in what its record drew: CR LF may draw one line
        // break, a byte "[0Dh]".
        const SDataRecord r = *m_store.Record(record);
        const std::size_t into =
            m_index.Scheme() ? CStyledRenderer::DrawnLength(m_index.Scheme(), r, offset) : offset;
        position = start + std::min(into, m_stretch.FirstPositionOf(record + 1) - start);
    }
    return m_place.firstLine + m_stretch.LineOf(position);
}

}  // namespace quillpad
