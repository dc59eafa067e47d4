#include "view/qt/CConsoleView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/Bytes.h"
#include "view/PaintRows.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CTextInfoWnd.h"
#include "view/qt/CharFormatQt.h"

namespace quillpad {
namespace {

constexpr bool IsWordByte(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b >= 0xC0;
}

}  // namespace

CConsoleView::CConsoleView(CMessageChannel& channel, const CDataStore& store,
                           const SViewSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent),
      CMessageTarget(channel),
      m_store(store),
      m_settings(settings),
      m_storeHandle(store.Handle()) {
    m_defaultFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_defaultFont.setPointSizeF(10);
    setFont(m_defaultFont);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            &CConsoleView::OnScrollAction);
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setTimerType(Qt::PreciseTimer);
    m_repaintTimer.setInterval(16);
    connect(&m_repaintTimer, &QTimer::timeout, this, &CConsoleView::FlushRepaint);
    // Sent, not posted: a record added before a posted registration arrived
    // would be announced to nobody and missing until the next replay.
    Channel().Send(m_storeHandle, UM_REGISTER_VIEW, 1, Handle());
}

CConsoleView::~CConsoleView() {
    m_textInfo.reset();
    if (Channel().IsAlive(m_storeHandle)) {
        Channel().Send(m_storeHandle, UM_REGISTER_VIEW, 0, Handle());
    }
}

void CConsoleView::SetControl(MessageHandle control) {
    m_control = control;
}

std::int64_t CConsoleView::HandleMessage(SMessage& message) {
    switch (message.id) {
        case UM_APPEND_RECORD:
            AppendRecord(AppendNoticeRef(message));
            return 0;
        case UM_CLEAR_DATA:
            ClearView();
            return 0;
        case UM_SET_SCHEME: {
            // Shared, so the scheme cannot go while the view draws with it.
            std::shared_ptr<const CStyleScheme> scheme;
            if (const auto* p = message.payload.Get<std::shared_ptr<const CStyleScheme>>()) {
                scheme = *p;
            } else if (const auto* q = message.payload.Get<std::shared_ptr<CStyleScheme>>()) {
                scheme = *q;
            }
            SetScheme(std::move(scheme));
            return 0;
        }
        case UM_RENDER_TEXT:
            // The string to fill is the sender's: only a lent one is written.
            if (auto* request = message.payload.Get<SRenderTextRequest>();
                request != nullptr && request->text != nullptr && message.payload.Borrowed()) {
                request->text->clear();
                CStyledRenderer::AppendToString(*request->text, Scheme(), request->record);
            }
            return 0;
        default:
            return 0;
    }
}

void CConsoleView::AppendRecord(SRecordRef ref) {
    if (!m_replaying && !Channel().IsAlive(m_storeHandle)) {
        return;
    }
    const auto record = m_store.Find(ref);
    if (!record) {
        return;  // cleared or reloaded since the notice was posted
    }
    if (ref.generation != m_drawnGeneration) {
        m_drawnGeneration = ref.generation;
        m_highestDrawn.reset();
    } else if (m_highestDrawn && ref.sequence <= *m_highestDrawn) {
        return;  // a replay has drawn it already
    }
    m_highestDrawn = ref.sequence;
    m_document.SetGeneration(ref.generation);
    m_renderer.Render(m_document, RenderRecordOf(*record, ref.sequence), m_settings.showAllSources);
    ContentChanged();
}

void CConsoleView::ClearView(bool keepCapacity) {
    m_document.Clear(keepCapacity);
    m_fonts.Clear();
    m_layout.ClearFormats();
    m_highestDrawn.reset();
    m_pinned = true;
    m_top = 0;
    m_anchor = m_caret = 0;
    ContentChanged();
}

void CConsoleView::SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
    m_scheme = std::move(scheme);
    m_renderer.SetScheme(m_scheme.get());
    if (m_scheme != nullptr) {
        m_background = ColourOf(m_scheme->BackgroundColor);
    }
    Replay();
}

void CConsoleView::Replay() {
    ClearView(true);
    if (!Channel().IsAlive(m_storeHandle)) {
        return;
    }
    // Sent, not posted: nothing may be drawn between the clear and the
    // replay, and nothing is painted while it runs.
    m_replaying = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Displayed text is rarely much shorter than the records it comes from.
    m_document.Reserve(m_store.ReservedBytes());
    Channel().Send(m_storeHandle, UM_FILL_VIEW, 0, Handle());
    QApplication::restoreOverrideCursor();
    m_replaying = false;
    FlushRepaint();
}

