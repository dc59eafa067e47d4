// The console model's text: hit tests, the selection and what a copy takes,
// the hover window's text, the find marks of the rows in sight and the
// stamps of the rows and of a copy.

#include <algorithm>

#include "view/CConsoleModel.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

constexpr bool IsWordByte(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b >= 0xC0;
}

// A copy draws a selection in pieces of this many characters.
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;
// How far back the tail's first line is looked for: as far as the tail draws.
constexpr std::size_t kTailLeadBytes = std::size_t{1} << 20;
// How far back a burst's start is looked for.
constexpr std::size_t kBurstLeadChars = std::size_t{1} << 24;

void AppendShown(std::string& out, std::string_view text) {
    for (const char c : text) {
        out.push_back(c == '\r' ? '\n' : c);
    }
}

}  // namespace

// ---- hit testing and selection

std::size_t CConsoleModel::HitTest(std::size_t row, float x, bool nearest) {
    // In the positions of what is shown: the tail's own while it is.
    Layout();
    if (m_rows.empty()) {
        return 0;
    }
    row = std::min(row, m_rows.size() - 1);
    return ShownStart() + ShownLayout().HitTest(LocalRow(m_rows[row]), x, nearest);
}

std::pair<std::size_t, float> CConsoleModel::CaretPlace() {
    const std::size_t size = ShownTextSize();
    if (m_rows.empty()) {
        return {0, 0.0F};
    }
    // Typing goes to the end whatever is selected: the caret line is there.
    const std::size_t caret = size;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const SRow& row = m_rows[i];
        const bool last = i + 1 == m_rows.size();
        // A caret at a row's end belongs to it unless the next row starts there.
        if (caret >= row.start &&
            (caret < row.end || (caret == row.end && (last || m_rows[i + 1].start > row.end)))) {
            return {i, ShownLayout().XOf(LocalRow(row), caret - ShownStart())};
        }
    }
    return {m_rows.size() - 1, 0.0F};
}

void CConsoleModel::SetSelection(std::size_t anchor, std::size_t caret) {
    if (m_building && IndexValid()) {
        // Positions of the whole text: after what waits, once it is indexed.
        m_pendingSelection.emplace(anchor, caret);
        m_pendingCopy = false;
        m_host.WantTurns(true);
        return;
    }
    const std::size_t size = TextSize();
    m_tailSelection = false;
    m_anchor = std::min(anchor, size);
    m_caret = std::min(caret, size);
    m_host.Redraw();
}

void CConsoleModel::SelectShown(std::size_t anchor, std::size_t caret) {
    DropPending();  // the user's own selection
    const std::size_t size = ShownTextSize();
    if (m_tailSelection != (m_building && m_showingTail)) {
        anchor = caret;  // the anchor was in the other text
    }
    m_tailSelection = m_building && m_showingTail;
    m_anchor = std::min(anchor, size);
    m_caret = std::min(caret, size);
    m_host.Redraw();
}

void CConsoleModel::SelectWordAt(std::size_t position) {
    if (position >= ShownTextSize()) {
        return;
    }
    SelectShown(WordStart(position), std::max(WordEnd(position), position + 1));
}

void CConsoleModel::SelectAll() {
    WhenIndexed([this] { SetSelection(0, TextSize()); });
}

std::pair<std::size_t, std::size_t> CConsoleModel::ShownSelection() const {
    if (m_tailSelection != m_showingTail || SelectionStart() >= SelectionEnd()) {
        return {0, 0};
    }
    const std::size_t start = ShownStart();
    const std::size_t end = start + ShownDocument().Size();
    if (SelectionEnd() <= start || SelectionStart() >= end) {
        return {0, 0};
    }
    return {std::max(SelectionStart(), start) - start, std::min(SelectionEnd(), end) - start};
}

