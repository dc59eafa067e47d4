#include "view/qt/CHexPane.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <limits>

#include "view/TextInfo.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CTextInfoWnd.h"
#include "view/qt/CopyRefusal.h"
#include "view/qt/NavigationKeys.h"

namespace quillpad {
namespace {

bool IsDark(const QColor& c) {
    return c.lightness() < 128;
}

}  // namespace

CHexPane::CHexPane(CConsoleView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    setObjectName(QStringLiteral("hexPane"));
    m_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_font.setPointSizeF(10);
    setFont(m_font);
    const QFontMetrics metrics(m_font);
    m_charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    m_rowHeight = std::max(1, metrics.height());
    m_ascent = metrics.ascent();
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::IBeamCursor);
    connect(&m_view, &CConsoleView::Repainted, this, [this] {
        if (isVisible()) {
            SyncFromView();
        }
    });
    m_subscription = m_view.Store().Subscribe(*this);
}

CHexPane::~CHexPane() = default;

void CHexPane::OnStoreNotice(const SStoreNotice& /*notice*/) {
    if (isVisible()) {
        SyncFromView();
    }
}

int CHexPane::PreferredWidth() const {
    return 2 * kMargin + static_cast<int>(CHexDump::kRowChars) * m_charWidth;
}

int CHexPane::VisibleRows() const {
    return std::max(1, height() / m_rowHeight);
}

SHexColours CHexPane::Colours() const {
    SHexColours c;
    c.background = m_view.Background();
    const bool dark = IsDark(c.background);
    c.offset = dark ? QColor(150, 150, 150) : QColor(120, 120, 120);
    c.incoming = dark ? QColor(120, 200, 255) : QColor(0, 0, 170);
    c.outgoing = dark ? QColor(255, 170, 90) : QColor(170, 40, 0);
    c.turn = dark ? QColor(255, 80, 200) : QColor(200, 0, 160);
    c.highlight = palette().color(QPalette::Highlight);
    c.highlightText = palette().color(QPalette::HighlightedText);
    return c;
}

// ---- the model

void CHexPane::Refresh() {
    const CDataStore& store = m_view.Store();
    const CLineIndex* index = m_view.Window().Index();
    if (m_dump && m_serial == m_view.IndexSerial() && m_generation == store.Generation()) {
        return;
    }
    m_map.reset();
    if (index != nullptr) {
        m_dump = std::make_unique<CHexDump>(store, index->FirstRecord(), index->ShowAllSources());
        m_map = std::make_unique<CTextByteMap>(*index);
    } else {
        // Nothing shown: a dump that starts past every record.
        m_dump = std::make_unique<CHexDump>(store, std::numeric_limits<std::size_t>::max(), false);
    }
    m_serial = m_view.IndexSerial();
    m_generation = store.Generation();
    m_anchor = m_caret = 0;
    m_viewAnchor = m_viewCaret = 0;
    m_pinned = true;
    m_waiting = false;
    m_ledTop.reset();
}

const CHexDump& CHexPane::Dump() {
    Refresh();
    return *m_dump;
}

std::uint64_t CHexPane::LastTop() {
    const std::uint64_t rows = Dump().RowCount();
    const auto shown = static_cast<std::uint64_t>(VisibleRows());
    return rows > shown ? rows - shown : 0;
}

// ---- following the view

void CHexPane::SyncFromView() {
    Refresh();
    const CDataStore& store = m_view.Store();
    if (m_view.IsIndexing() && m_waiting && m_view.HasPendingAction()) {
        // The pane's own move waits for the index: it keeps its rows and
        // selection until the view goes there too.
        update();
        return;
    }
    m_waiting = false;
    if (m_view.IsIndexing() || m_map == nullptr) {
        // No positions yet: the view shows the end, and so does the pane.
        m_pinned = true;
        m_ledTop.reset();
    } else if (m_view.IsPinnedToEnd()) {
        m_pinned = true;
        m_ledTop.reset();
    } else {
        const std::size_t top = m_view.TopPosition();
        if (!m_ledTop || *m_ledTop != top) {
            m_ledTop.reset();
            const SBytePlace place = m_map->ByteAt(store, top);
            m_top = std::min(m_dump->OffsetOf(place) / CHexDump::kRowBytes, LastTop());
            m_pinned = false;
        }
    }
    if (m_pinned) {
        m_top = LastTop();
    }
    if (!m_view.IsIndexing() && m_map != nullptr) {
        const std::size_t s = m_view.SelectionStart();
        const std::size_t e = m_view.SelectionEnd();
        if (s != m_viewAnchor || e != m_viewCaret) {
            m_viewAnchor = s;
            m_viewCaret = e;
            if (s == e) {
                m_anchor = m_caret = m_dump->OffsetOf(m_map->ByteAt(store, s));
            } else {
                // From the byte that drew the first character to the one
                // that drew the last, with the hidden bytes after it up to
                // the next that draws (all of them at the end of the text).
                m_anchor = m_dump->OffsetOf(m_map->ByteAt(store, s));
                const std::uint64_t last = m_dump->OffsetOf(m_map->ByteAt(store, e - 1)) + 1;
                const std::uint64_t next = m_dump->OffsetOf(m_map->ByteAt(store, e));
                m_caret = std::min(std::max(last, next), m_dump->Size());
            }
        }
    }
    update();
}

