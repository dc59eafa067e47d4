#include "view/qt/CharFormatQt.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <cmath>
#include <utility>

namespace quillpad {
namespace {

constexpr std::uint8_t kFixedPitch = 0x01;
constexpr std::uint8_t kVariablePitch = 0x02;
constexpr std::uint8_t kFamilyRoman = 0x10;
constexpr std::uint8_t kFamilySwiss = 0x20;
constexpr std::uint8_t kFamilyModern = 0x30;
constexpr std::uint8_t kFamilyScript = 0x40;
constexpr std::uint8_t kFamilyDecorative = 0x50;
constexpr std::uint8_t kAnsiCharset = 0;
constexpr std::uint8_t kSymbolCharset = 2;

bool IsSymbolFont(const QString& family) {
    const auto systems = QFontDatabase::writingSystems(family);
    return !systems.isEmpty() && !systems.contains(QFontDatabase::Latin) &&
           systems.contains(QFontDatabase::Symbol);
}

}  // namespace

QColor ColourOf(std::uint32_t c) {
    return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c));
}

std::uint32_t ColorRefOf(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
           (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

QFont FontOf(const SCharFormat& f, const QFont& base) {
    QFont font = base;
    if (!f.FaceName().empty()) {
        font.setFamily(
            QString::fromLatin1(f.FaceName().data(), static_cast<qsizetype>(f.FaceName().size())));
        // FIXED_PITCH or FF_MODERN: any fixed-pitch face will do.
        if ((f.bPitchAndFamily & 0x3) == kFixedPitch ||
            (f.bPitchAndFamily & 0xF0) == kFamilyModern) {
            font.setStyleHint(QFont::TypeWriter);
            font.setFixedPitch(true);
        }
    }
    if (f.yHeight > 0) {
        font.setPointSizeF(f.yHeight / 20.0);
    }
    font.setBold((f.dwEffects & kEffectBold) != 0);
    font.setItalic((f.dwEffects & kEffectItalic) != 0);
    font.setUnderline((f.dwEffects & kEffectUnderline) != 0);
    font.setStrikeOut((f.dwEffects & kEffectStrikeOut) != 0);
    return font;
}

void WriteFontInto(SCharFormat& f, const QFont& font, const QColor& colour) {
    const QString family = font.family();
    f.SetFaceName(family.toLatin1().toStdString());
    qreal points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0) {
        points = font.pixelSize() * 72.0 / 96.0;
    }
    if (points > 0) {
        f.yHeight = static_cast<std::int32_t>(std::lround(points * 20.0));
    }
    std::uint32_t effects = 0;
    const std::pair<bool, std::uint32_t> bits[] = {{font.bold(), kEffectBold},
                                                   {font.italic(), kEffectItalic},
                                                   {font.underline(), kEffectUnderline},
                                                   {font.strikeOut(), kEffectStrikeOut}};
    for (const auto& [on, bit] : bits) {
        effects |= on ? bit : 0u;
    }
    f.dwEffects = effects;
    f.crTextColor = ColorRefOf(colour);

    const bool fixed = QFontInfo(font).fixedPitch() || font.fixedPitch();
    std::uint8_t kind = 0;
    switch (font.styleHint()) {
        case QFont::Serif:
            kind = kFamilyRoman;
            break;
        case QFont::SansSerif:
            kind = kFamilySwiss;
            break;
        case QFont::TypeWriter:
        case QFont::Monospace:
            kind = kFamilyModern;
            break;
        case QFont::Cursive:
            kind = kFamilyScript;
            break;
        case QFont::Decorative:
        case QFont::Fantasy:
            kind = kFamilyDecorative;
            break;
        default:
            kind = fixed ? kFamilyModern : 0;
            break;
    }
    f.bPitchAndFamily = static_cast<std::uint8_t>((fixed ? kFixedPitch : kVariablePitch) | kind);

    const bool symbol = IsSymbolFont(family);
    if (symbol) {
        f.bCharSet = kSymbolCharset;
    } else if (f.bCharSet == kSymbolCharset) {
        f.bCharSet = kAnsiCharset;
    }
}

}  // namespace quillpad
