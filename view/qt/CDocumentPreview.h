#pragma once
// A small read-only pane that shows the end of its own display document as
// the console would: the same font table, layout and painter, wrapped at its
// width, the last rows in sight. The style editor shows its sample and its
// preview of the console's last lines in it. A scrolling pane (the preview)
// has a scroll bar to look further back; new text brings it to the end.
// Meant for short texts (a few thousand characters): scrolling lays out
// every row.

#include <QFont>
#include <QFrame>

#include "view/CDisplayDocument.h"
#include "view/CLineLayout.h"
#include "view/CMemorySurface.h"
#include "view/qt/CDocumentPainter.h"
#include "view/qt/CFontTable.h"

class QScrollBar;

namespace quillpad {

class CDocumentPreview final : public QFrame {
    Q_OBJECT
  public:
    explicit CDocumentPreview(bool scrolls, QWidget* parent = nullptr);

    // Replaces the text with `text` in `format`.
    void ShowText(std::string_view text, const SCharFormat& format);
    // Replaces the text with a rendered surface's runs; a run rendered
    // before any format was applied takes the default format.
    void ShowSurface(const CMemorySurface& surface);
    void Clear();

    void SetBackground(const QColor& colour);
    QColor Background() const { return m_colours.background; }

    const CDisplayDocument& Document() const { return m_document; }
    const CFontTable& Fonts();
    // The rows in sight as the painter draws them.
    std::vector<SPaintRow> RowsInSight();
    // None without one.
    QScrollBar* ScrollBar() const { return m_bar; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void Changed();
    QRect TextArea() const;

    CDisplayDocument m_document;
    CLineLayout m_layout{m_document};
    CFontTable m_fonts;
    CDocumentPainter m_painter;
    SPaintColours m_colours;
    QFont m_baseFont;
    QScrollBar* m_bar = nullptr;
    bool m_pinned = true;  // the last rows in sight, whatever comes
};

}  // namespace quillpad
