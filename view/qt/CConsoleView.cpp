#include "view/qt/CConsoleView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "platform/Bytes.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

// Bytes that take no room on screen: C0 and C1 controls and DEL. A tab is
// handled by itself.
constexpr bool IsInvisible(std::uint8_t b) {
    return b < 0x20 || (b >= 0x7F && b < 0xA0);
}

constexpr bool IsWordByte(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b >= 0xC0;
}

QColor ColourOf(std::uint32_t c) {
    return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c));
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
    m_textInfo = std::make_unique<CTextInfoWnd>(*this);
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
            const CStyleScheme* scheme = nullptr;
            if (const auto* p = message.payload.Get<const CStyleScheme*>()) {
                scheme = *p;
            } else if (const auto* q = message.payload.Get<CStyleScheme*>()) {
                scheme = *q;
            }
            SetScheme(scheme);
            return 0;
        }
        case UM_RENDER_TEXT:
            if (auto* request = message.payload.Get<SRenderTextRequest>();
                request != nullptr && request->text != nullptr) {
                *request->text = CStyledRenderer::RenderToString(Scheme(), request->record);
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
    m_renderer.Render(m_document, RenderRecordOf(*record, ref.sequence), m_settings.showAllSources);
    ContentChanged();
}

void CConsoleView::ClearView(bool keepCapacity) {
    m_document.Clear(keepCapacity);
    m_fonts.clear();
    m_highestDrawn.reset();
    m_pinned = true;
    m_top = 0;
    m_anchor = m_caret = 0;
    ContentChanged();
}