void CConsoleView::ContentChanged() {
    m_layoutDirty = true;
    if (!m_replaying && !m_repaintTimer.isActive()) {
        m_repaintTimer.start();
    }
}

void CConsoleView::FlushRepaint() {
    m_repaintTimer.stop();
    Layout();
    UpdateScrollBar();
    viewport()->update();
}

// ---- fonts and metrics

void CConsoleView::SyncFonts() {
    m_fonts.Sync(m_document, m_layout, m_defaultFont, *this, CFontMetricsCache::Shared());
}

void CConsoleView::SyncLayout() {
    SyncFonts();
    m_layout.SetWidth(static_cast<float>(viewport()->width() - 2 * kMargin));
}

bool CConsoleView::UsesUniformAdvance() {
    SyncFonts();
    return m_layout.UsesUniformAdvance();
}

// ---- layout

int CConsoleView::FullRows() const {
    return std::max(1, viewport()->height() / std::max(1, m_fonts.RowHeight()));
}

void CConsoleView::Layout() {
    if (!m_layoutDirty && m_layoutRevision == m_document.Revision() &&
        m_layoutSize == viewport()->size()) {
        return;
    }
    SyncLayout();
    m_layoutDirty = false;
    m_layoutRevision = m_document.Revision();
    m_layoutSize = viewport()->size();
    const auto wanted = static_cast<std::size_t>(FullRows());
    if (!m_pinned) {
        // One row more than the window holds tells whether the end is in sight.
        m_rows = m_layout.RowsFrom(m_top, wanted + 1);
        m_top = m_rows.front().start;
        if (m_rows.size() > wanted) {
            m_rows.pop_back();
            return;
        }
        // The end is in sight: follow new data from here on.
        m_pinned = true;
    }
    // Pinned: the last rows of the text, bottom row at the bottom.
    m_rows = m_layout.LastRows(wanted);
    m_top = m_rows.empty() ? 0 : m_rows.front().start;
}

void CConsoleView::UpdateScrollBar() {
    const std::size_t size = m_document.Size();
    m_scale = size / 1000000000u + 1;
    const auto length = static_cast<int>(size / m_scale);
    std::size_t shown = 1;
    if (!m_rows.empty()) {
        shown = std::max<std::size_t>(1, m_rows.back().end - m_rows.front().start);
    }
    const int page = std::max(1, static_cast<int>(shown / m_scale));
    // The whole text in sight: no scrolling at all.
    const bool all = m_rows.empty() || (m_rows.front().start == 0 && m_pinned);
    const int maximum = all ? 0 : std::max(1, length - page);
    m_settingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, maximum);
    bar->setPageStep(page);
    bar->setSingleStep(1);
    bar->setValue(m_pinned ? maximum : std::min(maximum, static_cast<int>(m_top / m_scale)));
    m_settingScrollBar = false;
}

