#pragma once
// The column the console's time stamps are drawn in, at the left of the
// text: its font and colour (the style's "Stamps" section, else the style's
// first rule's font at reduced contrast), its width (room for the widest
// stamp) and the drawing of one stamp per row. The text beside it is laid
// out and hit-tested as if the column were not there.

#include <QColor>
#include <QFont>
#include <QRect>

#include <span>
#include <string>

class QPainter;

namespace quillpad {

class CStyleScheme;

class CStampGutter {
  public:
    // Takes the stamp font and colour of `scheme` (null: `base`, grey) drawn
    // on `background`.
    void SetStyle(const CStyleScheme* scheme, const QFont& base, const QColor& background);
    void SetShown(bool shown) { m_shown = shown; }
    bool Shown() const { return m_shown; }

    const QFont& Font() const { return m_font; }
    const QColor& Colour() const { return m_colour; }
    // The room the column takes: 0 when stamps are not shown.
    int Width() const { return m_shown ? m_width : 0; }

    // Fills `column` with `background` and draws stamps[i] in row i, whose
    // baseline is `ascent` below its top.
    void Paint(QPainter& painter, const QRect& column, const QColor& background, int rowHeight,
               int ascent, std::span<const std::string> stamps) const;

  private:
    // The column's width for the font.
    void Measure();
    bool m_shown = false;
    QFont m_font;
    QColor m_colour = Qt::gray;
    int m_width = 0;
};

}  // namespace quillpad
