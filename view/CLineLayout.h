#pragma once
// Where the display document's text goes on screen, horizontally: the rows a
// line wraps into at a given width, where each character of a row starts,
// and which character lies at a given distance into a row. Rows wrap at the
// right edge after the last space; a word wider than a row is cut where the
// edge falls. Tabs advance to the next multiple of eight spaces of the
// default format; control bytes take no room.
//
// Widths come from the view as one 256-entry advance table per format of the
// document, so the layout knows nothing of fonts. When every printable byte
// of every format is equally wide (the usual fixed-pitch console), wrapping
// never looks at the format runs.
//
// A line is laid out in chunks of at most kChunk bytes, each chunk starting
// a row of its own: a single line of many megabytes (hex mode without
// inserted breaks) costs no more to lay out around a position than a short
// one. Distances are in the view's units (pixels), from the left edge of
// the text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "view/CDisplayDocument.h"

namespace quillpad {

class CLineLayout {
  public:
    static constexpr std::size_t kChunk = 8192;
    using AdvanceTable = std::array<float, 256>;

    struct SRow {
        std::size_t start;
        std::size_t end;  // the row's last character + 1, its break not included

        bool operator==(const SRow&) const = default;
    };

    // C0 and C1 controls and DEL draw nothing and take no room; so do line
    // breaks. A tab takes room but draws nothing either.
    static constexpr bool TakesNoRoom(std::uint8_t b) {
        return b < 0x20 || (b >= 0x7F && b < 0xA0);
    }

    // `chunk` is the most a chunk holds: kChunk but in tests.
    explicit CLineLayout(const CDisplayDocument& document, std::size_t chunk = kChunk);

    // The document's first line began this many characters before the
    // document does (it holds a stretch of a longer text): that line's
    // chunks then fall where they fall in the whole line, and so do its rows.
    void SetFirstLineLead(std::size_t lead) { m_lead = lead % m_chunk; }
    std::size_t Chunk() const { return m_chunk; }

    // The advances of the document's formats, added in the document's
    // format order. Entries of bytes that take no room are ignored. Until a
    // format is added, every printable byte is one unit wide.
    void AddFormat(const AdvanceTable& advances);
    void ClearFormats();
    std::size_t FormatCount() const { return m_advances.size(); }

    // The room for text; a row is never narrower than four spaces, so that
    // a window made tiny still shows something on every row.
    void SetWidth(float width);
    float Width() const { return m_width; }

    // Positions where a row starts whatever the room, asked for each chunk
    // laid out ([from, to), ascending): a burst of text without lines starts
    // a row of its own. None by default.
    using RowBreaks = std::function<std::vector<std::size_t>(std::size_t from, std::size_t to)>;
    void SetRowBreaks(RowBreaks breaks) { m_rowBreaks = std::move(breaks); }
    bool HasRowBreaks() const { return static_cast<bool>(m_rowBreaks); }

    bool UsesUniformAdvance() const { return m_uniform > 0; }
    float SpaceAdvance() const { return m_space; }
    // Where a tab that starts at x ends.
    float TabStop(float x) const;

    // The room [from, to) takes when it starts at x (tabs depend on x).
    float Measure(std::size_t from, std::size_t to, float x) const;
    // The character of `row` at distance x: the one whose cell holds x, or
    // with `nearest` the caret position closest to x. row.end past the end.
    std::size_t HitTest(const SRow& row, float x, bool nearest) const;
    // The x of `position` in `row` (clamped to the row's end).
    float XOf(const SRow& row, std::size_t position) const;

    // The row holding `position` and up to count - 1 rows after it; fewer
    // when the text ends first.
    std::vector<SRow> RowsFrom(std::size_t position, std::size_t count) const;
    // The last `count` rows of the text (fewer when it has fewer), in order.
    std::vector<SRow> LastRows(std::size_t count) const;
    std::size_t RowStartOf(std::size_t position) const;
    // The start of the row `count` rows after (negative: before) the row
    // holding `position`, stopping at the first or last row.
    std::size_t MoveRows(std::size_t position, int count) const;

  private:
    // A piece of a line laid out on its own: [start, end) of line `line`.
    struct SChunk {
        std::size_t line;
        std::size_t start;
        std::size_t end;
        std::size_t lineStart;
        std::size_t lineEnd;
    };
    class CAdvance;

    const AdvanceTable& AdvancesOf(std::size_t format) const;
    // The rows of the chunk of `line` that holds `position`.
    SChunk WrapChunk(std::size_t line, std::size_t position, std::vector<SRow>& rows) const;
    bool NextChunk(SChunk& chunk, std::vector<SRow>& rows) const;
    bool PreviousChunk(SChunk& chunk, std::vector<SRow>& rows) const;

    const CDisplayDocument& m_document;
    std::size_t m_chunk;
    std::size_t m_lead = 0;
    std::vector<AdvanceTable> m_advances;
    float m_uniform = 1;  // > 0 when every format shares it
    float m_space = 1;
    float m_width = 4;
    float m_requestedWidth = 0;
    RowBreaks m_rowBreaks;
};

}  // namespace quillpad
