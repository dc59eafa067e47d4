#pragma once
// What a painter draws of a region of text, as data: the rows in sight, top
// first, each cut into pieces that share one format and one selection state.
// The painter draws pieces and knows nothing of documents, layouts or views;
// whatever holds the text (the console's display document today) cuts its
// rows into pieces here.

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "view/CDisplayDocument.h"
#include "view/CLineLayout.h"

namespace quillpad {

struct SPaintPiece {
    float x = 0;  // from the left edge of the text
    float width = 0;
    std::size_t format = 0;  // an index into the source's formats
    // The bytes as they are, drawn in one call; those that take no room draw
    // nothing. A tab is a piece of its own with no text: room, no ink.
    std::string_view text;
    bool selected = false;
    // Inside a find mark (the selection draws over it).
    bool marked = false;

    bool operator==(const SPaintPiece&) const = default;
};

struct SPaintRow {
    std::vector<SPaintPiece> pieces;
    // A selected line break shows as a little room after the row: its
    // width, zero when the break is not selected (or the row has none).
    float breakX = 0;
    float breakWidth = 0;
};

// Characters [start, end) of a document.
struct STextRange {
    std::size_t start = 0;
    std::size_t end = 0;

    bool operator==(const STextRange&) const = default;
};

// The pieces of `rows` of the document as `layout` places them, with
// [selStart, selEnd) selected and `marks` (in order, not overlapping)
// marked. A piece ends at a format run's end, at a tab and at an edge of the
// selection or of a mark.
std::vector<SPaintRow> PaintRowsOf(const CDisplayDocument& document, const CLineLayout& layout,
                                   std::span<const CLineLayout::SRow> rows, std::size_t selStart,
                                   std::size_t selEnd, std::span<const STextRange> marks = {});

}  // namespace quillpad
