#pragma once
// The measures of a font the layout and the painter need: its 256 advances,
// its ascent and descent. Measuring 256 advances is most of what opening a
// console costs, and every console of a process uses the same few fonts: each
// font is measured once per resolution and kept. UI thread only, like every
// widget.

#include <QFont>
#include <QString>

#include <cstddef>
#include <unordered_map>

#include "view/CLineLayout.h"

class QPaintDevice;

namespace quillpad {

struct SFontMetrics {
    CLineLayout::AdvanceTable advances{};
    int ascent = 0;
    int descent = 0;
};

class CFontMetricsCache {
  public:
    // A style editor session can try many fonts; past this many the cache
    // starts again rather than grow.
    static constexpr std::size_t kMaxFonts = 256;

    // The process's own, shared by every console.
    static CFontMetricsCache& Shared();

    // The measures of `font` on `device`'s resolution. Copied out: a later
    // call may start the cache again.
    SFontMetrics Of(const QFont& font, const QPaintDevice& device);

    std::size_t Size() const { return m_fonts.size(); }
    // How many times a font was measured rather than found.
    std::size_t Measurements() const { return m_measurements; }

  private:
    std::unordered_map<QString, SFontMetrics> m_fonts;
    std::size_t m_measurements = 0;
};

}  // namespace quillpad