void CConsoleView::OnScrollAction(int action) {
    if (m_settingScrollBar) {
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            ScrollRows(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            ScrollRows(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            ScrollRows(std::max(1, FullRows() - 1));
            break;
        case QAbstractSlider::SliderPageStepSub:
            ScrollRows(-std::max(1, FullRows() - 1));
            break;
        case QAbstractSlider::SliderToMinimum:
            ScrollToPosition(0);
            break;
        case QAbstractSlider::SliderToMaximum:
            ScrollToEnd();
            break;
        case QAbstractSlider::SliderMove:
            if (bar->sliderPosition() >= bar->maximum()) {
                ScrollToEnd();
            } else {
                ScrollToPosition(static_cast<std::size_t>(bar->sliderPosition()) * m_scale);
            }
            break;
        default:
            return;
    }
    // Where the view really went, not where the slider would have gone.
    bar->setSliderPosition(bar->value());
}

void CConsoleView::ScrollToPosition(std::size_t position) {
    SyncLayout();
    m_pinned = false;
    m_top = m_layout.RowStartOf(std::min(position, m_document.Size()));
    m_layoutDirty = true;
    FlushRepaint();
}

void CConsoleView::ScrollToEnd() {
    m_pinned = true;
    m_layoutDirty = true;
    FlushRepaint();
}

void CConsoleView::ScrollRows(int count) {
    Layout();
    if (m_rows.empty()) {
        return;
    }
    m_top = m_layout.MoveRows(m_top, count);
    m_pinned = false;
    m_layoutDirty = true;
    FlushRepaint();
}

std::size_t CConsoleView::TopPosition() {
    Layout();
    return m_top;
}

// ---- painting

void CConsoleView::paintEvent(QPaintEvent*) {
    Layout();
    const std::vector<SPaintRow> rows =
        PaintRowsOf(m_document, m_layout, m_rows, SelectionStart(), SelectionEnd());
    const SPaintColours colours{m_background, palette().color(QPalette::Highlight),
                                palette().color(QPalette::HighlightedText)};
    QPainter painter(viewport());
    m_painter.Paint(painter, viewport()->rect(), rows, m_fonts, colours);
    ++m_paintCount;
    emit Repainted();
}

void CConsoleView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_layoutDirty = true;
    Layout();
    UpdateScrollBar();
}

// ---- hit testing and selection

std::size_t CConsoleView::HitTest(QPoint point, bool nearest) {
    Layout();
    if (m_rows.empty()) {
        return 0;
    }
    const int index = std::clamp(point.y() / std::max(1, m_fonts.RowHeight()), 0,
                                 static_cast<int>(m_rows.size()) - 1);
    const CLineLayout::SRow& row = m_rows[static_cast<std::size_t>(point.y() < 0 ? 0 : index)];
    return m_layout.HitTest(row, static_cast<float>(point.x() - kMargin), nearest);
}

CTextInfoWnd* CConsoleView::TextInfo() {
    // Made when SHIFT is first held over the view: most consoles never need it.
    if (!m_textInfo) {
        m_textInfo = std::make_unique<CTextInfoWnd>(*this);
    }
    return m_textInfo.get();
}

QPoint CConsoleView::CaretPoint() {
    Layout();
    if (m_rows.empty()) {
        return {kMargin, 0};
    }
    const std::size_t caret = m_anchor == m_caret ? m_document.Size() : m_caret;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const CLineLayout::SRow& row = m_rows[i];
        const bool last = i + 1 == m_rows.size();
        // A caret at a row's end belongs to it unless the next row starts there.
        if (caret >= row.start &&
            (caret < row.end || (caret == row.end && (last || m_rows[i + 1].start > row.end)))) {
            return {kMargin + static_cast<int>(m_layout.XOf(row, caret)),
                    static_cast<int>(i) * m_fonts.RowHeight()};
        }
    }
    return {kMargin, static_cast<int>(m_rows.size() - 1) * m_fonts.RowHeight()};
}

std::size_t CConsoleView::CharacterAt(QPoint point) {
    return HitTest(point, true);
}

std::size_t CConsoleView::CharacterUnder(QPoint point) {
    return HitTest(point, false);
}

void CConsoleView::SetSelection(std::size_t anchor, std::size_t caret) {
    m_anchor = std::min(anchor, m_document.Size());
    m_caret = std::min(caret, m_document.Size());
    viewport()->update();
}

void CConsoleView::SelectAll() {
    SetSelection(0, m_document.Size());
}

QString CConsoleView::SelectedText() const {
    const std::size_t size = m_document.Size();
    const std::size_t start = std::min(SelectionStart(), size);
    const std::size_t end = std::min(SelectionEnd(), size);
    QString out;
    out.reserve(static_cast<qsizetype>(end - start));
    const std::string_view text = m_document.Text();
    for (std::size_t i = start; i < end; ++i) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        out.append(b == '\r' ? QChar('\n') : QChar(b));
    }
    return out;
}

void CConsoleView::Copy() {
    if (SelectionStart() == SelectionEnd()) {
        return;
    }
    if (QClipboard* clipboard = QApplication::clipboard()) {
        clipboard->setText(SelectedText());
    }
}

