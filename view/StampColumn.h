#pragma once
// The stamps of display lines, found from the records their text came from:
// a line's stamp is made of the tick of the record of its first character
// (its break, for an empty line). Nothing of a stamp is part of the
// displayed text: the view draws it in a column of its own beside the rows,
// so switching stamps restyles nothing and hit tests never meet a stamp.
//
// A row that starts a line carries its line's stamp; a continuation row of
// a wrapped line, or a row that starts a chunk of a long line, carries none.
// With gap stamps (text without lines), a row that starts a burst carries
// the stamp of the burst's first record instead.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/DataStore.h"
#include "data/LineStamps.h"
#include "view/CDisplayDocument.h"
#include "view/CLineIndex.h"
#include "view/CLineLayout.h"

namespace quillpad {

// The tick of the record the character at `position` of `document` came
// from; none past the end, or for text the store no longer holds.
std::optional<std::uint32_t> TickAt(const CDisplayDocument& document, std::size_t position,
                                    const CDataStore& store);

// The tick of the first record of the line before the one that starts at
// `lineStart` of the indexed text (none for the first line).
std::optional<std::uint32_t> PreviousLineTick(const CLineIndex& index, const CDataStore& store,
                                              std::size_t lineStart);

// Whether the character at `position` of `document` starts a display line;
// `firstLineWhole` says whether the document's first line is a whole line of
// the text (rather than the end of a longer one).
bool StartsLine(const CDisplayDocument& document, std::size_t position, bool firstLineWhole);

// What lies before a document's first character in the whole text, as far
// as its first row's stamp needs to know.
struct SStampLead {
    // The document starts a line of the text, rather than inside one.
    bool firstLineWhole = true;
    // Nothing is drawn before the document.
    bool atTextStart = true;
    // The tick of the last character drawn before the document (none at the
    // text's start, or when not known).
    std::optional<std::uint32_t> tickBefore;
    // The tick of the first record of the line that holds that character.
    std::optional<std::uint32_t> lineTick;
    // With gap stamps: the tick of the first record of the burst that holds
    // that character, the stamp a burst starting the document measures from.
    std::optional<std::uint32_t> burstTick;
};

// What LeadOfRecord looks back for.
enum class ELeadSearch {
    LastCharacter,  // the last character before
    LineStart,      // and the start of its line
    BurstStart,     // and the start of its burst (gap stamps)
};

// The lead of the text drawn from record `record` on, found by drawing the
// records before it (none before `firstRecord`) in `scheme`: as far back as
// `search` needs (a burst's start with bursts more than `gapMs` apart), at
// most about `byteBudget` record bytes (past them, nothing before is known).
SStampLead LeadOfRecord(const CDataStore& store, const CStyleScheme* scheme, bool showAllSources,
                        std::size_t firstRecord, std::size_t record, ELeadSearch search,
                        std::size_t byteBudget, std::uint32_t gapMs = kDefaultGapMs);

// The tick of the character before `position` of the indexed text.
std::optional<std::uint32_t> TickBefore(const CLineIndex& index, const CDataStore& store,
                                        std::size_t position);

// With bursts more than `gapMs` apart: the tick of the first record of the
// burst that holds the character before `position` of the indexed text,
// which a burst starting at `position` measures "since the previous" from.
// Looks back at most about `charBudget` characters; none at the text's
// start, or past the budget (a burst that long is measured as the first).
std::optional<std::uint32_t> PreviousBurstTick(const CLineIndex& index, const CDataStore& store,
                                               std::size_t position, std::uint32_t gapMs,
                                               std::size_t charBudget);

struct SStampRequest {
    EStampMode mode = EStampMode::Off;
    STimeBase base;
    // Gap stamps instead of line stamps, at bursts more than this apart.
    bool gaps = false;
    std::uint32_t gapMs = kDefaultGapMs;
};

// The stamp of each of `rows` (rows of `document`, whose start in the text
// is told by `lead`), "" for a row without one. `previousTickOf` answers
// what a row's "since the previous" stamp measures from when the document
// does not hold it: with line stamps, the previous line's tick for a line
// whose previous line the document does not hold whole, given the line's
// start in the document; with gap stamps, given 0, the tick of the first
// record of the burst that holds the character before the document.
std::vector<std::string> RowStamps(
    const SStampRequest& request, const CDisplayDocument& document, const SStampLead& lead,
    std::span<const CLineLayout::SRow> rows, const CDataStore& store,
    const std::function<std::optional<std::uint32_t>(std::size_t)>& previousTickOf);

// The positions of [from, to) of `document` where a burst starts: the first
// character of a record that came more than `gapMs` after the record before
// it (the record of the character before). Ascending.
std::vector<std::size_t> GapStarts(const CDisplayDocument& document, std::size_t from,
                                   std::size_t to, const CDataStore& store, std::uint32_t gapMs);

// Whether text drawn in `scheme` keeps the device's line ends as lines.
bool DrawsLineEnds(const CStyleScheme* scheme);
// Whether `scheme` gets gap stamps rather than line stamps: Hex Mode, whose
// lines are not the device's, and any style that hides line ends.
bool UsesGapStamps(const CStyleScheme* scheme);

}  // namespace quillpad
