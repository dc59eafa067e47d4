#include "view/StampColumn.h"

#include <algorithm>

#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::uint32_t> TickAt(const CDisplayDocument& document, std::size_t position,
                                    const CDataStore& store) {
    const std::optional<SRecordRef> ref = document.RecordAt(position);
    if (!ref) {
        return std::nullopt;
    }
    const std::optional<SDataRecord> record = store.Find(*ref);
    if (!record) {
        return std::nullopt;
    }
    return record->tick;
}

std::optional<std::uint32_t> PreviousLineTick(const CLineIndex& index, const CDataStore& store,
                                              std::size_t lineStart) {
    if (lineStart == 0) {
        return std::nullopt;
    }
    // The previous line's break lies just before; the checkpoint it is drawn
    // from tells where that line starts even when it starts long before.
    CDisplayDocument piece;
    SWindowPlace place = index.RenderRange(store, lineStart - 1, lineStart, piece);
    const std::size_t local = lineStart - 1 - static_cast<std::size_t>(place.start);
    const std::size_t line = piece.LineOf(local);
    const std::size_t start = line == 0
                                  ? static_cast<std::size_t>(place.firstLineStart)
                                  : static_cast<std::size_t>(place.start) + piece.LineStart(line);
    if (start < place.start) {
        place = index.RenderRange(store, start, start + 1, piece);
    }
    return TickAt(piece, start - static_cast<std::size_t>(place.start), store);
}

bool StartsLine(const CDisplayDocument& document, std::size_t position, bool firstLineWhole) {
    if (position == 0) {
        return firstLineWhole;
    }
    return position <= document.Size() && IsBreak(document.Text()[position - 1]);
}

SStampLead LeadOfRecord(const CDataStore& store, const CStyleScheme* scheme, bool showAllSources,
                        std::size_t firstRecord, std::size_t record, ELeadSearch search,
                        std::size_t byteBudget, std::uint32_t gapMs) {
    SStampLead lead;
    CDisplayDocument before;
    std::size_t from = record;
    std::size_t bytes = 0;
    // Drawn again from further back, twice as far each time, until the
    // line or burst before is found: mostly a record or two.
    for (std::size_t want = 256;; want *= 2) {
        while (from > firstRecord && bytes < want) {
            --from;
            if (const auto r = store.Record(from)) {
                bytes += r->bytes.size();
            }
        }
        RenderRecords(store, scheme, showAllSources, firstRecord, from, record, before);
        const bool exhausted = from == firstRecord;
        const bool spent = bytes >= byteBudget;
        if (before.Size() > 0) {
            const std::size_t last = before.Size() - 1;
            lead.atTextStart = false;
            lead.firstLineWhole = IsBreak(before.Text()[last]);
            lead.tickBefore = TickAt(before, last, store);
            if (search == ELeadSearch::LastCharacter) {
                return lead;
            }
            if (search == ELeadSearch::LineStart) {
                const std::size_t line = before.LineOf(last);
                if (line > 0 || exhausted) {
                    lead.lineTick = TickAt(before, before.LineStart(line), store);
                    return lead;
                }
            } else {
                // The first record drawn starts no burst of its own unless
                // the drawing starts at the text's start: a gap there may
                // lie before it.
                const std::vector<std::size_t> gaps =
                    GapStarts(before, 0, before.Size(), store, gapMs);
                if (!gaps.empty() || exhausted) {
                    lead.burstTick = TickAt(before, gaps.empty() ? 0 : gaps.back(), store);
                    return lead;
                }
            }
        }
        if (exhausted) {
            return lead;
        }
        if (spent) {
            // Too far back to tell: what is not known is not stamped.
            lead.atTextStart = false;
            lead.firstLineWhole = before.Size() > 0 && lead.firstLineWhole;
            lead.lineTick.reset();
            lead.burstTick.reset();
            return lead;
        }
    }
}

std::optional<std::uint32_t> TickBefore(const CLineIndex& index, const CDataStore& store,
                                        std::size_t position) {
    if (position == 0) {
        return std::nullopt;
    }
    CDisplayDocument piece;
    const SWindowPlace place = index.RenderRange(store, position - 1, position, piece);
    return TickAt(piece, position - 1 - static_cast<std::size_t>(place.start), store);
}

