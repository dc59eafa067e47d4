#include "view/qt/CDocumentPainter.h"

#include <QPainter>

#include "view/qt/CFontTable.h"

namespace quillpad {

void CDocumentPainter::Paint(QPainter& painter, const QRect& area, std::span<const SPaintRow> rows,
                             const CFontTable& fonts, const SPaintColours& colours) const {
    painter.fillRect(area, colours.background);
    const int rowHeight = fonts.RowHeight();
    const qreal left = area.left() + m_margin;
    int y = area.top();
    QString piece;
    std::size_t fontShown = static_cast<std::size_t>(-1);
    for (const SPaintRow& row : rows) {
        if (y >= area.bottom() + 1) {
            break;
        }
        const int baseline = y + fonts.Ascent();
        const SPaintPiece* last = nullptr;
        for (const SPaintPiece& p : row.pieces) {
            if (!p.text.empty()) {
                last = &p;
            }
            if (p.selected) {
                painter.fillRect(QRectF(left + p.x, y, p.width, rowHeight), colours.highlight);
            } else if (p.marked) {
                painter.fillRect(QRectF(left + p.x, y, p.width, rowHeight), colours.mark);
            }
            if (p.text.empty()) {
                continue;
            }
            piece.clear();
            for (const char c : p.text) {
                const auto b = static_cast<std::uint8_t>(c);
                if (!CLineLayout::TakesNoRoom(b)) {
                    piece.append(QChar(b));
                }
            }
            if (piece.isEmpty()) {
                continue;
            }
            const CFontTable::SEntry& font = fonts.Entry(p.format);
            if (p.format != fontShown) {
                painter.setFont(font.font);
                fontShown = p.format;
            }
            painter.setPen(p.selected ? colours.highlightText : font.colour);
            painter.drawText(QPointF(left + p.x, baseline - font.offset), piece);
        }
        if (last != nullptr && fonts.Entry(last->format).ruleAfter) {
            // A mark stands out of the traffic: its rule runs to the edge.
            const qreal from = left + last->x + last->width + rowHeight / 2.0;
            if (from < area.right()) {
                const qreal middle = y + rowHeight / 2.0;
                painter.setPen(QPen(fonts.Entry(last->format).colour, 1));
                painter.drawLine(QPointF(from, middle), QPointF(area.right(), middle));
            }
        }
        if (row.breakWidth > 0) {
            painter.fillRect(QRectF(left + row.breakX, y, row.breakWidth, rowHeight),
                             colours.highlight);
        }
        y += rowHeight;
    }
}

}  // namespace quillpad
