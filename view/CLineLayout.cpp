#include "view/CLineLayout.h"

#include <algorithm>
#include <cmath>

namespace quillpad {
namespace {

struct SUnitAdvances {
    CLineLayout::AdvanceTable table{};
    SUnitAdvances() {
        for (unsigned b = 0; b < 256; ++b) {
            table[b] = CLineLayout::TakesNoRoom(static_cast<std::uint8_t>(b)) ? 0.0f : 1.0f;
        }
    }
};
const SUnitAdvances g_unitAdvances;

}  // namespace

// The advance of one byte, x being where it starts. Keeps the run it looked
// up last: text is measured front to back, a run at a time.
class CLineLayout::CAdvance {
  public:
    explicit CAdvance(const CLineLayout& layout)
        : m_layout(layout),
          m_text(reinterpret_cast<const std::uint8_t*>(layout.m_document.Text().data())) {}

    float operator()(std::size_t p, float x) {
        const std::uint8_t b = m_text[p];
        if (b == '\t') {
            return m_layout.TabStop(x) - x;
        }
        if (m_layout.m_uniform > 0) {
            return TakesNoRoom(b) ? 0.0f : m_layout.m_uniform;
        }
        if (p >= m_runEnd || p < m_runStart) {
            const CDisplayDocument& document = m_layout.m_document;
            const std::size_t run = document.RunAt(p);
            m_runStart = document.RunStart(run);
            m_runEnd = document.RunEnd(run);
            m_table = &m_layout.AdvancesOf(document.RunFormat(run));
        }
        return (*m_table)[b];
    }