void CConsoleView::SetScheme(const CStyleScheme* scheme) {
    m_renderer.SetScheme(scheme);
    if (scheme != nullptr) {
        m_background = ColourOf(scheme->BackgroundColor);
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
    const std::size_t count = m_document.FormatCount();
    if (m_fonts.size() == count) {
        return;
    }
    if (m_fonts.size() > count) {
        m_fonts.clear();
    }
    const qreal dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    while (m_fonts.size() < count) {
        const SCharFormat& f = m_document.Format(m_fonts.size());
        SFontEntry e;
        e.font = m_defaultFont;
        if (!f.FaceName().empty()) {
            e.font.setFamily(QString::fromLatin1(f.FaceName().data(),
                                                 static_cast<qsizetype>(f.FaceName().size())));
            // FIXED_PITCH or FF_MODERN: any fixed-pitch face will do.
            if ((f.bPitchAndFamily & 0x3) == 1 || (f.bPitchAndFamily & 0xF0) == 0x30) {
                e.font.setStyleHint(QFont::TypeWriter);
                e.font.setFixedPitch(true);
            }
        }
        if (f.yHeight > 0) {
            e.font.setPointSizeF(f.yHeight / 20.0);
        }
        e.font.setBold((f.dwEffects & kEffectBold) != 0);
        e.font.setItalic((f.dwEffects & kEffectItalic) != 0);
        e.font.setUnderline((f.dwEffects & kEffectUnderline) != 0);
        e.font.setStrikeOut((f.dwEffects & kEffectStrikeOut) != 0);
        e.colour = ColourOf(f.crTextColor);
        e.offset = static_cast<int>(std::lround(f.yOffset / 20.0 * dpi / 72.0));
        const QFontMetricsF metrics(e.font, this);
        for (unsigned b = 0; b < 256; ++b) {
            e.advance[b] = IsInvisible(static_cast<std::uint8_t>(b))
                               ? 0.0f
                               : static_cast<float>(metrics.horizontalAdvance(QChar(b)));
        }
        e.ascent = static_cast<int>(std::ceil(metrics.ascent()));
        e.descent = static_cast<int>(std::ceil(metrics.descent()));
        m_fonts.push_back(std::move(e));
    }
    // The shared metrics: one row height for all, and the fast wrap when
    // every printable byte of every format is equally wide.
    int above = 1;
    int below = 0;
    float uniform = m_fonts.front().advance['M'];
    for (const SFontEntry& e : m_fonts) {
        above = std::max(above, e.ascent + std::max(e.offset, 0));
        below = std::max(below, e.descent + std::max(-e.offset, 0));
        for (unsigned b = 0x20; b < 256 && uniform > 0; ++b) {
            if (!IsInvisible(static_cast<std::uint8_t>(b)) && e.advance[b] != uniform) {
                uniform = 0;
            }
        }
    }
    m_ascent = above;
    m_rowHeight = above + below;
    m_uniformAdvance = uniform;
    m_spaceAdvance = std::max(1.0f, m_fonts.front().advance[' ']);
}

bool CConsoleView::UsesUniformAdvance() {
    SyncFonts();
    return m_uniformAdvance > 0;
}

float CConsoleView::TabStop(float x) const {
    const float tab = 8 * m_spaceAdvance;
    return (std::floor(x / tab) + 1) * tab;
}

// ---- layout

CConsoleView::SChunk CConsoleView::WrapChunk(std::size_t line, std::size_t position,
                                             std::vector<SRow>& rows) {
    rows.clear();
    const std::size_t ls = m_document.LineStart(line);
    const std::size_t le = m_document.LineEnd(line);
    const std::size_t lastChunk = le > ls ? (le - ls - 1) / kLayoutChunk : 0;
    const std::size_t k = std::min((std::max(position, ls) - ls) / kLayoutChunk, lastChunk);
    const std::size_t cs = ls + k * kLayoutChunk;
    const std::size_t ce = std::min(le, cs + kLayoutChunk);
    const float width =
        std::max(static_cast<float>(viewport()->width() - 2 * kMargin), 4 * m_spaceAdvance);
    const auto* text = reinterpret_cast<const std::uint8_t*>(m_document.Text().data());

    // Advance of one byte at p, x being where it starts.
    std::size_t run = 0;
    std::size_t runEnd = 0;
    const SFontEntry* font = &m_fonts.front();
    auto advance = [&](std::size_t p, float x) -> float {
        const std::uint8_t b = text[p];
        if (b == '\t') {
            return TabStop(x) - x;
        }
        if (m_uniformAdvance > 0) {
            return IsInvisible(b) ? 0.0f : m_uniformAdvance;
        }
        if (p >= runEnd || p < m_document.RunStart(run)) {
            run = m_document.RunAt(p);
            runEnd = m_document.RunEnd(run);
            font = &FontOf(m_document.RunFormat(run));
        }
        return font->advance[b];
    };

    std::size_t rowStart = cs;
    std::size_t wordBreak = 0;  // after the last space of this row, 0 for none
    float x = 0;
    for (std::size_t p = cs; p < ce; ++p) {
        float w = advance(p, x);
        while (x + w > width && p > rowStart) {
            const std::size_t next = wordBreak > rowStart ? wordBreak : p;
            rows.push_back(SRow{rowStart, next});
            rowStart = next;
            wordBreak = 0;
            x = 0;
            for (std::size_t q = rowStart; q < p; ++q) {
                x += advance(q, x);
            }
            w = advance(p, x);
        }
        x += w;
        if (text[p] == ' ') {
            wordBreak = p + 1;
        }
    }
    rows.push_back(SRow{rowStart, ce});
    return SChunk{line, cs, ce, ls, le};
}

CConsoleView::SChunk CConsoleView::NextChunk(const SChunk& chunk, std::vector<SRow>& rows,
                                             bool& ok) {
    ok = true;
    if (chunk.end < chunk.lineEnd) {
        return WrapChunk(chunk.line, chunk.end, rows);
    }
    if (chunk.line + 1 < m_document.LineCount()) {
        return WrapChunk(chunk.line + 1, m_document.LineStart(chunk.line + 1), rows);
    }
    ok = false;
    return chunk;
}

CConsoleView::SChunk CConsoleView::PreviousChunk(const SChunk& chunk, std::vector<SRow>& rows,
                                                 bool& ok) {
    ok = true;
    if (chunk.start > chunk.lineStart) {
        return WrapChunk(chunk.line, chunk.start - 1, rows);
    }
    if (chunk.line > 0) {
        return WrapChunk(chunk.line - 1, m_document.LineEnd(chunk.line - 1), rows);
    }
    ok = false;
    return chunk;
}

int CConsoleView::FullRows() const {
    return std::max(1, viewport()->height() / std::max(1, m_rowHeight));
}

void CConsoleView::Layout() {
    if (!m_layoutDirty && m_layoutRevision == m_document.Revision() &&
        m_layoutSize == viewport()->size()) {
        return;
    }
    SyncFonts();
    m_layoutDirty = false;
    m_layoutRevision = m_document.Revision();
    m_layoutSize = viewport()->size();
    m_rows.clear();
    const auto wanted = static_cast<std::size_t>(FullRows());
    std::vector<SRow> rows;

    if (!m_pinned) {
        m_top = std::min(m_top, m_document.Size());
        SChunk chunk = WrapChunk(m_document.LineOf(m_top), m_top, rows);
        auto it = std::upper_bound(rows.begin(), rows.end(), m_top,
                                   [](std::size_t p, const SRow& r) { return p < r.start; });
        std::size_t i = static_cast<std::size_t>(it - rows.begin()) - 1;
        m_top = rows[i].start;
        bool ok = true;
        while (m_rows.size() <= wanted) {
            for (; i < rows.size() && m_rows.size() <= wanted; ++i) {
                m_rows.push_back(rows[i]);
            }
            if (m_rows.size() > wanted) {
                break;
            }
            chunk = NextChunk(chunk, rows, ok);
            if (!ok) {
                break;
            }
            i = 0;
        }
        if (m_rows.size() > wanted) {
            m_rows.pop_back();  // one row beyond the window: the end is not in sight
            return;
        }
        // The end is in sight: follow new data from here on.
        m_pinned = true;
        m_rows.clear();
    }

    // Pinned: the last rows of the text, bottom row at the bottom.
    const std::size_t lastLine = m_document.LineCount() - 1;
    SChunk chunk = WrapChunk(lastLine, m_document.Size(), rows);
    std::vector<SRow> reversed;
    bool ok = true;
    while (reversed.size() < wanted && ok) {
        for (auto r = rows.rbegin(); r != rows.rend() && reversed.size() < wanted; ++r) {
            reversed.push_back(*r);
        }
        if (reversed.size() < wanted) {
            chunk = PreviousChunk(chunk, rows, ok);
        }
    }
    m_rows.assign(reversed.rbegin(), reversed.rend());
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

std::size_t CConsoleView::RowStartOf(std::size_t position) {
    std::vector<SRow> rows;
    WrapChunk(m_document.LineOf(position), position, rows);
    std::size_t start = rows.front().start;
    for (const SRow& r : rows) {
        if (r.start <= position) {
            start = r.start;
        }
    }
    return start;
}

void CConsoleView::ScrollToPosition(std::size_t position) {
    SyncFonts();
    m_pinned = false;
    m_top = RowStartOf(std::min(position, m_document.Size()));
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
    std::vector<SRow> rows;
    SChunk chunk = WrapChunk(m_document.LineOf(m_top), m_top, rows);
    std::size_t i = 0;
    while (i + 1 < rows.size() && rows[i + 1].start <= m_top) {
        ++i;
    }
    bool ok = true;
    for (; count < 0 && ok; ++count) {
        if (i > 0) {
            --i;
        } else {
            chunk = PreviousChunk(chunk, rows, ok);
            if (ok) {
                i = rows.size() - 1;
            }
        }
    }
    for (; count > 0 && ok; --count) {
        if (i + 1 < rows.size()) {
            ++i;
        } else {
            chunk = NextChunk(chunk, rows, ok);
            if (ok) {
                i = 0;
            }
        }
    }
    m_pinned = false;
    m_top = rows[i].start;
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
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_background);
    const std::size_t size = m_document.Size();
    const std::size_t selStart = std::min(SelectionStart(), size);
    const std::size_t selEnd = std::min(SelectionEnd(), size);
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlightText = palette().color(QPalette::HighlightedText);
    const char* text = m_document.Text().data();

    int y = 0;
    for (const SRow& row : m_rows) {
        const int baseline = y + m_ascent;
        float x = kMargin;
        std::size_t p = row.start;
        while (p < row.end) {
            const std::size_t run = m_document.RunAt(p);
            const SFontEntry& font = FontOf(m_document.RunFormat(run));
            const std::size_t runEnd = std::min(m_document.RunEnd(run), row.end);
            painter.setFont(font.font);
            while (p < runEnd) {
                // A piece: bytes drawn in one call, up to a tab, an invisible
                // byte or an edge of the selection.
                const bool selected = p >= selStart && p < selEnd;
                std::size_t q = p;
                float width = 0;
                if (text[q] == '\t') {
                    width = TabStop(x - kMargin) - (x - kMargin);
                    ++q;
                } else {
                    while (q < runEnd && text[q] != '\t' &&
                           (q >= selStart && q < selEnd) == selected) {
                        width += font.advance[static_cast<std::uint8_t>(text[q])];
                        ++q;
                    }
                }
                if (selected) {
                    painter.fillRect(QRectF(x, y, width, m_rowHeight), highlight);
                }
                if (text[p] != '\t') {
                    painter.setPen(selected ? highlightText : font.colour);
                    QString piece;
                    piece.reserve(static_cast<qsizetype>(q - p));
                    for (std::size_t i = p; i < q; ++i) {
                        const auto b = static_cast<std::uint8_t>(text[i]);
                        if (!IsInvisible(b)) {
                            piece.append(QChar(b));
                        }
                    }
                    painter.drawText(QPointF(x, baseline - font.offset), piece);
                }
                x += width;
                p = q;
            }
        }
        // A selected line break shows as a little room after the row.
        if (row.end < size && row.end >= selStart && row.end < selEnd &&
            (text[row.end] == '\r' || text[row.end] == '\n')) {
            painter.fillRect(QRectF(x, y, m_spaceAdvance, m_rowHeight), highlight);
        }
        y += m_rowHeight;
    }
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
    const int index =
        std::clamp(point.y() / std::max(1, m_rowHeight), 0, static_cast<int>(m_rows.size()) - 1);
    const SRow& row = m_rows[static_cast<std::size_t>(point.y() < 0 ? 0 : index)];
    const char* text = m_document.Text().data();
    float x = kMargin;
    for (std::size_t p = row.start; p < row.end; ++p) {
        const auto b = static_cast<std::uint8_t>(text[p]);
        float w = 0;
        if (b == '\t') {
            w = TabStop(x - kMargin) - (x - kMargin);
        } else {
            w = FontOf(m_document.RunFormat(m_document.RunAt(p))).advance[b];
        }
        if (point.x() < x + (nearest ? w / 2 : w)) {
            return p;
        }
        x += w;
    }
    return row.end;
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

void CConsoleView::keyPressEvent(QKeyEvent* event) {
    if (m_textInfo && m_textInfo->isVisible()) {
        m_textInfo->Dismiss();
    }
    if (m_keyFilter && m_keyFilter(*event)) {
        event->accept();
        return;
    }
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    switch (event->key()) {
        case Qt::Key_C:
            if (ctrl) {
                Copy();
                return;
            }
            break;
        case Qt::Key_V:
            if (ctrl) {
                Paste();
                return;
            }
            break;
        case Qt::Key_A:
            if (ctrl) {
                SelectAll();
                return;
            }
            break;
        case Qt::Key_Insert:
            ctrl ? Copy() : Paste();
            return;
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
    if (m_textInfo) {
        m_textInfo->MouseMoved(point, (event->modifiers() & Qt::ShiftModifier) != 0);
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
    const int steps = event->angleDelta().y() / 40;  // three rows a notch
    if (steps != 0) {
        ScrollRows(-steps);
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
