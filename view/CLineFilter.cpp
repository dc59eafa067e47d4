#include "view/CLineFilter.h"

#include <algorithm>

#include "view/RenderRecordOf.h"

namespace quillpad {

CLineFilter::CLineFilter(const CDataStore& store, const CLineIndex& index,
                         const CBytePattern& pattern, std::size_t maxLines)
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
    // The open last line may have grown: count again from a checkpoint.
    m_counting = false;
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

// Hands what the renderer counts to the filter.
class CLineFilter::CCounter final : public ICountSurface {
  public:
    explicit CCounter(CLineFilter& filter) : m_filter(filter) {}
    void AppendCounted(std::size_t length, std::span<const std::uint32_t> breaks) override {
        m_filter.Appended(length, breaks);
    }
    void DeleteLastCharOfCaretLine() override { m_filter.Deleted(); }

  private:
    CLineFilter& m_filter;
};

void CLineFilter::Appended(std::size_t length, std::span<const std::uint32_t> breaks) {
    std::uint64_t from = 0;
    for (const std::uint32_t at : breaks) {
        m_size += at - from;
        m_breaks.push_back(m_size);
        m_lineStart = ++m_size;
        from = at + std::uint64_t{1};
    }
    m_size += length - from;
}

void CLineFilter::Deleted() {
    if (m_size > m_lineStart) {
        --m_size;
    }
}

void CLineFilter::CountFrom(std::size_t checkpoint) {
    const SLineCheckpoint& from = m_index.Checkpoints()[checkpoint];
    m_renderer.SetScheme(m_index.Scheme());
    m_counting = true;
    m_record = from.record;
    m_point = from.point;
    m_lineStart = from.lineStart;
    m_size = from.lineStart + from.depth;
    m_line = from.line;
    m_breaks.clear();
    m_starts.clear();
    // A checkpoint inside a record does not know where the record started.
    m_kept = from.point.offset == 0 ? from.record : from.record + 1;
    if (from.point.offset == 0) {
        m_starts.push_back({m_size, m_line});
    }
}

void CLineFilter::CountOne() {
    CCounter counter(*this);
    if (const auto record = m_store.Record(m_record)) {
        m_renderer.CountPart(counter, RenderRecordOf(*record, static_cast<std::uint32_t>(m_record)),
                             m_index.ShowAllSources(), m_point, CLineIndex::kUnlimited);
    }
    m_point = SRenderPoint{0, m_point.currentRule};
    ++m_record;
    m_starts.push_back({m_size, m_line + m_breaks.size()});
}

void CLineFilter::CountThrough(std::size_t record) {
    const std::size_t end = std::min(m_index.IndexedRecords(), m_store.RecordCount());
    while (m_record <= record && m_record < end) {
        CountOne();
    }
}

std::uint64_t CLineFilter::LineOf(std::size_t record, std::uint32_t offset) {
    const LineCheckpoints& points = m_index.Checkpoints();
    // The last checkpoint before the record: one inside it would not know
    // where the record's text starts.
    const auto at = std::lower_bound(
        points.begin(), points.end(), record,
        [](const SLineCheckpoint& point, std::size_t r) { return point.record < r; });
    const std::size_t low =
        at == points.begin() ? 0 : static_cast<std::size_t>(at - points.begin()) - 1;
    const SLineCheckpoint& from = points[low];
    const bool ahead =
        from.record > m_record || (from.record == m_record && from.point.offset > m_point.offset);
    if (!m_counting || record < m_kept || ahead) {
        CountFrom(low);
    }
    CountThrough(record);
    // Places before this record's start are not asked for again, nor the
    // breaks before it.
    if (record > m_kept) {
        const std::size_t drop = std::min(record - m_kept, m_starts.size());
        m_starts.erase(m_starts.begin(), m_starts.begin() + static_cast<std::ptrdiff_t>(drop));
        m_kept += drop;
    }
    if (!m_starts.empty() && m_starts.front().line > m_line) {
        const auto past = static_cast<std::ptrdiff_t>(m_starts.front().line - m_line);
        m_line = m_starts.front().line;
        m_breaks.erase(m_breaks.begin(), m_breaks.begin() + past);
    }

    // The byte's place in what its record drew: CR LF may draw one line
    // break, a byte "[0Dh]".
    std::uint64_t place = m_size;
    if (record >= m_kept && record - m_kept < m_starts.size()) {
        const std::uint64_t start = m_starts[record - m_kept].place;
        const std::uint64_t end =
            record + 1 - m_kept < m_starts.size() ? m_starts[record + 1 - m_kept].place : m_size;
        const SDataRecord r = *m_store.Record(record);
        const std::size_t into =
            m_index.Scheme() ? CStyledRenderer::DrawnLength(m_index.Scheme(), r, offset) : offset;
        // A record whose backspaces take back more than it draws ends
        // before it starts: its bytes are placed at its end.
        place = std::min<std::uint64_t>(start + into, end);
    }

    // Text after the record may take back characters of its line and break
    // it before the place: count on until a break at or past the place, or
    // until a checkpoint on the open line shows the line keeps that much.
    const std::size_t end = std::min(m_index.IndexedRecords(), m_store.RecordCount());
    while ((m_breaks.empty() || m_breaks.back() < place) && m_record < end) {
        const auto next = std::partition_point(
            points.begin(), points.end(), [this](const SLineCheckpoint& point) {
                return point.record < m_record ||
                       (point.record == m_record && point.point.offset <= m_point.offset);
            });
        if (next != points.end() && next->line == m_line + m_breaks.size() &&
            next->lineStart + next->survivors >= place) {
            break;
        }
        CountOne();
    }
    return m_line +
           static_cast<std::uint64_t>(std::lower_bound(m_breaks.begin(), m_breaks.end(), place) -
                                      m_breaks.begin());
}

}  // namespace quillpad
