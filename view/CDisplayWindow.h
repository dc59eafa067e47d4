#pragma once
// The stretch of the history the console view shows, drawn from the store
// on demand: a small display document rendered from a line index around the
// rows asked for, and its line layout. Rows are answered in positions of the
// whole text, exactly as a layout of the whole render would give them.
//
// A line is laid out in chunks counted from its real start, and a row never
// crosses a chunk, so rows drawn from a window are right wherever the
// window holds a chunk whole: from its first line start or chunk edge, up
// to the start of the chunk its end cuts (the very end of the text needs no
// such care). Each answer is checked against that; a window that cannot
// answer is drawn again, wider, until it can.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "data/DataStore.h"
#include "view/CDisplayDocument.h"
#include "view/CLineIndex.h"
#include "view/CLineLayout.h"

namespace quillpad {

class CDisplayWindow {
  public:
    using SRow = CLineLayout::SRow;
    // Called after every drawing, before the layout is asked anything: it
    // tells the layout the advances of the new document's formats.
    using FormatSync = std::function<void(const CDisplayDocument&, CLineLayout&)>;

    explicit CDisplayWindow(const CDataStore& store, std::size_t chunk = CLineLayout::kChunk);

    void SetFormatSync(FormatSync sync) { m_sync = std::move(sync); }
    // The index to draw from (null: nothing to show); the window is drawn
    // again when next asked.
    void SetIndex(const CLineIndex* index);
    const CLineIndex* Index() const { return m_index; }
    // The index took in more records: a window that reaches the line still
    // open is drawn again when next asked.
    void IndexGrew();
    void Invalidate() { m_drawn = false; }
    void SetWidth(float width) { m_layout.SetWidth(width); }
    // Rows that start whatever the room (CLineLayout::SetRowBreaks), asked
    // in positions of the drawn document; the window is drawn again.
    void SetRowBreaks(CLineLayout::RowBreaks breaks) {
        m_layout.SetRowBreaks(std::move(breaks));
        m_drawn = false;
    }

    // The whole text's size, as indexed.
    std::size_t TextSize() const;

    // As CLineLayout's, in positions of the whole text.
    std::vector<SRow> RowsFrom(std::size_t position, std::size_t count);
    std::vector<SRow> LastRows(std::size_t count);
    std::size_t MoveRows(std::size_t position, int count);
    std::size_t RowStartOf(std::size_t position);

    // What is drawn now: the document, its layout, where its first
    // character lies in the whole text, and a count of drawings so a caller
    // can tell that rows it keeps may no longer be in it.
    const CDisplayDocument& Document() const { return m_document; }
    const CLineLayout& Layout() const { return m_layout; }
    std::size_t Start() const { return m_start; }
    // Whether the drawn document's first line is a whole line of the text.
    bool FirstLineWhole() const { return m_firstLineWhole; }
    // Where the drawn document was drawn from.
    const SWindowPlace& Place() const { return m_place; }
    std::uint64_t Drawings() const { return m_drawings; }
    // Whether [from, to) of the whole text is drawn now.
    bool Holds(std::size_t from, std::size_t to) const {
        return m_drawn && from >= m_start && to <= m_start + m_document.Size();
    }
    // A row of the whole text as a row of the drawn document (it must be held).
    SRow Local(const SRow& row) const { return SRow{row.start - m_start, row.end - m_start}; }

    // Draws the whole text's [from, to) into `out`, with what lies between
    // them and the nearest checkpoints; returns where `out` starts.
    std::size_t DrawRange(std::size_t from, std::size_t to, CDisplayDocument& out) const;

  private:
    // Draws a window whose rows starting in [from, to) are right.
    void Draw(std::size_t from, std::size_t to);
    // Whether rows starting at `position` are right in the drawn window.
    bool Answers(std::size_t position) const {
        return m_drawn && position >= m_validStart && (m_reachesEnd || position < m_validEnd);
    }
    std::size_t Span(std::size_t rows) const;
    std::vector<SRow> Whole(std::vector<SRow> rows) const;

    const CDataStore& m_store;
    const CLineIndex* m_index = nullptr;
    FormatSync m_sync;
    CDisplayDocument m_document;
    CLineLayout m_layout;
    bool m_drawn = false;
    std::size_t m_start = 0;
    // Rows starting in [m_validStart, m_validEnd) are right; all after the
    // start when the window reaches the end.
    std::size_t m_validStart = 0;
    std::size_t m_validEnd = 0;
    bool m_reachesEnd = false;
    bool m_firstLineWhole = true;
    SWindowPlace m_place;
    std::uint64_t m_drawings = 0;
};

}  // namespace quillpad
