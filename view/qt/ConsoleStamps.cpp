// The console view's time stamps: the column beside the rows, the rows a
// burst starts in text without lines, and copies with stamps.

#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

// Copy draws a selection in pieces of this many characters.
constexpr std::size_t kStampedCopyPiece = std::size_t{1} << 20;
// How far back the tail's first line is looked for: as far as the tail draws.
constexpr std::size_t kTailLeadBytes = std::size_t{1} << 20;
// How far back a burst's start is looked for.
constexpr std::size_t kBurstLeadChars = std::size_t{1} << 24;

}  // namespace

SStampRequest CConsoleView::StampRequest() const {
    SStampRequest request;
    request.mode = m_settings.stampMode;
    request.base = STimeBase{m_store.StartTime(), m_store.StartTick()};
    request.gaps = m_gapStamps;
    request.gapMs = m_settings.stampGapMs;
    return request;
}

void CConsoleView::ApplyStampStyle() {
    const bool shown = m_settings.stampMode != EStampMode::Off;
    m_gutter.SetShown(shown);
    m_gutter.SetStyle(m_scheme.get(), m_defaultFont, m_background);
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
    m_window.SetWidth(TextWidth());
    m_tailLayout.SetWidth(TextWidth());
    m_layoutDirty = true;
}

void CConsoleView::StampsChanged() {
    ApplyStampStyle();
    FlushRepaint();
}

std::vector<std::string> CConsoleView::RowStampsInSight() {
    Layout();
    if (m_settings.stampMode == EStampMode::Off || m_rows.empty()) {
        return std::vector<std::string>(m_rows.size());
    }
    std::vector<CLineLayout::SRow> local;
    local.reserve(m_rows.size());
    for (const CLineLayout::SRow& row : m_rows) {
        local.push_back(LocalRow(row));
    }
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

std::optional<std::uint32_t> CConsoleView::BurstTickBefore(
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

QString CConsoleView::StampedSelectedText() const {
    const auto size = static_cast<std::size_t>(m_index->TextSize());
    const std::size_t start = std::min(SelectionStart(), size);
    const std::size_t end = std::min(SelectionEnd(), size);
    const SStampRequest request = StampRequest();
    CLineStamper stamper(request.mode, request.base);
    QString out;
    out.reserve(static_cast<qsizetype>(end - start));
    CDisplayDocument piece;
    bool first = true;
    for (std::size_t from = start; from < end;) {
        const std::size_t to = std::min(end, from + kStampedCopyPiece);
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
                if (stamped && !out.isEmpty() && out.back() != QChar('\n')) {
                    out.append(QChar('\n'));
                }
            } else {
                stamped = lineStart;
            }
            if (stamped) {
                if (const auto tick = TickAt(piece, q, m_store)) {
                    out.append(QString::fromStdString(stamper.Next(*tick)));
                }
            }
            const auto b = static_cast<std::uint8_t>(piece.Text()[q]);
            out.append(b == '\r' ? QChar('\n') : QChar(b));
        }
        from = to;
    }
    return out;
}

}  // namespace quillpad
