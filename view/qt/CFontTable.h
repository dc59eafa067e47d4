#pragma once
// The fonts of a document's formats as the painter draws them: face, colour,
// rise above the baseline in pixels, and the one row height that fits them
// all. Built as formats appear; the line layout is told each new format's
// advances at the same time, so the two never disagree.

#include <QColor>
#include <QFont>

#include <cstddef>
#include <vector>

#include "view/CDisplayDocument.h"
#include "view/CLineLayout.h"

class QPaintDevice;

namespace quillpad {

class CFontMetricsCache;

class CFontTable {
  public:
    struct SEntry {
        QFont font;
        QColor colour;
        int ascent = 0;
        int descent = 0;
        int offset = 0;          // pixels above the baseline
        bool ruleAfter = false;  // a rule across the rest of the row (a mark)
    };

    // A format's rise (twips, upwards) in pixels at a resolution.
    static int OffsetPixels(int yOffsetTwips, double dpi);

    // Brings the table up to the document's formats, on `base` and at the
    // device's resolution. A document with fewer formats than the table (it
    // was cleared) starts the table and the layout's formats again; one
    // cleared and refilled needs a Clear first.
    void Sync(const CDisplayDocument& document, CLineLayout& layout, const QFont& base,
              const QPaintDevice& device, CFontMetricsCache& cache);
    void Clear();

    std::size_t Count() const { return m_entries.size(); }
    const SEntry& Entry(std::size_t format) const { return m_entries[format]; }
    // Rows are as high as the tallest format, risen or lowered.
    int RowHeight() const { return m_rowHeight; }
    // From a row's top to its baseline.
    int Ascent() const { return m_ascent; }

  private:
    std::vector<SEntry> m_entries;
    int m_rowHeight = 1;
    int m_ascent = 0;
};

}  // namespace quillpad
