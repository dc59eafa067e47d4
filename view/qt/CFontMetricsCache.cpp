#include "view/qt/CFontMetricsCache.h"

#include <QFontMetricsF>
#include <QPaintDevice>

#include <cmath>

namespace quillpad {

CFontMetricsCache& CFontMetricsCache::Shared() {
    static CFontMetricsCache cache;
    return cache;
}

SFontMetrics CFontMetricsCache::Of(const QFont& font, const QPaintDevice& device) {
    const QString key = font.key() + QLatin1Char('@') + QString::number(device.logicalDpiX()) +
                        QLatin1Char('x') + QString::number(device.logicalDpiY());
    if (const auto found = m_fonts.find(key); found != m_fonts.end()) {
        return found->second;
    }
    if (m_fonts.size() >= kMaxFonts) {
        m_fonts.clear();
    }
    const QFontMetricsF metrics(font, &device);
    SFontMetrics m;
    for (unsigned b = 0; b < 256; ++b) {
        if (!CLineLayout::TakesNoRoom(static_cast<std::uint8_t>(b))) {
            m.advances[b] = static_cast<float>(metrics.horizontalAdvance(QChar(b)));
        }
    }
    m.ascent = static_cast<int>(std::ceil(metrics.ascent()));
    m.descent = static_cast<int>(std::ceil(metrics.descent()));
    ++m_measurements;
    return m_fonts.emplace(key, m).first->second;
}

}  // namespace quillpad
