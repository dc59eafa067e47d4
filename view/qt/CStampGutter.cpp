#include "view/qt/CStampGutter.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "data/LineStamps.h"
#include "styles/CStyleScheme.h"
#include "view/qt/CharFormatQt.h"

namespace quillpad {
namespace {

// Half way from the text's colour to the background's.
QColor Faded(const QColor& text, const QColor& background) {
    return QColor((text.red() + background.red()) / 2, (text.green() + background.green()) / 2,
                  (text.blue() + background.blue()) / 2);
}

}  // namespace

void CStampGutter::SetStyle(const CStyleScheme* scheme, const QFont& base,
                            const QColor& background) {
    m_font = base;
    m_colour = Faded(Qt::black, background);
    if (scheme == nullptr) {
        Measure();
        return;
    }
    // A data rule's font at most, never its colour: that belongs to the data.
    if (const SStyleRule* body = scheme->BodyRule()) {
        m_font = FontOf(body->CharFormat, base);
        m_font.setUnderline(false);
        m_font.setStrikeOut(false);
    }
    const SStampFormat stamps = scheme->Stamps.value_or(SStampFormat{});
    if (!stamps.FaceName.empty()) {
        m_font.setFamily(QString::fromLatin1(stamps.FaceName.data(),
                                             static_cast<qsizetype>(stamps.FaceName.size())));
    }
    if (stamps.PointSize > 0) {
        m_font.setPointSize(stamps.PointSize);
    }
    m_colour = ColourOf(stamps.Color);
    Measure();
}

void CStampGutter::Measure() {
    const QFontMetricsF metrics(m_font);
    const qreal widest = std::max(metrics.horizontalAdvance(QStringLiteral("00:00:00.000 ")),
                                  metrics.horizontalAdvance(QStringLiteral("+4294967.295 ")));
    static_assert(kStampColumnChars == 13);
    m_width = static_cast<int>(std::ceil(widest));
}

void CStampGutter::Paint(QPainter& painter, const QRect& column, const QColor& background,
                         int rowHeight, int ascent, std::span<const std::string> stamps) const {
    painter.fillRect(column, background);
    painter.setFont(m_font);
    painter.setPen(m_colour);
    int y = column.top();
    for (const std::string& stamp : stamps) {
        if (y > column.bottom()) {
            break;
        }
        if (!stamp.empty()) {
            painter.drawText(
                QPointF(column.left(), y + ascent),
                QString::fromLatin1(stamp.data(), static_cast<qsizetype>(stamp.size())));
        }
        y += rowHeight;
    }
}

}  // namespace quillpad