std::optional<std::uint32_t> PreviousBurstTick(const CLineIndex& index, const CDataStore& store,
                                               std::size_t position, std::uint32_t gapMs,
                                               std::size_t charBudget) {
    if (position == 0) {
        return std::nullopt;
    }
    // Drawn back from `position` in pieces twice as long each time, until a
    // piece holds the start of the burst: the last gap before `position`,
    // or the text's start. Each piece reaches one character into the one
    // after it, so a gap where two pieces meet is seen.
    CDisplayDocument piece;
    std::size_t to = position;
    std::size_t span = 4096;
    for (;;) {
        const std::size_t from = to > span ? to - span : 0;
        const SWindowPlace place = index.RenderRange(store, from, to, piece);
        const auto start = static_cast<std::size_t>(place.start);
        const std::size_t end = std::min(to - start, piece.Size());
        const std::vector<std::size_t> gaps = GapStarts(piece, 0, end, store, gapMs);
        if (!gaps.empty()) {
            return TickAt(piece, gaps.back(), store);
        }
        if (start == 0) {
            return TickAt(piece, 0, store);
        }
        if (position - start >= charBudget) {
            return std::nullopt;
        }
        to = start + 1;
        span *= 2;
    }
}

std::vector<std::string> RowStamps(
    const SStampRequest& request, const CDisplayDocument& document, const SStampLead& lead,
    std::span<const CLineLayout::SRow> rows, const CDataStore& store,
    const std::function<std::optional<std::uint32_t>(std::size_t)>& previousTickOf) {
    std::vector<std::string> stamps(rows.size());
    if (request.mode == EStampMode::Off) {
        return stamps;
    }
    std::optional<std::uint32_t> previous;
    bool previousKnown = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t start = rows[i].start;
        bool stamped = false;
        if (request.gaps) {
            // A row starts a burst when the layout broke it at a gap (or it
            // starts the text); the stamp is the burst's first record's.
            const std::optional<std::uint32_t> before =
                start > 0 ? TickAt(document, start - 1, store) : lead.tickBefore;
            const std::optional<std::uint32_t> tick = TickAt(document, start, store);
            stamped = tick && ((start == 0 && lead.atTextStart) ||
                               (before && IsGap(*before, *tick, request.gapMs)));
            if (stamped && !previousKnown && start > 0) {
                // Since the previous burst's first record, wherever it lies.
                const std::vector<std::size_t> gaps =
                    GapStarts(document, 0, start, store, request.gapMs);
                const std::optional<std::uint32_t> first = TickAt(document, 0, store);
                if (!gaps.empty()) {
                    previous = TickAt(document, gaps.back(), store);
                } else if (lead.atTextStart || (first && lead.tickBefore &&
                                                IsGap(*lead.tickBefore, *first, request.gapMs))) {
                    previous = first;
                } else {
                    previous = previousTickOf(0);
                }
            } else if (stamped && !previousKnown && !lead.atTextStart) {
                previous = previousTickOf(0);
            }
        } else {
            stamped = StartsLine(document, start, lead.firstLineWhole);
            if (stamped && !previousKnown && request.mode == EStampMode::SincePrevious) {
                const std::size_t line = document.LineOf(start);
                if (line > 1 || (line == 1 && lead.firstLineWhole)) {
                    previous = TickAt(document, document.LineStart(line - 1), store);
                } else {
                    previous = previousTickOf(start);
                }
            }
        }
        if (!stamped) {
            continue;
        }
        const std::optional<std::uint32_t> tick = TickAt(document, start, store);
        if (!tick) {
            continue;
        }
        stamps[i] = StampOf(request.mode, *tick, previous, request.base);
        previous = tick;
        previousKnown = true;
    }
    return stamps;
}

std::vector<std::size_t> GapStarts(const CDisplayDocument& document, std::size_t from,
                                   std::size_t to, const CDataStore& store, std::uint32_t gapMs) {
    std::vector<std::size_t> out;
    to = std::min(to, document.Size());
    // Every place the record changes, from the first at or after `from`.
    for (std::size_t p = document.NextRecordStart(from > 0 ? from - 1 : 0); p < to;
         p = document.NextRecordStart(p)) {
        const std::optional<std::uint32_t> before = TickAt(document, p - 1, store);
        const std::optional<std::uint32_t> tick = TickAt(document, p, store);
        if (before && tick && IsGap(*before, *tick, gapMs)) {
            out.push_back(p);
        }
    }
    return out;
}

bool UsesGapStamps(const CStyleScheme* scheme) {
    return (scheme != nullptr && scheme->Name == "Hex Mode") || !DrawsLineEnds(scheme);
}

bool DrawsLineEnds(const CStyleScheme* scheme) {
    SDataRecord probe;
    probe.direction = kDirectionIncoming;
    probe.source = kSourceOwn;
    probe.bytes = "a\r\nb";
    probe.length = 4;
    const std::string text = CStyledRenderer::RenderToString(scheme, probe);
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace quillpad
