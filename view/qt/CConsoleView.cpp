#include "view/qt/CConsoleView.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/Bytes.h"
#include "view/PaintRows.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CSteadyScrollBar.h"
#include "view/qt/CTextInfoWnd.h"
#include "view/qt/CharFormatQt.h"
#include "view/qt/CopyRefusal.h"
#include "view/qt/NavigationKeys.h"

namespace quillpad {

CConsoleView::CConsoleView(CMessageChannel& channel, const CDataStore& store,
                           const SViewSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent),
      CMessageTarget(channel),
      m_storeHandle(store.Handle()),
      m_model(channel, store, settings, *this) {
    m_defaultFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_defaultFont.setPointSizeF(10);
    setFont(m_defaultFont);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollBar = new CSteadyScrollBar(Qt::Vertical, this);
    m_scrollBar->setSingleStep(1);
    setVerticalScrollBar(m_scrollBar);
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
    connect(&m_repaintTimer, &QTimer::timeout, this, &CConsoleView::RepaintNow);
    m_buildTimer.setInterval(0);
    connect(&m_buildTimer, &QTimer::timeout, this, [this] { m_model.BuildStep(); });
    ApplyStampStyle();
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
            return m_model.AppendRecord(AppendNoticeRef(message)) ? kAppendTookAll : 0;
        case UM_CLEAR_DATA:
            m_model.Clear();
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
        default:
            return 0;
    }
}

SRenderTextStamps CConsoleView::RenderText(const SDataRecord& record, std::string& text) const {
    text.clear();
    CStyledRenderer::AppendToString(text, Scheme(), record);
    return SRenderTextStamps{m_model.StyleGaps(), Settings().stampGapMs};
}

void CConsoleView::SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
    if (scheme != nullptr) {
        m_background = ColourOf(scheme->BackgroundColor);
    }
    m_model.SetScheme(std::move(scheme));
    m_gutter.SetStyle(Scheme(), m_defaultFont, m_background);
}

// ---- what the model asks

void CConsoleView::SyncFormats(const CDisplayDocument& document, CLineLayout& layout) {
    // Every drawing is a new document with a format table of its own.
    m_fonts.Clear();
    layout.ClearFormats();
    m_fonts.Sync(document, layout, m_defaultFont, *this, CFontMetricsCache::Shared());
}

float CConsoleView::TextWidth() const {
    return static_cast<float>(viewport()->width() - 2 * kMargin - m_gutter.Width());
}

int CConsoleView::FullRows() const {
    return std::max(1, viewport()->height() / std::max(1, m_fonts.RowHeight()));
}

IConsoleHost::SRoom CConsoleView::Room() const {
    return SRoom{viewport()->width(), viewport()->height()};
}

void CConsoleView::WantTurns(bool want) {
    if (want) {
        m_buildTimer.start();
    } else {
        m_buildTimer.stop();
    }
}

void CConsoleView::RepaintSoon() {
    if (!m_repaintTimer.isActive()) {
        m_repaintTimer.start();
    }
}

void CConsoleView::RepaintNow() {
    m_repaintTimer.stop();
    m_model.Layout();
    UpdateScrollBar();
    viewport()->update();
}

void CConsoleView::Redraw() {
    viewport()->update();
}

void CConsoleView::Copy() {
    m_model.Copy();
}

bool CConsoleView::UsesUniformAdvance() {
    m_model.Layout();
    return m_model.ShownLayout().UsesUniformAdvance();
}

// ---- scrolling

void CConsoleView::UpdateScrollBar() {
    const CConsoleModel::SScrollPlace place = m_model.ScrollPlace();
    m_settingScrollBar = true;
    m_scrollBar->SetPlace(place.maximum, place.page, place.value);
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
            m_model.UserScrollTo(0);
            break;
        case QAbstractSlider::SliderToMaximum:
            ScrollToEnd();
            break;
        case QAbstractSlider::SliderMove:
            if (bar->sliderPosition() >= bar->maximum()) {
                ScrollToEnd();
            } else {
                m_model.UserScrollTo(static_cast<std::size_t>(bar->sliderPosition()) *
                                     m_model.Scale());
            }
            break;
        default:
            return;
    }
    // Where the view really went, not where the slider would have gone.
    bar->setSliderPosition(bar->value());
}

// ---- painting

