#include "view/qt/CDocumentPreview.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>

#include "view/qt/CFontMetricsCache.h"

namespace quillpad {

CDocumentPreview::CDocumentPreview(bool scrolls, QWidget* parent) : QFrame(parent) {
    // Framed like the edit fields around it.
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_baseFont = font();
    if (scrolls) {
        m_bar = new QScrollBar(Qt::Vertical, this);
        m_bar->setRange(0, 0);
        connect(m_bar, &QScrollBar::valueChanged, this, [this](int value) {
            m_pinned = value >= m_bar->maximum();
            update();
        });
    }
}

QSize CDocumentPreview::sizeHint() const {
    // As large as a text edit would ask to be.
    return QSize(256, 192) + QSize(2 * frameWidth(), 2 * frameWidth());
}

QRect CDocumentPreview::TextArea() const {
    // Room between the frame and the text, as an edit field keeps it.
    QRect area = contentsRect();
    if (m_bar != nullptr) {
        area.setRight(m_bar->geometry().left() - 1);
    }
    return area.adjusted(2, 4, -2, -4);
}

void CDocumentPreview::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (m_bar != nullptr) {
        const QRect contents = contentsRect();
        const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_bar);
        m_bar->setGeometry(contents.right() - width + 1, contents.top(), width, contents.height());
    }
}

void CDocumentPreview::wheelEvent(QWheelEvent* event) {
    if (m_bar != nullptr) {
        QApplication::sendEvent(m_bar, event);
        return;
    }
    QFrame::wheelEvent(event);
}

void CDocumentPreview::Clear() {
    m_document.Clear();
    Changed();
}

void CDocumentPreview::ShowText(std::string_view text, const SCharFormat& format) {
    m_document.Clear();
    m_document.ApplyFormat(format);
    m_document.AppendRun(text, 0);
    Changed();
}

void CDocumentPreview::ShowSurface(const CMemorySurface& surface) {
    m_document.Clear();
    const std::string_view text = surface.text;
    for (const auto& run : surface.runs) {
        m_document.ApplyFormat(run.format ? *run.format : SCharFormat{});
        m_document.AppendRun(text.substr(run.start, run.length), run.sequence);
    }
    Changed();
}

void CDocumentPreview::SetBackground(const QColor& colour) {
    m_colours.background = colour;
    update();
}

void CDocumentPreview::Changed() {
    // The document was refilled: its formats may be others, as many as before.
    m_fonts.Clear();
    m_layout.ClearFormats();
    m_pinned = true;
    update();
}

const CFontTable& CDocumentPreview::Fonts() {
    m_fonts.Sync(m_document, m_layout, m_baseFont, *this, CFontMetricsCache::Shared());
    return m_fonts;
}

std::vector<SPaintRow> CDocumentPreview::RowsInSight() {
    const CFontTable& fonts = Fonts();
    const QRect area = TextArea();
    m_layout.SetWidth(static_cast<float>(area.width() - 2 * m_painter.Margin()));
    const auto shown =
        static_cast<std::size_t>(std::max(1, area.height() / std::max(1, fonts.RowHeight())));
    if (m_bar == nullptr) {
        return PaintRowsOf(m_document, m_layout, m_layout.LastRows(shown), 0, 0);
    }
    const std::vector<CLineLayout::SRow> all = m_layout.RowsFrom(0, m_document.Size() + 1);
    const int last = static_cast<int>(all.size() > shown ? all.size() - shown : 0);
    {
        const QSignalBlocker quiet(m_bar);
        m_bar->setRange(0, last);
        m_bar->setPageStep(static_cast<int>(shown));
        if (m_pinned) {
            m_bar->setValue(last);
        }
    }
    const auto first = static_cast<std::size_t>(m_bar->value());
    const std::size_t end = std::min(all.size(), first + shown);
    return PaintRowsOf(m_document, m_layout,
                       std::span<const CLineLayout::SRow>(all.data() + first, end - first), 0, 0);
}

void CDocumentPreview::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);  // the frame
    const std::vector<SPaintRow> rows = RowsInSight();
    QPainter painter(this);
    QRect inside = contentsRect();
    if (m_bar != nullptr) {
        inside.setRight(m_bar->geometry().left() - 1);
    }
    painter.fillRect(inside, m_colours.background);
    const QRect area = TextArea();
    painter.setClipRect(area);
    m_painter.Paint(painter, area, rows, m_fonts, m_colours);
}

}  // namespace quillpad
