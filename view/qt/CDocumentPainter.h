#pragma once
// Draws a region of text: the background, then row by row each piece in its
// format's font and colour at its place (risen by the format's offset), the
// find marks on their own background, the selection as highlight with its
// text in the highlight's colour, and a
// selected line break as a little room after its row. It takes the rows as
// pieces and the formats as a font table, so it draws whatever cuts its
// text into rows: the console view, the style editor's preview and sample.

#include <QColor>
#include <QRect>

#include <span>

#include "view/PaintRows.h"

class QPainter;

namespace quillpad {

class CFontTable;

struct SPaintColours {
    QColor background = Qt::white;
    QColor highlight = Qt::darkBlue;
    QColor highlightText = Qt::white;
    // Behind the text of a find mark.
    QColor mark = QColor(255, 200, 0, 110);
};

class CDocumentPainter {
  public:
    // Room kept free at the left of the text.
    explicit CDocumentPainter(int margin = 2) : m_margin(margin) {}

    int Margin() const { return m_margin; }

    // Fills `area` with the background and draws `rows` from its top down.
    void Paint(QPainter& painter, const QRect& area, std::span<const SPaintRow> rows,
               const CFontTable& fonts, const SPaintColours& colours) const;

  private:
    int m_margin;
};

}  // namespace quillpad
