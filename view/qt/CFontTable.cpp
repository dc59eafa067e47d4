#include "view/qt/CFontTable.h"

#include <QPaintDevice>

#include <algorithm>
#include <cmath>

#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CharFormatQt.h"

namespace quillpad {

int CFontTable::OffsetPixels(int yOffsetTwips, double dpi) {
    return static_cast<int>(std::lround(yOffsetTwips / 20.0 * dpi / 72.0));
}

void CFontTable::Clear() {
    m_entries.clear();
    m_rowHeight = 1;
    m_ascent = 0;
}

void CFontTable::Sync(const CDisplayDocument& document, CLineLayout& layout, const QFont& base,
                      const QPaintDevice& device, CFontMetricsCache& cache) {
    const std::size_t count = document.FormatCount();
    if (m_entries.size() == count && layout.FormatCount() == count) {
        return;
    }
    if (m_entries.size() > count || layout.FormatCount() != m_entries.size()) {
        Clear();
        layout.ClearFormats();
    }
    const double dpi = device.logicalDpiY() > 0 ? device.logicalDpiY() : 96;
    while (m_entries.size() < count) {
        const SCharFormat& f = document.Format(m_entries.size());
        SEntry e;
        e.font = FontOf(f, base);
        e.colour = ColourOf(f.crTextColor);
        e.offset = OffsetPixels(f.yOffset, dpi);
        e.ruleAfter = (f.dwEffects & kEffectRuleAfter) != 0;
        const SFontMetrics metrics = cache.Of(e.font, device);
        layout.AddFormat(metrics.advances);
        e.ascent = metrics.ascent;
        e.descent = metrics.descent;
        m_entries.push_back(std::move(e));
    }
    int above = 1;
    int below = 0;
    for (const SEntry& e : m_entries) {
        above = std::max(above, e.ascent + std::max(e.offset, 0));
        below = std::max(below, e.descent + std::max(-e.offset, 0));
    }
    m_ascent = above;
    m_rowHeight = above + below;
}

}  // namespace quillpad