void CConsoleView::paintEvent(QPaintEvent*) {
    m_model.Layout();
    const std::vector<CLineLayout::SRow> local = m_model.LocalRows();
    const auto [selStart, selEnd] = m_model.ShownSelection();
    const std::vector<STextRange> marks = m_model.ShownMarks(local);
    const std::vector<SPaintRow> rows =
        PaintRowsOf(m_model.ShownDocument(), m_model.ShownLayout(), local, selStart, selEnd, marks);
    SPaintColours colours{m_background, palette().color(QPalette::Highlight),
                          palette().color(QPalette::HighlightedText)};
    // The selection's colour, faint: the current match stands out among them.
    colours.mark = colours.highlight;
    colours.mark.setAlpha(kMarkAlpha);
    QPainter painter(viewport());
    // The stamps' column stands left of the text, which is drawn as if it
    // were not there.
    const int gutter = m_gutter.Width();
    m_painter.Paint(painter, viewport()->rect().adjusted(gutter, 0, 0, 0), rows, m_fonts, colours);
    if (gutter > 0) {
        m_gutter.Paint(painter, QRect(0, 0, gutter + kMargin, viewport()->height()), m_background,
                       m_fonts.RowHeight(), m_fonts.Ascent(), m_model.RowStampsInSight());
    }
    ++m_paintCount;
    emit Repainted();
}

void CConsoleView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_model.Invalidate();
    m_model.Layout();
    UpdateScrollBar();
}

void CConsoleView::SetFindMarks(const IFindMarks* marks) {
    m_model.SetFindMarks(marks);
    viewport()->update();
}

// ---- stamps

void CConsoleView::ApplyStampStyle() {
    m_gutter.SetShown(Settings().stampMode != EStampMode::Off);
    m_gutter.SetStyle(Scheme(), m_defaultFont, m_background);
    m_model.ApplyStampStyle();
}

void CConsoleView::StampsChanged() {
    ApplyStampStyle();
    RepaintNow();
}

// ---- hit testing, selection and the clipboard

std::size_t CConsoleView::HitTest(QPoint point, bool nearest) {
    const int row = std::max(0, point.y()) / std::max(1, m_fonts.RowHeight());
    return m_model.HitTest(static_cast<std::size_t>(row),
                           static_cast<float>(point.x() - kMargin - m_gutter.Width()), nearest);
}

CTextInfoWnd* CConsoleView::TextInfo() {
    // Made when SHIFT is first held over the view: most consoles never need it.
    if (!m_textInfo) {
        m_textInfo = std::make_unique<CTextInfoWnd>(*this);
    }
    return m_textInfo.get();
}

QPoint CConsoleView::CaretPoint() {
    const auto [row, x] = m_model.CaretPlace();
    return {kMargin + m_gutter.Width() + static_cast<int>(x),
            static_cast<int>(row) * m_fonts.RowHeight()};
}

QString CConsoleView::SelectedText() const {
    const std::string text = m_model.SelectedText();
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void CConsoleView::CopyNow() {
    const std::size_t size = SelectionEnd() - SelectionStart();
    if (size == 0) {
        return;
    }
    if (size > m_copyLimit) {
        const QString text =
            QStringLiteral(
                "The selection is too large to copy (%1 MB; at most %2 MB can be "
                "copied). Select less, or use Save Buffer to write the history to a "
                "file.")
                .arg(size >> 20)
                .arg(std::max<std::size_t>(1, m_copyLimit >> 20));
        TellCopyRefused(this, m_notifier, text);
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
    if (event->key() == Qt::Key_Shift) {
        // SHIFT itself shows the hover window where the pointer rests.
        const QPoint point = viewport()->mapFromGlobal(QCursor::pos());
        if (viewport()->rect().contains(point)) {
            TextInfo()->MouseMoved(point, true);
        }
    } else if (m_textInfo && m_textInfo->isVisible()) {
        m_textInfo->Dismiss();
    }
    if (m_keyFilter && m_keyFilter(*event)) {
        event->accept();
        return;
    }
    // Copy and paste keys are the control's (KeyRouting.h); the view keeps
    // its selection and scrolling keys, and edits nothing of its own.
    const int page = std::max(1, FullRows() - 1);
    switch (NavigationOf(*event)) {
        case ENavigation::PageUp:
            ScrollRows(-page);
            return;
        case ENavigation::PageDown:
            ScrollRows(page);
            return;
        case ENavigation::ToStart:
            m_model.UserScrollTo(0);
            return;
        case ENavigation::ToEnd:
            ScrollToEnd();
            return;
        case ENavigation::SelectAll:
            SelectAll();
            return;
        case ENavigation::None:
            break;
    }
    event->ignore();
}

void CConsoleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const std::size_t at = CharacterAt(event->position().toPoint());
    if ((event->modifiers() & Qt::ShiftModifier) != 0) {
        m_model.SelectShown(m_model.Anchor(), at);
    } else {
        m_model.SelectShown(at, at);
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
        m_model.SelectShown(m_model.Anchor(), CharacterAt(point));
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
    m_model.SelectWordAt(CharacterUnder(event->position().toPoint()));
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

void CConsoleView::keyReleaseEvent(QKeyEvent* event) {
    // The hover window goes with SHIFT, not at the next move of the mouse.
    if (event->key() == Qt::Key_Shift && m_textInfo) {
        m_textInfo->MouseMoved(QPoint(), false);
    }
    QAbstractScrollArea::keyReleaseEvent(event);
}

bool CConsoleView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave && m_textInfo && m_textInfo->isVisible()) {
        m_textInfo->hide();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace quillpad