void CHexPane::TellViewTop() {
    if (m_pinned) {
        m_ledTop.reset();
        m_view.ScrollToEnd();
        return;
    }
    if (m_view.IsIndexing()) {
        // Rows of the dump are places in the whole text once it is indexed.
        WaitForIndex([](CHexPane& pane) { pane.TellViewTop(); });
        return;
    }
    Refresh();
    if (m_map == nullptr) {
        return;
    }
    const CDataStore& store = m_view.Store();
    const std::uint64_t position =
        m_map->PositionOf(store, m_dump->PlaceOf(m_top * CHexDump::kRowBytes));
    m_view.ScrollToPosition(static_cast<std::size_t>(position));
    m_ledTop = m_view.TopPosition();
}

void CHexPane::WaitForIndex(std::function<void(CHexPane&)> redo) {
    QPointer<CHexPane> self(this);
    m_waiting = true;
    m_view.WhenIndexed([self, redo = std::move(redo)] {
        if (self != nullptr) {
            self->m_waiting = false;
            redo(*self);
        }
    });
}

void CHexPane::ScrollRows(int rows) {
    const std::uint64_t last = LastTop();
    const std::uint64_t from = m_pinned ? last : std::min(m_top, last);
    if (rows < 0) {
        const auto back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(rows));
        m_top = from > back ? from - back : 0;
    } else {
        m_top = std::min(last, from + static_cast<std::uint64_t>(rows));
    }
    m_pinned = m_top >= last;
    TellViewTop();
    update();
}

void CHexPane::ScrollToRow(std::uint64_t row) {
    const std::uint64_t last = LastTop();
    m_top = std::min(row, last);
    m_pinned = m_top >= last;
    TellViewTop();
    update();
}

// ---- selection and copy

void CHexPane::SetByteSelection(std::uint64_t anchor, std::uint64_t caret) {
    const std::uint64_t size = Dump().Size();
    m_anchor = std::min(anchor, size);
    m_caret = std::min(caret, size);
    if (m_view.IsIndexing()) {
        // Both ends are places in the whole text once it is indexed; the
        // pane's rows go there too.
        WaitForIndex([](CHexPane& pane) {
            if (!pane.m_pinned) {
                pane.TellViewTop();
            }
            pane.SetByteSelection(pane.m_anchor, pane.m_caret);
        });
        update();
        return;
    }
    Refresh();
    if (m_map != nullptr) {
        const CDataStore& store = m_view.Store();
        const auto a =
            static_cast<std::size_t>(m_map->PositionOf(store, m_dump->PlaceOf(m_anchor)));
        const auto c = static_cast<std::size_t>(m_map->PositionOf(store, m_dump->PlaceOf(m_caret)));
        m_view.SetSelection(a, c);
        m_viewAnchor = m_view.SelectionStart();
        m_viewCaret = m_view.SelectionEnd();
    }
    update();
}

