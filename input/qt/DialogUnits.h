#pragma once
// Dialog sizes are given in dialog units: a quarter of the font's average
// character width across, an eighth of its height down.

#include <QFontMetrics>
#include <QSize>
#include <QWidget>

namespace quillpad {

inline QSize DialogUnitsToPixels(const QWidget& widget, int x, int y) {
    const QFontMetrics metrics(widget.font());
    // The average over the alphabet, as the dialog manager measures it.
    const int average = (metrics.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                         26) /
                        52;
    return {x * average / 4, y * metrics.height() / 8};
}

}  // namespace quillpad