std::string CConsoleModel::SelectedText() const {
    if (!IndexValid()) {
        return {};
    }
    std::string out;
    if (m_tailSelection) {
        const std::string_view tail = m_tail.Text();
        const std::size_t start = std::min(SelectionStart(), tail.size());
        AppendShown(out, tail.substr(start, std::min(SelectionEnd(), tail.size()) - start));
        return out;
    }
    if (m_settings.stampMode != EStampMode::Off) {
        return StampedSelectedText();
    }
    const auto size = static_cast<std::size_t>(m_index->TextSize());
    const std::size_t start = std::min(SelectionStart(), size);
    const std::size_t end = std::min(SelectionEnd(), size);
    out.reserve(end - start);
    // A piece at a time: a long selection never needs the whole text drawn.
    CDisplayDocument piece;
    for (std::size_t from = start; from < end;) {
        const std::size_t to = std::min(end, from + kCopyPiece);
        const std::size_t at = m_window.DrawRange(from, to, piece);
        AppendShown(out, piece.Text().substr(from - at, to - from));
        from = to;
    }
    return out;
}

std::string CConsoleModel::DescribeCharacter(std::size_t character) {
    // `character` counts in what is shown, as HitTest gives it.
    Layout();
    if (!IndexValid()) {
        return {};
    }
    if (m_showingTail) {
        const auto recordAt = [this](std::size_t p) -> std::optional<SRecordRef> {
            if (p >= m_tail.Size()) {
                return std::nullopt;
            }
            return m_tail.RecordAt(p);
        };
        const bool own = m_tailSelection;
        return DescribeDisplayed(recordAt, m_tail.Size(), m_store, own ? SelectionStart() : 0,
                                 own ? SelectionEnd() : 0, character, m_settings.textInfo);
    }
    // The character is usually in the window drawn now; the ends of a
    // selection may lie far from it and are drawn on their own.
    CDisplayDocument piece;
    const auto recordAt = [this, &piece](std::size_t p) -> std::optional<SRecordRef> {
        if (m_window.Holds(p, p + 1)) {
            return m_window.Document().RecordAt(p - m_window.Start());
        }
        const std::size_t at = m_window.DrawRange(p, p + 1, piece);
        if (p < at || p - at >= piece.Size()) {
            return std::nullopt;
        }
        return piece.RecordAt(p - at);
    };
    return DescribeDisplayed(recordAt, m_window.TextSize(), m_store, SelectionStart(),
                             SelectionEnd(), character, m_settings.textInfo);
}

std::size_t CConsoleModel::WordStart(std::size_t position) const {
    // Words are looked for in the drawn window, which holds the rows in sight.
    const std::size_t start = ShownStart();
    const std::string_view text = ShownDocument().Text();
    while (position > start && IsWordByte(static_cast<std::uint8_t>(text[position - 1 - start]))) {
        --position;
    }
    return position;
}

std::size_t CConsoleModel::WordEnd(std::size_t position) const {
    const std::size_t start = ShownStart();
    const std::string_view text = ShownDocument().Text();
    while (position >= start && position - start < text.size() &&
           IsWordByte(static_cast<std::uint8_t>(text[position - start]))) {
        ++position;
    }
    return position;
}

// ---- find marks

std::vector<STextRange> CConsoleModel::MarksInSight() {
    Layout();
    std::vector<STextRange> marks = ShownMarks(LocalRows());
    for (STextRange& mark : marks) {
        mark.start += ShownStart();
        mark.end += ShownStart();
    }
    return marks;
}

