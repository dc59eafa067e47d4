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
        for (const SPaintPiece& p : row.pieces) {
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
        if (row.breakWidth > 0) {
            painter.fillRect(QRectF(left + row.breakX, y, row.breakWidth, rowHeight),
                             colours.highlight);
        }
        y += rowHeight;
    }
}

}  // namespace quillpad
