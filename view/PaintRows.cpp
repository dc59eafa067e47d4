#include "view/PaintRows.h"

#include <algorithm>

namespace quillpad {

std::vector<SPaintRow> PaintRowsOf(const CDisplayDocument& document, const CLineLayout& layout,
                                   std::span<const CLineLayout::SRow> rows, std::size_t selStart,
                                   std::size_t selEnd, std::span<const STextRange> marks) {
    const std::string_view text = document.Text();
    const std::size_t size = text.size();
    selStart = std::min(selStart, size);
    selEnd = std::min(selEnd, size);
    std::vector<SPaintRow> out;
    out.reserve(rows.size());
    std::size_t mark = 0;  // the first mark not yet passed
    for (const CLineLayout::SRow& row : rows) {
        SPaintRow& paint = out.emplace_back();
        float x = 0;
        std::size_t p = row.start;
        while (p < row.end) {
            const std::size_t run = document.RunAt(p);
            const std::size_t format = document.RunFormat(run);
            const std::size_t runEnd = std::min(document.RunEnd(run), row.end);
            while (p < runEnd) {
                const bool selected = p >= selStart && p < selEnd;
                while (mark < marks.size() && marks[mark].end <= p) {
                    ++mark;
                }
                const bool marked = mark < marks.size() && marks[mark].start <= p;
                const std::size_t markEdge = mark == marks.size() ? runEnd
                                             : marked             ? marks[mark].end
                                                                  : marks[mark].start;
                const std::size_t pieceEnd = std::min(runEnd, markEdge);
                std::size_t q = p;
                if (text[q] == '\t') {
                    ++q;  // its width depends on where it starts: alone
                } else {
                    while (q < pieceEnd && text[q] != '\t' &&
                           (q >= selStart && q < selEnd) == selected) {
                        ++q;
                    }
                }
                const float width = layout.Measure(p, q, x);
                paint.pieces.push_back(SPaintPiece{
                    x, width, format, text[p] == '\t' ? std::string_view() : text.substr(p, q - p),
                    selected, marked});
                x += width;
                p = q;
            }
        }
        if (row.end < size && row.end >= selStart && row.end < selEnd &&
            (text[row.end] == '\r' || text[row.end] == '\n')) {
            paint.breakX = x;
            paint.breakWidth = layout.SpaceAdvance();
        }
    }
    return out;
}

}  // namespace quillpad