std::vector<STextRange> CConsoleModel::ShownMarks(std::span<const SRow> local) const {
    std::vector<STextRange> out;
    const CDisplayDocument& document = ShownDocument();
    if (m_findMarks == nullptr || local.empty() || local.back().end <= local.front().start) {
        return out;
    }
    const auto first = document.SequenceAt(local.front().start);
    const auto last = document.SequenceAt(local.back().end - 1);
    if (!first || !last || *last < *first) {
        return out;
    }
    // The window may be drawn from a checkpoint inside a record (a long line,
    // or a record of many lines): that record's text in it is what its bytes
    // from there draw.
    std::size_t begun = static_cast<std::size_t>(-1);
    std::size_t begunAt = 0;
    if (!m_showingTail && m_window.Place().offset > 0) {
        begun = m_window.Place().record;
        begunAt = m_window.Place().offset;
    }
    const std::vector<SByteMark> marks = m_findMarks->MarksIn(*first, *last);
    std::vector<std::size_t> edges;
    for (std::size_t i = 0; i < marks.size();) {
        // The marks of one record, mapped in one pass over its bytes.
        const std::size_t record = marks[i].record;
        const std::size_t from0 = record == begun ? begunAt : 0;
        std::size_t j = i;
        edges.assign(1, from0);
        for (; j < marks.size() && marks[j].record == record; ++j) {
            edges.push_back(std::max<std::size_t>(marks[j].begin, from0));
            edges.push_back(std::max<std::size_t>({marks[j].begin, marks[j].end, from0}));
        }
        const std::size_t start = document.FirstPositionOf(record);
        const auto drawn = start < document.Size() ? document.SequenceAt(start) : std::nullopt;
        const auto bytes = m_store.Record(record);
        if (!bytes || !drawn || *drawn != record) {
            i = j;
            continue;  // drawn as nothing
        }
        const std::size_t room = document.FirstPositionOf(record + 1) - start;
        // What the style makes of the bytes before each edge (CR LF may be
        // one line break, a byte "[0Dh]"), counted from the first one drawn.
        const std::vector<std::size_t> lengths =
            CStyledRenderer::DrawnLengths(m_drawScheme.get(), *bytes, edges);
        const std::size_t lead = lengths[0];
        for (std::size_t k = 1; k + 1 < lengths.size(); k += 2) {
            const std::size_t from =
                start + std::min(lengths[k] - std::min(lengths[k], lead), room);
            const std::size_t to =
                start + std::min(lengths[k + 1] - std::min(lengths[k + 1], lead), room);
            if (from >= to) {
                continue;  // hidden bytes
            }
            if (!out.empty() && out.back().end >= from) {
                out.back().end = std::max(out.back().end, to);
            } else {
                out.push_back(STextRange{from, to});
            }
        }
        i = j;
    }
    m_store.TrimWindows();
    return out;
}

// ---- stamps

SStampRequest CConsoleModel::StampRequest() const {
    SStampRequest request;
    request.mode = m_settings.stampMode;
    request.base = STimeBase{m_store.StartTime(), m_store.StartTick()};
    request.gaps = m_gapStamps;
    request.gapMs = m_settings.stampGapMs;
    return request;
}

void CConsoleModel::ApplyStampStyle() {
    const bool shown = m_settings.stampMode != EStampMode::Off;
    m_styleGaps = quillpad::UsesGapStamps(m_drawScheme.get());
    m_tailLead.reset();  // what it holds depends on the form
    const bool gaps = shown && m_styleGaps;
    if (gaps != m_gapStamps || gaps) {
        m_gapStamps = gaps;
        CLineLayout::RowBreaks breaks;
        CLineLayout::RowBreaks tailBreaks;
        if (gaps) {
            breaks = [this](std::size_t from, std::size_t to) {
                return GapStarts(m_window.Document(), from, to, m_store, m_settings.stampGapMs);
            };
            tailBreaks = [this](std::size_t from, std::size_t to) {
                return GapStarts(m_tail, from, to, m_store, m_settings.stampGapMs);
            };
        }
        m_window.SetRowBreaks(std::move(breaks));
        m_tailLayout.SetRowBreaks(std::move(tailBreaks));
        m_tailRecords = static_cast<std::size_t>(-1);
    }
    SetWidth(m_host.TextWidth());
}

std::vector<std::string> CConsoleModel::RowStampsInSight() {
    Layout();
    if (m_settings.stampMode == EStampMode::Off || m_rows.empty()) {
        return std::vector<std::string>(m_rows.size());
    }
    const std::vector<SRow> local = LocalRows();
    const SStampRequest request = StampRequest();
    SStampLead lead;
    if (m_showingTail) {
        // The tail is drawn from a record on, before the index reaches it:
        // what lies before is found from the records before it.
        if (!m_tailLead) {
            ELeadSearch search = ELeadSearch::LastCharacter;
            if (request.mode == EStampMode::SincePrevious) {
                search = request.gaps ? ELeadSearch::BurstStart : ELeadSearch::LineStart;
            }
            m_tailLead = LeadOfRecord(m_store, m_drawScheme.get(), m_settings.showAllSources,
                                      m_index->FirstRecord(), m_tailFirstRecord, search,
                                      kTailLeadBytes, request.gapMs);
        }
        lead = *m_tailLead;
    } else {
        lead.firstLineWhole = m_window.FirstLineWhole();
        lead.atTextStart = m_window.Start() == 0;
        if (request.gaps && !lead.atTextStart) {
            lead.tickBefore = TickBefore(*m_index, m_store, m_window.Start());
        }
    }
    const std::size_t start = ShownStart();
    return RowStamps(
        request, ShownDocument(), lead, local, m_store,
        [this, start, &lead, &request](std::size_t lineStart) -> std::optional<std::uint32_t> {
            if (m_showingTail) {
                return request.gaps ? lead.burstTick : lead.lineTick;
            }
            if (!IndexValid()) {
                return std::nullopt;
            }
            if (request.gaps) {
                return BurstTickBefore(start + lineStart, lead.tickBefore);
            }
            return PreviousLineTick(*m_index, m_store, start + lineStart);
        });
}

