#include "view/CLineIndex.h"

#include <algorithm>

#include "view/RenderRecordOf.h"

namespace quillpad {
namespace {

constexpr bool IsBreak(char c) {
    return c == '\n' || c == '\r';
}

// RuleAfter's answer for a record without a colour rule of its own.
constexpr std::int32_t kNoRuleYet = -2;

}  // namespace

// Counts what the renderer draws; keeps no text.
class CLineIndex::CCounter final : public ICountSurface {
  public:
    explicit CCounter(CLineIndex& index) : m_index(index) {}
    void AppendCounted(std::size_t length, std::span<const std::uint32_t> breaks) override {
        m_index.Append(length, breaks);
    }
    void DeleteLastCharOfCaretLine() override { m_index.DeleteLast(); }

  private:
    CLineIndex& m_index;
};

CLineIndex::CLineIndex(const CStyleScheme* scheme, bool showAllSources, SLineIndexSpacing spacing,
                       std::size_t firstRecord)
    : m_scheme(scheme),
      m_showAllSources(showAllSources),
      m_spacing(spacing),
      m_record(firstRecord) {
    m_spacing.pieceBytes = std::max<std::size_t>(m_spacing.pieceBytes, 1);
    m_renderer.SetScheme(scheme);
    m_points.push_back(SLineCheckpoint{});
    m_points.back().record = firstRecord;
    m_pointCount = 1;
}

bool CLineIndex::Build(const CDataStore& store, std::size_t byteBudget, std::size_t recordLimit) {
    CCounter counter(*this);
    // Nothing can change the scheme while a slice is counted.
    struct SHold {
        CStyledRenderer& renderer;
        explicit SHold(CStyledRenderer& r) : renderer(r) { renderer.HoldScheme(true); }
        ~SHold() { renderer.HoldScheme(false); }
        SHold(const SHold&) = delete;
        SHold& operator=(const SHold&) = delete;
    } hold(m_renderer);
    std::size_t spent = 0;
    const std::size_t end = std::min(store.RecordCount(), recordLimit);
    while (m_record < end && spent < byteBudget) {
        const auto record = store.Record(m_record);
        if (!record) {
            ++m_record;
            m_point = SRenderPoint{0, m_point.currentRule};
            continue;
        }
        const SDataRecord r = RenderRecordOf(*record, static_cast<std::uint32_t>(m_record));
        const std::size_t from = m_point.offset;
        const bool done =
            m_renderer.CountPart(counter, r, m_showAllSources, m_point, m_spacing.pieceBytes);
        spent += (done ? r.bytes.size() : m_point.offset) - from;
        if (done) {
            ++m_record;
        }
        MaybeCheckpoint();
    }
    m_bytes += spent;
    Settle();
    return Complete(store);
}

void CLineIndex::Append(std::size_t length, std::span<const std::uint32_t> breaks) {
    m_appended += length;
    std::uint64_t from = 0;
    for (const std::uint32_t at : breaks) {
        m_depth += at - from;
        EndLine();
        from = at + std::uint64_t{1};
    }
    m_depth += length - from;
}

void CLineIndex::DeleteLast() {
    // Breaks are never deleted, so only the open line can lose characters.
    if (m_depth > 0) {
        --m_depth;
        m_least = std::min(m_least, m_depth);
    }
}

void CLineIndex::EndLine() {
    Settle();
    m_lineStart += m_depth + 1;
    m_depth = 0;
    m_least = 0;
    ++m_line;
    m_firstOpen = m_pointCount;
}

void CLineIndex::Settle() {
    if (m_firstOpen >= m_pointCount) {
        return;
    }
    // What survives of a line's start is the least it held at any time
    // after: from the newest checkpoint back, the least since each.
    std::uint64_t least = m_least;
    for (std::size_t j = m_pointCount - 1;; --j) {
        SLineCheckpoint& point = m_points[j];
        point.survivors = std::min(point.depth, least);
        if (j == m_firstOpen) {
            break;
        }
        least = std::min(least, m_points[j - 1].leastAfter);
    }
}

void CLineIndex::MaybeCheckpoint() {
    const SLineCheckpoint& last = m_points.back();
    if (m_line - last.line < m_spacing.lines && m_appended - m_appendedAtLast < m_spacing.chars) {
        return;
    }
    if (m_firstOpen < m_pointCount) {
        m_points.back().leastAfter = m_least;
    }
    m_least = m_depth;
    m_appendedAtLast = m_appended;
    m_points.push_back(
        SLineCheckpoint{m_record, m_point, m_line, m_lineStart, m_depth, m_depth, m_depth});
    ++m_pointCount;
}

SWindowPlace CLineIndex::RenderLines(const CDataStore& store, std::uint64_t first,
                                     std::uint64_t last, CDisplayDocument& out) const {
    // A checkpoint before the line, or on it with none of the line before it
    // surviving; then the first past the last line.
    const auto from =
        std::partition_point(m_points.begin(), m_points.end(), [first](const SLineCheckpoint& p) {
            return p.line < first || (p.line == first && p.survivors == 0);
        });
    const auto to =
        std::partition_point(m_points.begin(), m_points.end(),
                             [last](const SLineCheckpoint& p) { return p.line < last; });
    const auto a = static_cast<std::size_t>(from - m_points.begin()) - 1;
    return RenderBetween(store, a, std::max(static_cast<std::size_t>(to - m_points.begin()), a + 1),
                         out);
}

SWindowPlace CLineIndex::RenderRange(const CDataStore& store, std::uint64_t from, std::uint64_t to,
                                     CDisplayDocument& out) const {
    const auto begin =
        std::partition_point(m_points.begin(), m_points.end(),
                             [from](const SLineCheckpoint& p) { return p.Position() <= from; });
    const auto end =
        std::partition_point(m_points.begin(), m_points.end(),
                             [to](const SLineCheckpoint& p) { return p.Position() < to; });
    const auto a = static_cast<std::size_t>(begin - m_points.begin()) - 1;
    return RenderBetween(store, a,
                         std::max(static_cast<std::size_t>(end - m_points.begin()), a + 1), out);
}

SWindowPlace CLineIndex::RenderBetween(const CDataStore& store, std::size_t from, std::size_t to,
                                       CDisplayDocument& out) const {
    out.Clear(true);
    out.SetGeneration(store.Generation());
    const SLineCheckpoint& start = m_points[from];
    const bool toEnd = to >= m_points.size();
    const std::size_t endRecord = toEnd ? m_record : m_points[to].record;
    const std::size_t endOffset = toEnd ? m_point.offset : m_points[to].point.offset;
    CStyledRenderer renderer;
    renderer.SetScheme(m_scheme);
    SRenderPoint point = start.point;
    renderer.BeginAt(out, point);
    for (std::size_t i = start.record;
         i < endRecord || (i == endRecord && point.offset < endOffset);) {
        const auto record = store.Record(i);
        if (!record) {
            ++i;
            point = SRenderPoint{0, point.currentRule};
            continue;
        }
        const std::size_t stopAfter = i == endRecord ? endOffset - point.offset : kUnlimited;
        if (renderer.RenderPart(out, RenderRecordOf(*record, static_cast<std::uint32_t>(i)),
                                m_showAllSources, point, stopAfter)) {
            ++i;
        } else if (i != endRecord || point.offset != endOffset) {
            break;  // not where indexing stopped: cannot happen for one scheme
        }
    }
    if (!toEnd) {
        // The end of the last line may still lose characters to backspaces
        // after the checkpoint: keep the ones its line keeps.
        const SLineCheckpoint& end = m_points[to];
        const bool broken = out.LineCount() > 1;
        std::uint64_t have = broken ? out.Size() - out.LineStart(out.LineCount() - 1) : out.Size();
        const std::uint64_t keep = broken ? end.survivors : end.survivors - start.survivors;
        for (; have > keep; --have) {
            out.DeleteLastCharOfCaretLine();
        }
    }
    return SWindowPlace{start.Position(), start.line, start.lineStart, start.record,
                        start.point.offset};
}

void RenderRecords(const CDataStore& store, const CStyleScheme* scheme, bool showAllSources,
                   std::size_t firstRecord, std::size_t from, std::size_t to,
                   CDisplayDocument& out) {
    out.Clear(true);
    out.SetGeneration(store.Generation());
    // The colour rule in force where rendering starts: the last one any
    // earlier record met.
    std::int32_t rule = -1;
    const bool colours = scheme != nullptr &&
                         std::any_of(scheme->RulePointers().begin(), scheme->RulePointers().end(),
                                     [](const SStyleRule* r) { return r->Format_ApplyColor; });
    for (std::size_t i = from; colours && i > firstRecord; --i) {
        if (const auto record = store.Record(i - 1)) {
            const std::int32_t r =
                CStyledRenderer::RuleAfter(scheme, *record, showAllSources, kNoRuleYet);
            if (r != kNoRuleYet) {
                rule = r;
                break;
            }
        }
    }
    CStyledRenderer renderer;
    renderer.SetScheme(scheme);
    SRenderPoint point{0, rule};
    renderer.BeginAt(out, point);
    for (std::size_t i = from; i < to; ++i) {
        if (const auto record = store.Record(i)) {
            renderer.RenderPart(out, RenderRecordOf(*record, static_cast<std::uint32_t>(i)),
                                showAllSources, point, CLineIndex::kUnlimited);
        }
    }
}

std::size_t RenderLastLines(const CDataStore& store, const CStyleScheme* scheme,
                            bool showAllSources, std::size_t lines, CDisplayDocument& out,
                            std::size_t byteBudget, std::size_t firstRecord, std::size_t endRecord,
                            std::size_t* firstDrawn) {
    out.Clear(true);
    out.SetGeneration(store.Generation());
    const std::size_t count = std::min(store.RecordCount(), endRecord);
    if (firstDrawn != nullptr) {
        *firstDrawn = std::max(count, firstRecord);
    }
    if (count <= firstRecord || lines == 0) {
        return out.LineCount();
    }
    std::size_t first = count;
    std::size_t bytes = 0;
    std::size_t breaks = 0;
    // Breaks wanted in the raw bytes; doubled while the scheme hides them.
    std::size_t wanted = lines + 1;
    for (;;) {
        while (first > firstRecord && breaks < wanted && bytes < byteBudget) {
            --first;
            if (const auto record = store.Record(first)) {
                bytes += record->bytes.size();
                breaks += static_cast<std::size_t>(
                    std::count_if(record->bytes.begin(), record->bytes.end(), IsBreak));
            }
        }
        RenderRecords(store, scheme, showAllSources, firstRecord, first, count, out);
        if (first == firstRecord || bytes >= byteBudget || out.LineCount() > lines) {
            if (firstDrawn != nullptr) {
                *firstDrawn = first;
            }
            return out.LineCount();
        }
        wanted *= 2;
    }
}

}  // namespace quillpad