  private:
    const CLineLayout& m_layout;
    const std::uint8_t* m_text;
    std::size_t m_runStart = 0;
    std::size_t m_runEnd = 0;
    const AdvanceTable* m_table = nullptr;
};

CLineLayout::CLineLayout(const CDisplayDocument& document, std::size_t chunk)
    : m_document(document), m_chunk(std::max<std::size_t>(chunk, 1)) {}

void CLineLayout::AddFormat(const AdvanceTable& advances) {
    AdvanceTable& added = m_advances.emplace_back(advances);
    for (unsigned b = 0; b < 256; ++b) {
        if (TakesNoRoom(static_cast<std::uint8_t>(b))) {
            added[b] = 0;
        }
    }
    if (m_advances.size() == 1) {
        m_uniform = added['M'];
        m_space = std::max(1.0f, added[' ']);
        SetWidth(m_requestedWidth);
    }
    for (unsigned b = 0x20; b < 256 && m_uniform > 0; ++b) {
        if (!TakesNoRoom(static_cast<std::uint8_t>(b)) && added[b] != m_uniform) {
            m_uniform = 0;
        }
    }
}

void CLineLayout::ClearFormats() {
    m_advances.clear();
    m_uniform = 1;
    m_space = 1;
    SetWidth(m_requestedWidth);
}

void CLineLayout::SetWidth(float width) {
    m_requestedWidth = width;
    m_width = std::max(width, 4 * m_space);
}

const CLineLayout::AdvanceTable& CLineLayout::AdvancesOf(std::size_t format) const {
    if (format < m_advances.size()) {
        return m_advances[format];
    }
    // A format not measured yet measures as the default one.
    return m_advances.empty() ? g_unitAdvances.table : m_advances.front();
}

float CLineLayout::TabStop(float x) const {
    const float tab = 8 * m_space;
    return (std::floor(x / tab) + 1) * tab;
}

float CLineLayout::Measure(std::size_t from, std::size_t to, float x) const {
    CAdvance advance(*this);
    float width = 0;
    for (std::size_t p = from; p < to; ++p) {
        width += advance(p, x + width);
    }
    return width;
}

std::size_t CLineLayout::HitTest(const SRow& row, float x, bool nearest) const {
    CAdvance advance(*this);
    float at = 0;
    for (std::size_t p = row.start; p < row.end; ++p) {
        const float w = advance(p, at);
        if (x < at + (nearest ? w / 2 : w)) {
            return p;
        }
        at += w;
    }
    return row.end;
}

float CLineLayout::XOf(const SRow& row, std::size_t position) const {
    CAdvance advance(*this);
    float at = 0;
    for (std::size_t p = row.start; p < std::min(position, row.end); ++p) {
        at += advance(p, at);
    }
    return at;
}

CLineLayout::SChunk CLineLayout::WrapChunk(std::size_t line, std::size_t position,
                                           std::vector<SRow>& rows) const {
    rows.clear();
    const std::size_t ls = m_document.LineStart(line);
    const std::size_t le = m_document.LineEnd(line);
    // Chunks count from the line's real start, `lead` before the first line.
    const std::size_t lead = line == 0 ? m_lead : 0;
    const std::size_t lastChunk = le > ls ? (le - ls + lead - 1) / m_chunk : 0;
    const std::size_t k = std::min((std::max(position, ls) - ls + lead) / m_chunk, lastChunk);
    const std::size_t cs = std::max(ls + k * m_chunk, ls + lead) - lead;
    const std::size_t ce = std::min(le, ls + (k + 1) * m_chunk - lead);
    const std::string_view text = m_document.Text();
    CAdvance advance(*this);

    std::size_t rowStart = cs;
    std::size_t wordBreak = 0;  // after the last space of this row, 0 for none
    float x = 0;
    const std::vector<std::size_t> forced =
        m_rowBreaks ? m_rowBreaks(cs, ce) : std::vector<std::size_t>{};
    auto nextForced = forced.begin();
    for (std::size_t p = cs; p < ce; ++p) {
        while (nextForced != forced.end() && *nextForced < p) {
            ++nextForced;
        }
        if (nextForced != forced.end() && *nextForced == p && p > rowStart) {
            rows.push_back(SRow{rowStart, p});
            rowStart = p;
            wordBreak = 0;
            x = 0;
        }
        float w = advance(p, x);
        while (x + w > m_width && p > rowStart) {
            const std::size_t next = wordBreak > rowStart ? wordBreak : p;
            rows.push_back(SRow{rowStart, next});
            rowStart = next;
            wordBreak = 0;
            // The bytes carried to the new row start it, and tabs among them
            // now stop elsewhere.
            x = 0;
            for (std::size_t q = rowStart; q < p; ++q) {
                x += advance(q, x);
            }
            w = advance(p, x);
        }
        x += w;
        if (text[p] == ' ') {
            wordBreak = p + 1;
        }
    }
    rows.push_back(SRow{rowStart, ce});
    return SChunk{line, cs, ce, ls, le};
}

bool CLineLayout::NextChunk(SChunk& chunk, std::vector<SRow>& rows) const {
    if (chunk.end < chunk.lineEnd) {
        chunk = WrapChunk(chunk.line, chunk.end, rows);
        return true;
    }
    if (chunk.line + 1 < m_document.LineCount()) {
        chunk = WrapChunk(chunk.line + 1, m_document.LineStart(chunk.line + 1), rows);
        return true;
    }
    return false;
}

bool CLineLayout::PreviousChunk(SChunk& chunk, std::vector<SRow>& rows) const {
    if (chunk.start > chunk.lineStart) {
        chunk = WrapChunk(chunk.line, chunk.start - 1, rows);
        return true;
    }
    if (chunk.line > 0) {
        chunk = WrapChunk(chunk.line - 1, m_document.LineEnd(chunk.line - 1), rows);
        return true;
    }
    return false;
}

std::vector<CLineLayout::SRow> CLineLayout::RowsFrom(std::size_t position,
                                                     std::size_t count) const {
    std::vector<SRow> out;
    if (count == 0) {
        return out;
    }
    position = std::min(position, m_document.Size());
    std::vector<SRow> rows;
    SChunk chunk = WrapChunk(m_document.LineOf(position), position, rows);
    const auto holding = std::upper_bound(rows.begin(), rows.end(), position,
                                          [](std::size_t p, const SRow& r) { return p < r.start; });
    auto i = static_cast<std::size_t>(holding - rows.begin()) - 1;
    while (true) {
        for (; i < rows.size() && out.size() < count; ++i) {
            out.push_back(rows[i]);
        }
        if (out.size() == count || !NextChunk(chunk, rows)) {
            return out;
        }
        i = 0;
    }
}

std::vector<CLineLayout::SRow> CLineLayout::LastRows(std::size_t count) const {
    std::vector<SRow> reversed;
    if (count == 0) {
        return reversed;
    }
    std::vector<SRow> rows;
    SChunk chunk = WrapChunk(m_document.LineCount() - 1, m_document.Size(), rows);
    while (true) {
        for (auto r = rows.rbegin(); r != rows.rend() && reversed.size() < count; ++r) {
            reversed.push_back(*r);
        }
        if (reversed.size() == count || !PreviousChunk(chunk, rows)) {
            return std::vector<SRow>(reversed.rbegin(), reversed.rend());
        }
    }
}

std::size_t CLineLayout::RowStartOf(std::size_t position) const {
    return RowsFrom(position, 1).front().start;
}

std::size_t CLineLayout::MoveRows(std::size_t position, int count) const {
    position = std::min(position, m_document.Size());
    std::vector<SRow> rows;
    SChunk chunk = WrapChunk(m_document.LineOf(position), position, rows);
    std::size_t i = 0;
    while (i + 1 < rows.size() && rows[i + 1].start <= position) {
        ++i;
    }
    for (; count < 0; ++count) {
        if (i > 0) {
            --i;
        } else if (PreviousChunk(chunk, rows)) {
            i = rows.size() - 1;
        } else {
            break;
        }
    }
    for (; count > 0; --count) {
        if (i + 1 < rows.size()) {
            ++i;
        } else if (NextChunk(chunk, rows)) {
            i = 0;
        } else {
            break;
        }
    }
    return rows[i].start;
}

}  // namespace quillpad