std::optional<std::uint32_t> CConsoleModel::BurstTickBefore(
    std::size_t position, std::optional<std::uint32_t> tickBefore) const {
    // Every paint of rows below a long burst asks for the same start: it is
    // looked for once. The tick before `position` is part of the key, as
    // backspaces may take back the text before it.
    const SBurstLead key{m_indexSerial, position, m_settings.stampGapMs, tickBefore, std::nullopt};
    if (m_burstLead && m_burstLead->serial == key.serial && m_burstLead->position == key.position &&
        m_burstLead->gapMs == key.gapMs && m_burstLead->tickBefore == key.tickBefore) {
        return m_burstLead->burstTick;
    }
    SBurstLead found = key;
    found.burstTick =
        PreviousBurstTick(*m_index, m_store, position, m_settings.stampGapMs, kBurstLeadChars);
    m_burstLead = found;
    return found.burstTick;
}

std::string CConsoleModel::StampedSelectedText() const {
    const auto size = static_cast<std::size_t>(m_index->TextSize());
    const std::size_t start = std::min(SelectionStart(), size);
    const std::size_t end = std::min(SelectionEnd(), size);
    const SStampRequest request = StampRequest();
    CLineStamper stamper(request.mode, request.base);
    std::string out;
    out.reserve(end - start);
    CDisplayDocument piece;
    bool first = true;
    for (std::size_t from = start; from < end;) {
        const std::size_t to = std::min(end, from + kCopyPiece);
        // From one character before, so a burst or a line starting the
        // piece is told by the character before it.
        const std::size_t at = m_window.DrawRange(from > 0 ? from - 1 : 0, to, piece);
        if (first && from > 0 && request.gaps) {
            // Since the first record of the burst the selection starts in
            // (or the one before, when it starts a burst), as the column.
            stamper.SetPrevious(BurstTickBefore(from, TickAt(piece, from - 1 - at, m_store)));
        } else if (first && from > at) {
            // The line the selection starts in, as the column stamps it.
            const std::size_t line = piece.LineOf(from - at);
            const std::size_t lineStart = at + piece.LineStart(line);
            if (lineStart < from && line > 0) {
                stamper.SetPrevious(TickAt(piece, piece.LineStart(line), m_store));
            } else {
                stamper.SetPrevious(PreviousLineTick(*m_index, m_store, from));
            }
        } else if (first && from > 0) {
            stamper.SetPrevious(PreviousLineTick(*m_index, m_store, from));
        }
        first = false;
        const bool pieceWhole = at == 0;
        for (std::size_t p = from; p < to; ++p) {
            const std::size_t q = p - at;
            const bool lineStart = q > 0 ? StartsLine(piece, q, true) : (pieceWhole || p == 0);
            bool stamped = false;
            if (request.gaps) {
                const auto tick = TickAt(piece, q, m_store);
                const auto before = q > 0 ? TickAt(piece, q - 1, m_store) : std::nullopt;
                stamped = tick && (p == 0 || (before && IsGap(*before, *tick, request.gapMs)));
                // A burst starts a line of its own, as its row does on
                // screen; text that already broke its line needs no break.
                if (stamped && !out.empty() && out.back() != '\n') {
                    out.push_back('\n');
                }
            } else {
                stamped = lineStart;
            }
            if (stamped) {
                if (const auto tick = TickAt(piece, q, m_store)) {
                    out += stamper.Next(*tick);
                }
            }
            const char c = piece.Text()[q];
            out.push_back(c == '\r' ? '\n' : c);
        }
        from = to;
    }
    return out;
}

}  // namespace quillpad
