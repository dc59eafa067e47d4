#include "view/qt/CFilterView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "data/HistoryFind.h"
#include "view/PaintRows.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CSteadyScrollBar.h"
#include "view/qt/CopyRefusal.h"
#include "view/qt/NavigationKeys.h"

namespace quillpad {

namespace {

// History searched per slice: matches are placed by drawing their lines
// too, so less than a plain count takes.
constexpr std::size_t kSliceBytes = std::size_t{1} << 20;
// Lines drawn at once around one asked for.
constexpr std::uint64_t kStretchLines = 64;
// How often a finished filter looks again while the console indexes.
constexpr int kIdleMs = 100;

}  // namespace

CFilterView::CFilterView(CConsoleView& console, QWidget* parent)
    : QAbstractScrollArea(parent), m_console(console), m_painter(CConsoleView::kMargin) {
    setObjectName(QStringLiteral("filterView"));
    setFont(console.font());
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBar(new CSteadyScrollBar(Qt::Vertical, this));
    viewport()->setCursor(Qt::IBeamCursor);
    connect(&m_timer, &QTimer::timeout, this, [this] { Slice(); });
    m_subscription = console.Store().Subscribe(*this);
    hide();
}

CFilterView::~CFilterView() = default;

void CFilterView::OnStoreNotice(const SStoreNotice& notice) {
    if ((notice.HasRecords() || notice.cleared) && m_pattern && m_pattern->IsValid() &&
        !m_timer.isActive()) {
        m_timer.start(0);
    }
}

void CFilterView::Start(const SFindQuery& query) {
    m_filter.reset();
    m_pattern = std::make_unique<CBytePattern>(query);
    m_anchor = m_caret = 0;
    m_hasSelection = false;
    verticalScrollBar()->setValue(0);
    if (!m_pattern->IsValid()) {
        SetStatus(query.text.empty()
                      ? QString()
                      : tr("filter: %1").arg(QString::fromLatin1(m_pattern->Error().c_str())));
        m_timer.stop();
    } else {
        SetStatus(tr("filtering… 0%"));
        m_timer.start(0);
    }
    UpdateScrollBar();
    viewport()->update();
}

void CFilterView::Stop() {
    m_timer.stop();
    m_filter.reset();
    m_pattern.reset();
    m_status.clear();
}

bool CFilterView::Filtering() const {
    return m_pattern && m_pattern->IsValid() && (!m_filter || !m_filter->Done());
}

bool CFilterView::IndexCurrent() const {
    return m_console.Window().Index() != nullptr && !m_console.IsIndexing();
}

void CFilterView::Slice() {
    if (!m_pattern || !m_pattern->IsValid()) {
        m_timer.stop();
        return;
    }
    if (m_filter && m_console.IndexSerial() != m_indexSerial) {
        // A clear, a load or another scheme: the lines so far name nothing.
        m_filter.reset();
        m_anchor = m_caret = 0;
        m_hasSelection = false;
    }
    if (!m_filter) {
        if (!IndexCurrent()) {
            // The console indexes its history in slices of its own.
            SetStatus(tr("filtering… 0%"));
            m_timer.start(kIdleMs / 10);
            return;
        }
        m_console.TextSize();  // takes in what the store holds
        m_indexSerial = m_console.IndexSerial();
        m_filter = std::make_unique<CLineFilter>(m_console.Store(), *m_console.Window().Index(),
                                                 *m_pattern);
    }
    const QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() > 0 && bar->value() == bar->maximum();
    const std::size_t before = m_filter->Lines().size();
    if (m_filter->Done()) {
        if (isVisible() && !m_console.IsIndexing()) {
            m_console.TextSize();
        }
        m_filter->TakeInNewRecords();
    }
    if (m_filter->Done()) {
        // The store's notice wakes it for new records; only while the
        // console's index lags does it look again by itself.
        if (m_console.IsIndexing() || m_filter->Behind()) {
            m_timer.start(kIdleMs);
        } else {
            m_timer.stop();
        }
    } else {
        m_filter->Step(kSliceBytes);
        m_timer.start(0);
    }
    const std::size_t count = m_filter->Lines().size();
    if (m_filter->Done()) {
        QString text = count == 1 ? tr("1 line") : tr("%1 lines").arg(count);
        if (m_filter->Capped()) {
            text += tr(" (more match; only the first %1 are kept)").arg(CLineFilter::kMaxLines);
        }
        SetStatus(text);
    } else {
        SetStatus(tr("filtering… %1%").arg(static_cast<int>(m_filter->Progress() * 100)));
    }
    if (count != before) {
        UpdateScrollBar(atEnd);
        viewport()->update();
    }
}

void CFilterView::SetStatus(const QString& text) {
    if (text != m_status) {
        m_status = text;
        emit StatusChanged(text);
    }
}

std::vector<std::uint64_t> CFilterView::Lines() const {
    return m_filter ? m_filter->Lines() : std::vector<std::uint64_t>{};
}

void CFilterView::DrawLines(std::size_t first, std::size_t last, CDisplayDocument& out,
                            std::vector<std::string>* stamps) {
    out.Clear();
    if (stamps != nullptr) {
        stamps->clear();
    }
    const CLineIndex* index = m_console.Window().Index();
    if (!m_filter || index == nullptr || m_console.IndexSerial() != m_indexSerial) {
        return;
    }
    const CDataStore& store = m_console.Store();
    out.SetGeneration(store.Generation());
    const std::vector<std::uint64_t>& lines = m_filter->Lines();
    last = std::min(last, lines.size());
    const SStampRequest request = m_console.StampRequest();
    const bool stamped = stamps != nullptr && request.mode != EStampMode::Off;
    // The tick of the record that starts the stretch's line `k`.
    const auto startTick = [&](std::size_t k) -> std::optional<std::uint32_t> {
        if (k > 0 || m_place.start == m_place.firstLineStart) {
            return TickAt(m_stretch, m_stretch.LineStart(k), store);
        }
        return TickBefore(*index, store, static_cast<std::size_t>(m_place.firstLineStart) + 1);
    };
    // Drawn afresh for each call: the open last line may have grown since.
    bool drawn = false;
    bool reachesEnd = false;
    for (std::size_t i = first; i < last; ++i) {
        const std::uint64_t line = lines[i];
        // A stretch holds a line whole when it is not the stretch's first
        // (which may start inside it) nor its last (which may stop inside it).
        const bool held = drawn &&
                          (line > m_place.firstLine || (line == m_place.firstLine &&
                                                        m_place.start == m_place.firstLineStart)) &&
                          (line + 1 < m_place.firstLine + m_stretch.LineCount() || reachesEnd);
        if (!held) {
            m_place = index->RenderLines(
                store, line, std::min<std::uint64_t>(line + kStretchLines, index->LineCount()),
                m_stretch);
            reachesEnd = m_place.start + m_stretch.Size() >= index->TextSize();
            drawn = true;
        }
        const std::size_t k = static_cast<std::size_t>(line - m_place.firstLine);
        if (k >= m_stretch.LineCount()) {
            continue;
        }
        const std::size_t from = m_stretch.LineStart(k);
        const std::size_t to = m_stretch.LineEnd(k);
        if (stamped) {
            // The line's own stamp, measured from the line before it in the
            // history, not the filtered line before.
            std::string stamp;
            if (const auto tick = startTick(k)) {
                std::optional<std::uint32_t> previous;
                if (request.mode == EStampMode::SincePrevious && line > 0) {
                    previous =
                        k > 0 ? startTick(k - 1)
                              : PreviousLineTick(*index, store,
                                                 static_cast<std::size_t>(m_place.firstLineStart));
                }
                stamp = StampOf(request.mode, *tick, previous, request.base);
            }
            stamps->push_back(std::move(stamp));
        }
        std::uint32_t sequence = 0;
        for (std::size_t at = from; at < to;) {
            const std::size_t run = m_stretch.RunAt(at);
            const std::size_t end =
                std::min({m_stretch.RunEnd(run), to, m_stretch.NextRecordStart(at)});
            sequence = m_stretch.SequenceAt(at).value_or(sequence);
            out.ApplyFormat(m_stretch.Format(m_stretch.RunFormat(run)));
            out.AppendRun(m_stretch.Text().substr(at, end - at), sequence);
            at = end;
        }
        out.AppendRun("\n", sequence);
    }
    store.TrimWindows();
}

QString CFilterView::LinesText(std::size_t first, std::size_t last) {
    CDisplayDocument document;
    std::vector<std::string> stamps;
    DrawLines(first, last, document, &stamps);
    const std::string_view text = document.Text();
    if (stamps.empty()) {
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    // A copy takes the stamps when they are shown, as the console's does.
    QString out;
    for (std::size_t i = 0; i + 1 < document.LineCount() && i < stamps.size(); ++i) {
        const std::string_view line =
            text.substr(document.LineStart(i), document.LineStart(i + 1) - document.LineStart(i));
        out += QString::fromLatin1(stamps[i].data(), static_cast<qsizetype>(stamps[i].size()));
        out += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    }
    return out;
}

std::size_t CFilterView::TopLine() const {
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

void CFilterView::ScrollToLine(std::size_t line) {
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(line, INT32_MAX)));
}

int CFilterView::RowHeight() const {
    return std::max(1, m_fonts.Count() > 0 ? m_fonts.RowHeight() : fontMetrics().height());
}

int CFilterView::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

void CFilterView::UpdateScrollBar(bool toEnd) {
    const std::size_t count = m_filter ? m_filter->Lines().size() : 0;
    const int rows = VisibleRows();
    const int maximum = static_cast<int>(std::min<std::size_t>(
        count > static_cast<std::size_t>(rows) ? count - static_cast<std::size_t>(rows) : 0,
        INT32_MAX));
    auto* bar = static_cast<CSteadyScrollBar*>(verticalScrollBar());
    bar->setSingleStep(1);
    bar->SetPlace(maximum, rows, toEnd ? maximum : std::min(bar->value(), maximum));
}

void CFilterView::SelectLines(std::size_t anchor, std::size_t caret) {
    const std::size_t count = m_filter ? m_filter->Lines().size() : 0;
    m_hasSelection = count > 0;
    m_anchor = std::min(anchor, count > 0 ? count - 1 : 0);
    m_caret = std::min(caret, count > 0 ? count - 1 : 0);
    viewport()->update();
}

void CFilterView::Copy() {
    if (!m_hasSelection) {
        return;
    }
    const std::size_t lines = SelectionEnd() - SelectionStart();
    if (lines > m_copyLimit) {
        TellCopyRefused(this, m_notifier,
                        tr("The selection is too large to copy (%1 lines; at most %2 can be "
                           "copied). Select fewer lines.")
                            .arg(lines)
                            .arg(m_copyLimit));
        return;
    }
    if (QClipboard* clipboard = QApplication::clipboard()) {
        clipboard->setText(LinesText(SelectionStart(), SelectionEnd()));
    }
}

void CFilterView::paintEvent(QPaintEvent*) {
    const std::size_t top = TopLine();
    const auto rows = static_cast<std::size_t>(VisibleRows()) + 1;
    std::vector<std::string> stamps;
    DrawLines(top, top + rows, m_shown, &stamps);
    m_gutter.SetShown(!stamps.empty());
    m_gutter.SetStyle(m_console.Scheme(), font(), m_console.Background());
    m_fonts.Clear();
    m_layout.ClearFormats();
    m_fonts.Sync(m_shown, m_layout, font(), *this, CFontMetricsCache::Shared());
    if (verticalScrollBar()->pageStep() != VisibleRows()) {
        // The rows' height is known from the style's fonts, now measured:
        // the range set before this (at the first lines) counted by the
        // widget's font.
        UpdateScrollBar();
    }
    // One row a line: what passes the right edge is cut.
    m_layout.SetWidth(1e9F);
    std::vector<CLineLayout::SRow> layoutRows;
    for (std::size_t i = 0; i + 1 < m_shown.LineCount(); ++i) {
        layoutRows.push_back({m_shown.LineStart(i), m_shown.LineEnd(i)});
    }
    std::size_t selStart = 0;
    std::size_t selEnd = 0;
    if (m_hasSelection && SelectionEnd() > top && SelectionStart() < top + layoutRows.size()) {
        const std::size_t first = std::max(SelectionStart(), top) - top;
        const std::size_t last = std::min(SelectionEnd(), top + layoutRows.size()) - top;
        selStart = m_shown.LineStart(first);
        selEnd = m_shown.LineStart(last);
    }
    const std::vector<SPaintRow> paintRows =
        PaintRowsOf(m_shown, m_layout, layoutRows, selStart, selEnd);
    const SPaintColours colours{m_console.Background(), palette().color(QPalette::Highlight),
                                palette().color(QPalette::HighlightedText)};
    QPainter painter(viewport());
    // The stamps stand left of the lines, as in the console.
    const int gutter = m_gutter.Width();
    m_painter.Paint(painter, viewport()->rect().adjusted(gutter, 0, 0, 0), paintRows, m_fonts,
                    colours);
    if (gutter > 0) {
        stamps.resize(layoutRows.size());
        m_gutter.Paint(painter, QRect(0, 0, gutter + CConsoleView::kMargin, viewport()->height()),
                       m_console.Background(), m_fonts.RowHeight(), m_fonts.Ascent(), stamps);
    }
}

void CFilterView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void CFilterView::scrollContentsBy(int, int) {
    viewport()->update();
}

std::size_t CFilterView::LineAt(int y) const {
    return TopLine() + static_cast<std::size_t>(std::max(0, y) / RowHeight());
}

void CFilterView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit EscapePressed();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    const ENavigation move = NavigationOf(*event);
    if (move == ENavigation::SelectAll) {
        const std::size_t count = m_filter ? m_filter->Lines().size() : 0;
        if (count > 0) {
            SelectLines(0, count - 1);
        }
        return;
    }
    if (m_keyFilter && m_keyFilter(*event)) {
        event->accept();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    switch (move) {
        case ENavigation::PageUp:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            return;
        case ENavigation::PageDown:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return;
        case ENavigation::ToStart:
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
            return;
        case ENavigation::ToEnd:
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
            return;
        default:
            break;
    }
    QAbstractScrollArea::keyPressEvent(event);  // the arrow keys
}

void CFilterView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const std::size_t line = LineAt(event->position().toPoint().y());
    const std::size_t count = m_filter ? m_filter->Lines().size() : 0;
    if (line >= count) {
        m_hasSelection = false;
        viewport()->update();
        return;
    }
    SelectLines(event->modifiers() & Qt::ShiftModifier && m_hasSelection ? m_anchor : line, line);
}

void CFilterView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton && m_hasSelection) {
        SelectLines(m_anchor, LineAt(event->position().toPoint().y()));
    }
}

}  // namespace quillpad