void CConsoleView::Paste() {
    QClipboard* clipboard = QApplication::clipboard();
    if (clipboard == nullptr || m_control == kNoHandle) {
        return;
    }
    const QString text = clipboard->text();
    if (text.isEmpty()) {
        return;
    }
    const std::u16string_view wide(reinterpret_cast<const char16_t*>(text.utf16()),
                                   static_cast<std::size_t>(text.size()));
    Channel().Post(m_control, UM_SEND_TEXT, 0, 0, CPayload::Make(WideToBytes(wide)));
}

std::size_t CConsoleView::WordStart(std::size_t position) const {
    const std::string_view text = m_document.Text();
    while (position > 0 && IsWordByte(static_cast<std::uint8_t>(text[position - 1]))) {
        --position;
    }
    return position;
}

std::size_t CConsoleView::WordEnd(std::size_t position) const {
    const std::string_view text = m_document.Text();
    while (position < text.size() && IsWordByte(static_cast<std::uint8_t>(text[position]))) {
        ++position;
    }
    return position;
}

// ---- input

bool CConsoleView::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // Tab is a character for the device, not a move to the next widget:
        // QWidget::event would hand it to the focus chain before any key
        // handler saw it. Taken here whether or not the key filter sends it,
        // so that no parent moves the focus either.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
            keyPressEvent(key);
            key->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CConsoleView::keyPressEvent(QKeyEvent* event) {
    if (m_textInfo && m_textInfo->isVisible()) {
        m_textInfo->Dismiss();
    }
    if (m_keyFilter && m_keyFilter(*event)) {
        event->accept();
        return;
    }
    // Copy and paste keys are the control's (KeyRouting.h); the view keeps
    // its selection and scrolling keys.
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    switch (event->key()) {
        case Qt::Key_A:
            if (ctrl) {
                SelectAll();
                return;
            }
            break;
        case Qt::Key_PageUp:
            ScrollRows(-std::max(1, FullRows() - 1));
            return;
        case Qt::Key_PageDown:
            ScrollRows(std::max(1, FullRows() - 1));
            return;
        case Qt::Key_Home:
            if (ctrl) {
                ScrollToPosition(0);
                return;
            }
            break;
        case Qt::Key_End:
            if (ctrl) {
                ScrollToEnd();
                return;
            }
            break;
        default:
            break;
    }
    // The view edits nothing of its own.
    event->ignore();
}

void CConsoleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const std::size_t at = CharacterAt(event->position().toPoint());
    if ((event->modifiers() & Qt::ShiftModifier) != 0) {
        SetSelection(m_anchor, at);
    } else {
        SetSelection(at, at);
    }
    m_dragging = true;
}

void CConsoleView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (m_dragging && (event->buttons() & Qt::LeftButton) != 0) {
        if (point.y() < 0) {
            ScrollRows(-1);
        } else if (point.y() >= viewport()->height()) {
            ScrollRows(1);
        }
        SetSelection(m_anchor, CharacterAt(point));
        return;
    }
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    if (m_textInfo || shift) {
        TextInfo()->MouseMoved(point, shift);
    }
}

void CConsoleView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
    }
}

void CConsoleView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const std::size_t at = CharacterUnder(event->position().toPoint());
    if (at >= m_document.Size()) {
        return;
    }
    const std::size_t start = WordStart(at);
    const std::size_t end = std::max(WordEnd(at), at + 1);
    SetSelection(start, end);
    m_dragging = false;
}

void CConsoleView::wheelEvent(QWheelEvent* event) {
    // Touchpads and fine wheels send many small steps; they add up until
    // they make a row. A wheel's notch (120) is three rows; pixels, where the
    // platform has them, are taken as they are.
    const QPoint pixels = event->pixelDelta();
    const bool byPixels = !pixels.isNull();
    const int delta = byPixels ? pixels.y() : event->angleDelta().y();
    const int perRow = byPixels ? std::max(1, m_fonts.RowHeight()) : 40;
    int& pending = byPixels ? m_wheelPixels : m_wheelAngle;
    if (delta != 0) {
        if ((pending > 0 && delta < 0) || (pending < 0 && delta > 0)) {
            pending = 0;  // turned back: what was left goes the other way
        }
        pending += delta;
        const int rows = pending / perRow;
        pending -= rows * perRow;
        if (rows != 0) {
            ScrollRows(-rows);
        }
    }
    event->accept();
}

bool CConsoleView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave && m_textInfo && m_textInfo->isVisible()) {
        m_textInfo->hide();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace quillpad
