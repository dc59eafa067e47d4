#include "view/CDisplayWindow.h"

#include <algorithm>

namespace quillpad {

CDisplayWindow::CDisplayWindow(const CDataStore& store, std::size_t chunk)
    : m_store(store), m_layout(m_document, chunk) {}

void CDisplayWindow::SetIndex(const CLineIndex* index) {
    m_index = index;
    m_drawn = false;
}

void CDisplayWindow::IndexGrew() {
    if (m_drawn && m_index != nullptr &&
        (m_reachesEnd || m_start + m_document.Size() >= m_index->OpenLineStart())) {
        m_drawn = false;
    }
}

std::size_t CDisplayWindow::TextSize() const {
    return m_index != nullptr ? static_cast<std::size_t>(m_index->TextSize()) : 0;
}

std::size_t CDisplayWindow::DrawRange(std::size_t from, std::size_t to,
                                      CDisplayDocument& out) const {
    if (m_index == nullptr) {
        out.Clear();
        return 0;
    }
    return static_cast<std::size_t>(m_index->RenderRange(m_store, from, to, out).start);
}

void CDisplayWindow::Draw(std::size_t from, std::size_t to) {
    const std::size_t size = TextSize();
    from = std::min(from, size);
    to = std::min(std::max(to, from), size);
    m_drawn = true;
    ++m_drawings;
    if (m_index == nullptr) {
        m_document.Clear();
        m_start = m_validStart = m_validEnd = 0;
        m_reachesEnd = true;
        m_firstLineWhole = true;
        m_place = SWindowPlace{};
        m_layout.SetFirstLineLead(0);
        if (m_sync) {
            m_sync(m_document, m_layout);
        }
        return;
    }
    const std::size_t chunk = m_layout.Chunk();
    SWindowPlace place = m_index->RenderRange(m_store, from, to, m_document);
    std::size_t lineStart = 0;
    const auto measure = [&] {
        m_start = static_cast<std::size_t>(place.start);
        lineStart = static_cast<std::size_t>(place.firstLineStart);
        const std::size_t end = m_start + m_document.Size();
        const std::size_t lines = m_document.LineCount();
        m_reachesEnd = end >= size;
        const std::size_t lead = m_start - lineStart;
        if (lead % chunk == 0) {
            m_validStart = m_start;
        } else {
            // The first line's first chunk is cut: its rows start at the
            // next chunk, or the next line when the line ends first.
            const std::size_t next = lineStart + (lead / chunk + 1) * chunk;
            const std::size_t firstEnd = m_start + m_document.LineEnd(0);
            m_validStart = next >= firstEnd && lines > 1 ? m_start + m_document.LineStart(1) : next;
        }
        const std::size_t lastStart =
            lines > 1 ? m_start + m_document.LineStart(lines - 1) : lineStart;
        m_validEnd = lastStart + (end - lastStart) / chunk * chunk;
    };
    measure();
    if (m_validStart > from) {
        // `from` lies in the cut chunk: draw from that chunk's start.
        const std::size_t a = lineStart + (from - lineStart) / chunk * chunk;
        place = m_index->RenderRange(m_store, a, to, m_document);
        measure();
    }
    m_layout.SetFirstLineLead(m_start - lineStart);
    m_firstLineWhole = m_start == lineStart;
    m_place = place;
    if (m_sync) {
        m_sync(m_document, m_layout);
    }
}

std::size_t CDisplayWindow::Span(std::size_t rows) const {
    // Characters that usually hold that many rows; a window that holds too
    // few is drawn again, wider.
    return (rows + 2) * 160 + 2048;
}

std::vector<CDisplayWindow::SRow> CDisplayWindow::Whole(std::vector<SRow> rows) const {
    for (SRow& row : rows) {
        row.start += m_start;
        row.end += m_start;
    }
    return rows;
}

std::vector<CDisplayWindow::SRow> CDisplayWindow::RowsFrom(std::size_t position,
                                                           std::size_t count) {
    if (count == 0) {
        return {};
    }
    position = std::min(position, TextSize());
    std::size_t span = Span(count);
    if (!Answers(position)) {
        Draw(position - std::min(position, span / 4), position + span);
    }
    for (;;) {
        std::vector<SRow> rows = m_layout.RowsFrom(position - m_start, count);
        if (m_reachesEnd || (rows.size() == count && m_start + rows.back().start < m_validEnd)) {
            return Whole(std::move(rows));
        }
        span *= 4;
        Draw(position - std::min(position, span / 4), position + span);
    }
}

std::vector<CDisplayWindow::SRow> CDisplayWindow::LastRows(std::size_t count) {
    if (count == 0) {
        return {};
    }
    const std::size_t size = TextSize();
    std::size_t span = Span(count);
    if (!m_drawn || !m_reachesEnd) {
        Draw(size - std::min(size, span), size);
    }
    for (;;) {
        std::vector<SRow> rows = m_layout.LastRows(count);
        if (m_start == 0 ||
            (rows.size() == count && m_start + rows.front().start >= m_validStart)) {
            return Whole(std::move(rows));
        }
        span *= 4;
        Draw(size - std::min(size, span), size);
    }
}

std::size_t CDisplayWindow::MoveRows(std::size_t position, int count) {
    if (count >= 0) {
        return RowsFrom(position, static_cast<std::size_t>(count) + 1).back().start;
    }
    position = std::min(position, TextSize());
    std::size_t span = Span(static_cast<std::size_t>(-static_cast<std::int64_t>(count)));
    bool drawn = false;
    for (;;) {
        if (drawn || !Answers(position) || position - m_start < span / 2) {
            Draw(position - std::min(position, span), position + span);
        }
        drawn = true;
        const std::size_t r = m_start + m_layout.MoveRows(position - m_start, count);
        // Moved through rows the window holds whole, and not stopped at its
        // top unless that is the text's.
        if (Answers(position) && r >= m_validStart && (r > m_start || m_start == 0)) {
            return r;
        }
        span *= 4;
    }
}

std::size_t CDisplayWindow::RowStartOf(std::size_t position) {
    return RowsFrom(position, 1).front().start;
}

}  // namespace quillpad
