#pragma once
// A rule's character format as Qt fonts and colours, and back: what the
// console view draws with, and what the style editor's font chooser edits.

#include <QColor>
#include <QFont>

#include "styles/SCharFormat.h"

namespace quillpad {

QColor ColourOf(std::uint32_t colorRef);
std::uint32_t ColorRefOf(const QColor& colour);

// The font of a format on top of `base`: face (any fixed-pitch face for a
// fixed-pitch or modern one), size, bold, italic, underline, strike-out.
QFont FontOf(const SCharFormat& format, const QFont& base);

// Writes a chosen font and colour into a format: face (at most 31
// characters), height in twips, the four effects, colour, pitch and family.
// The character set stays unless the new face is a symbol font (2) or the
// old one was and the new one is not (0, the ANSI set).
void WriteFontInto(SCharFormat& format, const QFont& font, const QColor& colour);

}  // namespace quillpad