QString CHexPane::SelectedHex() {
    const std::string text = Dump().HexText(SelectionStart(), SelectionEnd());
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void CHexPane::Copy() {
    if (!HasSelection()) {
        return;
    }
    if (SelectionEnd() - SelectionStart() > CHexDump::kMaxCopyBytes) {
        const QString text =
            QStringLiteral(
                "The selection is too large to copy as hex (%1 MB; at most %2 MB can be "
                "copied). Select less, or use Save Buffer to write the history to a file.")
                .arg((SelectionEnd() - SelectionStart()) >> 20)
                .arg(CHexDump::kMaxCopyBytes >> 20);
        TellCopyRefused(this, m_notifier, text);
        return;
    }
    if (QClipboard* clipboard = QApplication::clipboard()) {
        clipboard->setText(SelectedHex());
    }
}

std::uint64_t CHexPane::ByteAt(QPoint point, bool nearest) {
    const std::uint64_t size = Dump().Size();
    const int row = std::max(0, point.y()) / m_rowHeight;
    const double column = static_cast<double>(point.x() - kMargin) / m_charWidth;
    std::size_t i = 0;
    if (column >= static_cast<double>(CHexDump::kTextColumn)) {
        const double at = column - static_cast<double>(CHexDump::kTextColumn);
        i = static_cast<std::size_t>(nearest ? at + 0.5 : at);
    } else {
        // The hex pair whose cell (the pair and the blank after it) holds the point.
        while (i < CHexDump::kRowBytes &&
               column >= static_cast<double>(CHexDump::HexColumnOf(i) + 3)) {
            ++i;
        }
        if (nearest && i < CHexDump::kRowBytes &&
            column >= static_cast<double>(CHexDump::HexColumnOf(i)) + 1.0) {
            ++i;
        }
    }
    i = std::min(i, CHexDump::kRowBytes - (nearest ? 0 : 1));
    const std::uint64_t offset =
        (m_top + static_cast<std::uint64_t>(row)) * CHexDump::kRowBytes + i;
    return std::min(offset, size);
}

// ---- painting

void CHexPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const SHexColours colours = Colours();
    painter.fillRect(rect(), colours.background);
    painter.setFont(m_font);
    const std::vector<SHexRow> rows =
        Dump().Rows(m_top, static_cast<std::size_t>(VisibleRows()) + 1);
    const std::uint64_t selStart = SelectionStart();
    const std::uint64_t selEnd = SelectionEnd();
    const auto xOf = [this](std::size_t column) {
        return kMargin + static_cast<int>(column) * m_charWidth;
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const SHexRow& row = rows[k];
        const int y = static_cast<int>(k) * m_rowHeight;
        const int baseline = y + m_ascent;
        const std::string line = CHexDump::RowText(row);
        const QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
        // Offsets past 4 GiB are longer: the columns after them move along.
        const std::size_t shift = line.size() - CHexDump::kTextColumn - row.count;
        painter.setPen(colours.offset);
        painter.drawText(xOf(0), baseline, text.left(static_cast<qsizetype>(8 + shift)));
        // Runs of bytes with one direction and one selection state, each
        // drawn in one go in the hex column and in the text column.
        for (std::size_t a = 0; a < row.count;) {
            const auto selectedAt = [&](std::size_t i) {
                const std::uint64_t o = row.offset + i;
                return o >= selStart && o < selEnd;
            };
            const bool selected = selectedAt(a);
            std::size_t b = a + 1;
            while (b < row.count && row.direction[b] == row.direction[a] &&
                   selectedAt(b) == selected) {
                ++b;
            }
            const std::size_t hexFrom = CHexDump::HexColumnOf(a) + shift;
            const std::size_t hexTo = CHexDump::HexColumnOf(b - 1) + 2 + shift;
            const std::size_t textFrom = CHexDump::TextColumnOf(a) + shift;
            const std::size_t textTo = CHexDump::TextColumnOf(b - 1) + 1 + shift;
            if (selected) {
                painter.fillRect(xOf(hexFrom), y, xOf(hexTo) - xOf(hexFrom), m_rowHeight,
                                 colours.highlight);
                painter.fillRect(xOf(textFrom), y, xOf(textTo) - xOf(textFrom), m_rowHeight,
                                 colours.highlight);
                painter.setPen(colours.highlightText);
            } else {
                painter.setPen(row.direction[a] == kDirectionIncoming ? colours.incoming
                                                                      : colours.outgoing);
            }
            painter.drawText(
                xOf(hexFrom), baseline,
                text.mid(static_cast<qsizetype>(hexFrom), static_cast<qsizetype>(hexTo - hexFrom)));
            painter.drawText(xOf(textFrom), baseline,
                             text.mid(static_cast<qsizetype>(textFrom),
                                      static_cast<qsizetype>(textTo - textFrom)));
            a = b;
        }
        // The turns: a bar before the byte in both columns.
        for (std::size_t i = 0; i < row.count; ++i) {
            if (row.TurnsAt(i)) {
                const int hx = xOf(CHexDump::HexColumnOf(i) + shift) - 2;
                const int tx = xOf(CHexDump::TextColumnOf(i) + shift) - 1;
                painter.fillRect(hx, y, 2, m_rowHeight, colours.turn);
                painter.fillRect(tx, y, 2, m_rowHeight, colours.turn);
            }
        }
    }
}

void CHexPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_pinned) {
        m_top = LastTop();
    }
}

// ---- input

void CHexPane::wheelEvent(QWheelEvent* event) {
    // A notch (120) is three rows, as in the view.
    const int delta = event->angleDelta().y();
    if ((m_wheelAngle > 0 && delta < 0) || (m_wheelAngle < 0 && delta > 0)) {
        m_wheelAngle = 0;
    }
    m_wheelAngle += delta;
    const int rows = m_wheelAngle / 40;
    m_wheelAngle -= rows * 40;
    if (rows != 0) {
        ScrollRows(-rows);
    }
    event->accept();
}

void CHexPane::keyPressEvent(QKeyEvent* event) {
    if (m_keyFilter && m_keyFilter(*event)) {
        event->accept();
        return;
    }
    const int page = std::max(1, VisibleRows() - 1);
    switch (NavigationOf(*event)) {
        case ENavigation::PageUp:
            ScrollRows(-page);
            return;
        case ENavigation::PageDown:
            ScrollRows(page);
            return;
        case ENavigation::ToStart:
            ScrollToRow(0);
            return;
        case ENavigation::ToEnd:
            ScrollToRow(std::numeric_limits<std::uint64_t>::max());
            return;
        case ENavigation::SelectAll:
            SetByteSelection(0, Dump().Size());
            return;
        case ENavigation::None:
            break;
    }
    event->ignore();
}

void CHexPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const std::uint64_t at = ByteAt(event->position().toPoint(), false);
    if ((event->modifiers() & Qt::ShiftModifier) != 0 && HasSelection()) {
        m_pressed = SelectionStart();
        SetByteSelection(m_pressed, std::min(at + 1, Dump().Size()));
    } else {
        m_pressed = at;
        SetByteSelection(at, at);
    }
    m_dragging = true;
}

void CHexPane::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (m_dragging && (event->buttons() & Qt::LeftButton) != 0) {
        if (point.y() < 0) {
            ScrollRows(-1);
        } else if (point.y() >= height()) {
            ScrollRows(1);
        }
        // The bytes from the one pressed to the one under the pointer, both in.
        const std::uint64_t size = Dump().Size();
        const std::uint64_t at = ByteAt(point, false);
        if (at >= m_pressed) {
            SetByteSelection(m_pressed, std::min(at + 1, size));
        } else {
            SetByteSelection(std::min(m_pressed + 1, size), at);
        }
        return;
    }
    HoverAt(point, (event->modifiers() & Qt::ShiftModifier) != 0);
}

void CHexPane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
    }
}

void CHexPane::leaveEvent(QEvent* event) {
    if (CTextInfoWnd* info = m_view.TextInfo(); info->isVisible()) {
        info->hide();
    }
    QWidget::leaveEvent(event);
}

void CHexPane::HoverAt(QPoint point, bool shift) {
    CTextInfoWnd* info = m_view.TextInfo();
    if (!shift) {
        info->MouseMoved(point, false);  // hides it and ends a dismissal
        return;
    }
    if (info->IsDismissed()) {
        return;
    }
    const CDataStore& store = m_view.Store();
    const CHexDump& dump = Dump();
    const auto recordAt = [&store, &dump](std::size_t offset) -> std::optional<SRecordRef> {
        const SBytePlace place = dump.PlaceOf(offset);
        if (place.record >= store.RecordCount()) {
            return std::nullopt;
        }
        return SRecordRef{store.Generation(), static_cast<std::uint32_t>(place.record)};
    };
    const std::string text = DescribeDisplayed(
        recordAt, static_cast<std::size_t>(dump.Size()), store,
        static_cast<std::size_t>(SelectionStart()), static_cast<std::size_t>(SelectionEnd()),
        static_cast<std::size_t>(ByteAt(point, false)), m_view.Settings().textInfo);
    if (text.empty()) {
        info->hide();
        return;
    }
    info->SetTextAndPosition(text, mapToGlobal(point) + QPoint(20, 0));
    if (!info->isVisible()) {
        info->show();
    }
}

}  // namespace quillpad
