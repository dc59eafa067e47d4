#include "view/qt/CConsoleView.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/Bytes.h"
#include "platform/TurnBudget.h"
#include "view/PaintRows.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CFontMetricsCache.h"
#include "view/qt/CSteadyScrollBar.h"
#include "view/qt/CTextInfoWnd.h"
#include "view/qt/CharFormatQt.h"
#include "view/qt/CopyRefusal.h"

namespace quillpad {
namespace {

constexpr bool IsWordByte(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b >= 0xC0;
}

// One turn of indexing: slices of this many record bytes until the turn's
// time is used.
constexpr std::size_t kSliceBytes = std::size_t{256} << 10;
constexpr qint64 kTurnNanoseconds = 4'000'000;
// With an action waiting for the index, a turn may take this long.
constexpr qint64 kPriorityTurnNanoseconds = 8'000'000;
// The tail drawn for a new scheme renders at most this much.
constexpr std::size_t kTailBytes = std::size_t{1} << 20;
// Copy and the hover window draw a selection in pieces of this many characters.
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;

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
    connect(&m_repaintTimer, &QTimer::timeout, this, &CConsoleView::FlushRepaint);
    m_sliceBytes = kSliceBytes;
    m_buildTimer.setInterval(0);
    connect(&m_buildTimer, &QTimer::timeout, this, &CConsoleView::BuildSlice);
    m_window.SetFormatSync([this](const CDisplayDocument& document, CLineLayout& layout) {
        SyncFonts(document, layout);
    });
    ApplyStampStyle();
    // Records the store holds already are not this view's until a replay.
    NewIndex(store.RecordCount());
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
            return AppendRecord(AppendNoticeRef(message)) ? kAppendTookAll : 0;
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
                if (request->stamps != nullptr) {
                    *request->stamps = SRenderTextStamps{m_styleGaps, m_settings.stampGapMs};
                }
            }
            return 0;
        default:
            return 0;
    }
}

// ---- the index

void CConsoleView::NewIndex(std::size_t firstRecord) {
    m_index = std::make_unique<CLineIndex>(m_drawScheme.get(), m_settings.showAllSources,
                                           SLineIndexSpacing{}, firstRecord);
    m_indexGeneration = m_store.Generation();
    ++m_indexSerial;
    m_window.SetIndex(m_index.get());
    m_tailRecords = static_cast<std::size_t>(-1);
    m_tailBack = 0;
    m_tailEnd.reset();
    m_tailSelection = false;
    m_browsing = false;
    // What waited for the old index asked for its positions.
    DropPending();
    m_building = !m_index->Complete(m_store);
    if (m_building) {
        m_buildTimer.start();
    } else {
        m_buildTimer.stop();
    }
    m_pinned = true;
    m_top = 0;
    m_anchor = m_caret = 0;
    ContentChanged();
}

bool CConsoleView::IndexValid() const {
    // A load or a clear of the store leaves the index naming records that
    // are gone, until the view hears of the new ones.
    return m_index != nullptr && m_indexGeneration == m_store.Generation() &&
           Channel().IsAlive(m_storeHandle);
}

void CConsoleView::BuildSlice() {
    if (!m_building || !IndexValid()) {
        m_building = false;
        m_buildTimer.stop();
        DropPending();  // the store was cleared or reloaded
        return;
    }
    QElapsedTimer turn;
    turn.start();
    const bool waiting = HasPendingAction();
    // Cut to what the turn has left beside the session's drain.
    const qint64 time = ThreadTurnBudget().Grant(
        waiting ? kPriorityTurnNanoseconds : kTurnNanoseconds, SteadyNowNs());
    const std::size_t most = waiting ? kPriorityTurnSlices : kTurnSlices;
    std::size_t slices = 0;
    bool done = false;
    do {
        done = IndexSlice(slices);
    } while (!done && slices < most && turn.nsecsElapsed() < time);
    if (done) {
        IndexDone();
        ContentChanged();
        RunPending();
        return;
    }
    if (m_browsing) {
        m_window.IndexGrew();
        m_layoutDirty = true;
    }
    if (!m_repaintTimer.isActive()) {
        m_repaintTimer.start();  // the scroll bar's estimate grows
    }
}

bool CConsoleView::BuildIndex(std::size_t byteBudget) {
    // A tail held still learns where it lies in the whole text when the
    // index has taken in exactly the records it was drawn from.
    const auto place = [this] {
        if (m_showingTail && TailHeld() && !m_tailEnd &&
            m_index->IndexedRecords() == m_tailRecords) {
            m_tailEnd = static_cast<std::size_t>(m_index->TextSize());
        }
    };
    place();
    const bool stop =
        m_showingTail && TailHeld() && !m_tailEnd && m_index->IndexedRecords() < m_tailRecords;
    m_index->Build(m_store, byteBudget, stop ? m_tailRecords : CLineIndex::kUnlimited);
    place();
    return m_index->Complete(m_store);
}

bool CConsoleView::IndexSlice(std::size_t& turnSlices) {
    ++m_slices;
    m_mostSlices = std::max(m_mostSlices, ++turnSlices);
    return BuildIndex(m_sliceBytes);
}

void CConsoleView::WhenIndexed(std::function<void()> action) {
    if (!m_building || !IndexValid()) {
        Ready();
        action();
        return;
    }
    m_pendingJump = std::move(action);
    m_pendingSelection.reset();
    m_pendingCopy = false;
    m_buildTimer.start();
}

void CConsoleView::RunPending() {
    if (m_building) {
        return;
    }
    // Taken first: what they do may ask for more.
    std::function<void()> jump = std::move(m_pendingJump);
    const auto selection = m_pendingSelection;
    const bool copy = m_pendingCopy;
    DropPending();
    if (jump) {
        jump();
    }
    if (selection) {
        SetSelection(selection->first, selection->second);
    }
    if (copy) {
        Copy();
    }
}

void CConsoleView::DropPending() {
    m_pendingJump = nullptr;
    m_pendingSelection.reset();
    m_pendingCopy = false;
}

std::optional<std::size_t> CConsoleView::PositionOfRecord(std::size_t record) {
    if (!IndexValid()) {
        return std::nullopt;
    }
    Ready();
    const std::size_t first = m_index->FirstRecord();
    if (record <= first) {
        return 0;
    }
    if (record >= m_index->IndexedRecords()) {
        if (m_building) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(m_index->TextSize());
    }
    // Drawn from the last checkpoint before the record's to the next one:
    // the record starts between them.
    const LineCheckpoints& points = m_index->Checkpoints();
    const auto after =
        std::lower_bound(points.begin(), points.end(), record,
                         [](const SLineCheckpoint& p, std::size_t r) { return p.record < r; });
    const std::size_t i =
        after == points.begin() ? 0 : static_cast<std::size_t>(after - points.begin()) - 1;
    const std::uint64_t from = points[i].Position();
    const std::uint64_t to = i + 1 < points.size() ? points[i + 1].Position() : m_index->TextSize();
    CDisplayDocument piece;
    const SWindowPlace place = m_index->RenderRange(m_store, from, std::max(from + 1, to), piece);
    m_store.TrimWindows();
    const auto position = static_cast<std::size_t>(place.start + piece.FirstPositionOf(record));
    // Text on the open line may still lose characters to records to come.
    if (m_building && position >= m_index->OpenLineStart()) {
        return std::nullopt;
    }
    return position;
}

std::optional<std::size_t> CConsoleView::TopRecord() {
    Layout();
    if (m_rows.empty()) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> record =
        ShownDocument().SequenceAt(LocalRow(m_rows.front()).start);
    if (!record) {
        return std::nullopt;
    }
    return *record;
}

void CConsoleView::IndexDone() {
    m_building = false;
    m_buildTimer.stop();
    m_window.Invalidate();
    PlaceTail();
    m_layoutDirty = true;
}

void CConsoleView::PlaceTail() {
    const bool tail = m_showingTail && !m_rows.empty();
    const bool placed = tail && TailHeld() && m_tailEnd && *m_tailEnd >= m_tail.Size();
    if (placed) {
        const std::size_t start = *m_tailEnd - m_tail.Size();
        m_window.SetWidth(TextWidth());
        if (m_tailBack > 0) {
            m_pinned = false;
            m_top =
                m_window.RowStartOf(std::min(start + m_rows.front().start, m_window.TextSize()));
        }
        if (m_tailSelection) {
            m_anchor += start;
            m_caret += start;
        }
    } else if (m_tailSelection) {
        // Drawn from records the index passed before the tail was held:
        // where it lies is not known, so it goes.
        m_anchor = m_caret = 0;
    }
    if (tail && !placed) {
        m_pinned = true;
    }
    m_tailBack = 0;
    m_tailEnd.reset();
    m_tailSelection = false;
    m_browsing = false;
}

void CConsoleView::FinishIndex() {
    if (m_building && IndexValid()) {
        while (!BuildIndex(CLineIndex::kUnlimited)) {
        }
        IndexDone();
        RunPending();
    }
}

std::size_t CConsoleView::EstimatedTextSize() const {
    if (!IndexValid()) {
        return 0;
    }
    auto size = static_cast<std::size_t>(m_index->TextSize());
    const std::size_t first = m_index->FirstRecord();
    const std::size_t done = m_index->IndexedRecords() - first;
    if (m_building && done > 0) {
        // Until the index is done: as much again for each record to come.
        size = static_cast<std::size_t>(static_cast<double>(size) *
                                        static_cast<double>(m_store.RecordCount() - first) /
                                        static_cast<double>(done));
    }
    return std::max(size, m_building ? m_tail.Size() : std::size_t{0});
}

void CConsoleView::CatchUp() {
    if (!m_building && IndexValid() && !m_index->Complete(m_store)) {
        m_index->Build(m_store);
        m_window.IndexGrew();
    }
}

void CConsoleView::CatchUpInSlices() {
    if (m_building || !IndexValid() || m_index->Complete(m_store)) {
        return;
    }
    // A flood can bring more in one repaint interval than a turn indexes:
    // the rest is indexed in slices, and the view stays where it is (at
    // the end indexed so far when it follows the end) until it catches up.
    QElapsedTimer turn;
    turn.start();
    const qint64 time = ThreadTurnBudget().Grant(kTurnNanoseconds, SteadyNowNs());
    std::size_t slices = 0;
    bool done = false;
    do {
        done = IndexSlice(slices);
    } while (!done && slices < kTurnSlices && turn.nsecsElapsed() < time);
    m_window.IndexGrew();
    if (!done) {
        m_building = true;
        m_browsing = true;
        m_buildTimer.start();
    }
}

void CConsoleView::Ready() {
    if (!m_building) {
        CatchUp();
    }
}

std::size_t CConsoleView::TextSize() {
    Ready();
    return IndexValid() ? m_window.TextSize() : 0;
}

const CDisplayDocument& CConsoleView::Document() const {
    auto& self = const_cast<CConsoleView&>(*this);
    self.Ready();
    if (!IndexValid()) {
        m_whole.Clear();
        m_wholeSerial = 0;
        return m_whole;
    }
    if (m_wholeSerial != m_indexSerial || m_wholeSize != m_index->TextSize() ||
        m_wholeRecords != m_index->IndexedRecords()) {
        m_index->RenderLines(m_store, 0, m_index->LineCount(), m_whole);
        m_wholeSerial = m_indexSerial;
        m_wholeSize = m_index->TextSize();
        m_wholeRecords = m_index->IndexedRecords();
    }
    return m_whole;
}

bool CConsoleView::AppendRecord(SRecordRef ref) {
    if (!Channel().IsAlive(m_storeHandle) || !m_store.Find(ref)) {
        return false;  // cleared or reloaded since the notice was posted
    }
    if (!IndexValid()) {
        // The first record of a new generation (a load's replay): the view
        // shows it all.
        NewIndex(0);
        return true;
    }
    // The index takes in whatever the store holds when the view next
    // draws; records a replay or an earlier notice brought are not counted twice.
    if (!m_building) {
        ContentChanged();
    }
    return true;
}

void CConsoleView::ClearView() {
    NewIndex(m_store.RecordCount());
}

void CConsoleView::SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
    m_scheme = std::move(scheme);
    if (m_scheme != nullptr) {
        m_background = ColourOf(m_scheme->BackgroundColor);
    }
    Replay();
    ApplyStampStyle();
}

void CConsoleView::Replay() {
    // The old index goes before the scheme copy it draws with.
    m_window.SetIndex(nullptr);
    m_index.reset();
    m_drawScheme = m_scheme != nullptr ? m_scheme->Clone() : nullptr;
    NewIndex(0);
    if (!Channel().IsAlive(m_storeHandle)) {
        return;
    }
    // The first screen from the end now; the rest of the index in slices.
    FlushRepaint();
}

void CConsoleView::ContentChanged() {
    m_layoutDirty = true;
    if (!m_repaintTimer.isActive()) {
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

void CConsoleView::SyncFonts(const CDisplayDocument& document, CLineLayout& layout) {
    // Every drawing is a new document with a format table of its own.
    m_fonts.Clear();
    layout.ClearFormats();
    m_fonts.Sync(document, layout, m_defaultFont, *this, CFontMetricsCache::Shared());
    layout.SetWidth(TextWidth());
}

float CConsoleView::TextWidth() const {
    return static_cast<float>(viewport()->width() - 2 * kMargin - m_gutter.Width());
}

bool CConsoleView::UsesUniformAdvance() {
    Layout();
    return ShownLayout().UsesUniformAdvance();
}

const CDisplayDocument& CConsoleView::ShownDocument() const {
    return m_showingTail ? m_tail : m_window.Document();
}

const CLineLayout& CConsoleView::ShownLayout() const {
    return m_showingTail ? m_tailLayout : m_window.Layout();
}

std::size_t CConsoleView::ShownStart() const {
    return m_showingTail ? 0 : m_window.Start();
}

CLineLayout::SRow CConsoleView::LocalRow(const CLineLayout::SRow& row) const {
    const std::size_t start = ShownStart();
    return CLineLayout::SRow{row.start - start, row.end - start};
}

// ---- layout

int CConsoleView::FullRows() const {
    return std::max(1, viewport()->height() / std::max(1, m_fonts.RowHeight()));
}

void CConsoleView::Layout() {
    // The row height is known once the rows' formats are: a drawing that
    // changes it takes a second pass.
    for (int pass = 0; pass < 3; ++pass) {
        const int rows = FullRows();
        LayoutRows(static_cast<std::size_t>(rows));
        if (FullRows() == rows) {
            return;
        }
        m_layoutDirty = true;
    }
}

void CConsoleView::LayoutRows(std::size_t wanted) {
    if (!IndexValid()) {
        m_showingTail = false;
        m_rows.clear();
        return;
    }
    if (m_building && !m_browsing) {
        // The end of the history in the new scheme, drawn at once. While it
        // is scrolled back or selected in, it keeps to the records it was
        // drawn from, so nothing moves under the user.
        if (!m_showingTail) {
            m_tailRecords = static_cast<std::size_t>(-1);
        }
        m_showingTail = true;
        const bool held = TailHeld() && m_tailRecords != static_cast<std::size_t>(-1);
        const std::size_t lines = wanted + m_tailBack + 1;
        if ((!held && m_tailRecords != m_store.RecordCount()) || (!held && m_layoutDirty) ||
            m_layoutSize != viewport()->size() || m_tailLines < lines) {
            // Scrolling back draws a page more than it needs at once.
            // A held tail never draws less than before, so its start only moves back.
            const std::size_t draw = held ? std::max(lines + wanted, m_tailLines) : lines;
            const std::size_t before = m_tail.Size();
            RenderLastLines(m_store, m_drawScheme.get(), m_settings.showAllSources, draw, m_tail,
                            kTailBytes, m_index->FirstRecord(),
                            held ? m_tailRecords : CLineIndex::kUnlimited, &m_tailFirstRecord);
            m_tailLead.reset();
            if (!held) {
                m_tailRecords = m_store.RecordCount();
                m_tailEnd.reset();
            } else if (m_tailSelection) {
                // The same end, reaching further back: the selection moves
                // with the tail's first character.
                const std::size_t grown = m_tail.Size() - std::min(m_tail.Size(), before);
                m_anchor += grown;
                m_caret += grown;
            }
            m_tailLines = draw;
            SyncFonts(m_tail, m_tailLayout);
            m_layoutSize = viewport()->size();
        }
        m_layoutDirty = false;
        std::vector<CLineLayout::SRow> rows = m_tailLayout.LastRows(wanted + m_tailBack);
        // As far back as the tail reaches.
        m_tailBack = std::min(m_tailBack, rows.size() > wanted ? rows.size() - wanted : 0);
        rows.resize(rows.size() - m_tailBack);
        m_rows = std::move(rows);
        m_pinned = m_tailBack == 0;
        return;
    }
    if (!m_building) {
        CatchUpInSlices();
    }
    if (m_showingTail) {
        m_showingTail = false;
        m_window.Invalidate();
    }
    if (m_layoutSize != viewport()->size()) {
        m_window.SetWidth(TextWidth());
        m_layoutDirty = true;
    }
    if (!m_layoutDirty && m_layoutDrawings == m_window.Drawings() &&
        m_layoutTextSize == m_window.TextSize()) {
        return;
    }
    m_layoutDirty = false;
    m_layoutSize = viewport()->size();
    if (!m_pinned) {
        // One row more than the window holds tells whether the end is in sight.
        m_rows = m_window.RowsFrom(m_top, wanted + 1);
        m_top = m_rows.front().start;
        if (m_rows.size() > wanted) {
            m_rows.pop_back();
        } else if (!m_building) {
            // The end is in sight: follow new data from here on. (While
            // the index is built that is only where indexing has got to.)
            m_pinned = true;
        }
    }
    if (m_pinned) {
        // Pinned: the last rows of the text, bottom row at the bottom.
        m_rows = m_window.LastRows(wanted);
        m_top = m_rows.empty() ? 0 : m_rows.front().start;
    }
    m_layoutDrawings = m_window.Drawings();
    m_layoutTextSize = m_window.TextSize();
}

void CConsoleView::UpdateScrollBar() {
    const std::size_t size = EstimatedTextSize();
    // Past this many units the styles place the handle through floating
    // point (QStyle::sliderPositionFromValue), and a handle pinned at the
    // end jitters by a pixel as the range grows, asking for a paint each
    // time. A drag cannot tell more places apart than the groove has pixels.
    constexpr std::size_t kScrollUnits = std::size_t{1} << 19;
    m_scale = size / kScrollUnits + 1;
    const auto length = static_cast<int>(size / m_scale);
    std::size_t shown = 1;
    if (!m_rows.empty()) {
        shown = std::max<std::size_t>(1, m_rows.back().end - m_rows.front().start);
    }
    const int page = std::max(1, static_cast<int>(shown / m_scale));
    // The whole text in sight: no scrolling at all.
    const bool all = m_rows.empty() || (!m_showingTail && m_rows.front().start == 0 && m_pinned) ||
                     (m_showingTail && size <= m_tail.Size());
    const int maximum = all ? 0 : std::max(1, length - page);
    std::size_t top = m_top;
    if (m_showingTail && !m_rows.empty()) {
        // Counted back from the end, as the tail is.
        top = size - std::min(size, m_tail.Size() - std::min(m_tail.Size(), m_rows.front().start));
    }
    m_settingScrollBar = true;
    m_scrollBar->SetPlace(maximum, page,
                          m_pinned ? maximum : std::min(maximum, static_cast<int>(top / m_scale)));
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
            UserScrollTo(0);
            break;
        case QAbstractSlider::SliderToMaximum:
            ScrollToEnd();
            break;
        case QAbstractSlider::SliderMove:
            if (bar->sliderPosition() >= bar->maximum()) {
                ScrollToEnd();
            } else {
                UserScrollTo(static_cast<std::size_t>(bar->sliderPosition()) * m_scale);
            }
            break;
        default:
            return;
    }
    // Where the view really went, not where the slider would have gone.
    bar->setSliderPosition(bar->value());
}

void CConsoleView::ScrollToPosition(std::size_t position) {
    if (m_building && IndexValid()) {
        WhenIndexed([this, position] { ScrollToPosition(position); });
        return;
    }
    Ready();
    if (!IndexValid()) {
        return;
    }
    m_window.SetWidth(TextWidth());
    m_pinned = false;
    m_top = m_window.RowStartOf(std::min(position, m_window.TextSize()));
    m_layoutDirty = true;
    FlushRepaint();
}

void CConsoleView::UserScrollTo(std::size_t position) {
    DropPending();  // the user went elsewhere
    if (!m_building || !IndexValid()) {
        ScrollToPosition(position);
        return;
    }
    // The end of the text is drawn already and the part indexed so far can
    // be; the index gets a turn's worth towards the place asked for (the
    // start needs one slice), and the view goes as far as it has got.
    QElapsedTimer turn;
    turn.start();
    std::size_t slices = 0;
    while (m_index->OpenLineStart() <= position + m_sliceBytes && !m_index->Complete(m_store) &&
           slices < kTurnSlices && turn.nsecsElapsed() < kTurnNanoseconds) {
        IndexSlice(slices);
    }
    if (m_index->Complete(m_store)) {
        IndexDone();
        ScrollToPosition(position);
        return;
    }
    const std::size_t known = static_cast<std::size_t>(m_index->OpenLineStart());
    if (position >= known && position + m_tail.Size() >= EstimatedTextSize()) {
        ScrollToEnd();
        return;
    }
    if (m_tailSelection) {
        m_anchor = m_caret = 0;
        m_tailSelection = false;
    }
    m_browsing = true;
    m_tailBack = 0;
    m_window.SetWidth(TextWidth());
    m_pinned = false;
    m_top = m_window.RowStartOf(std::min(position, known));
    if (position > known) {
        // The last screenful indexed.
        m_top = m_window.MoveRows(m_top, 1 - FullRows());
    }
    m_layoutDirty = true;
    FlushRepaint();
}

void CConsoleView::ScrollToEnd() {
    DropPending();
    m_browsing = false;
    m_tailBack = 0;
    m_pinned = true;
    m_layoutDirty = true;
    FlushRepaint();
}

void CConsoleView::ScrollRows(int count) {
    if (m_building && IndexValid()) {
        DropPending();  // the user's own move
    }
    if (m_building && IndexValid() && !m_browsing) {
        // Back into the tail, as far as it reaches (the layout holds it there).
        const auto rows = static_cast<std::size_t>(count < 0 ? -static_cast<long>(count) : count);
        m_tailBack = count < 0 ? m_tailBack + rows : m_tailBack - std::min(m_tailBack, rows);
        FlushRepaint();
        return;
    }
    if (!m_building) {
        Ready();
    }
    Layout();
    if (m_rows.empty()) {
        return;
    }
    m_top = m_window.MoveRows(m_top, count);
    m_pinned = false;
    m_layoutDirty = true;
    FlushRepaint();
}

std::size_t CConsoleView::TopPosition() {
    Ready();
    Layout();
    if (m_building && m_showingTail && !m_rows.empty()) {
        // Counted back from the end, as the scroll bar has it.
        const std::size_t size = EstimatedTextSize();
        return size - std::min(size, m_tail.Size() - std::min(m_tail.Size(), m_rows.front().start));
    }
    return m_top;
}

// ---- painting

void CConsoleView::paintEvent(QPaintEvent*) {
    Layout();
    std::vector<CLineLayout::SRow> local;
    local.reserve(m_rows.size());
    for (const CLineLayout::SRow& row : m_rows) {
        local.push_back(LocalRow(row));
    }
    // The selection as far as it lies in the drawn window.
    std::size_t selStart = 0;
    std::size_t selEnd = 0;
    if (m_tailSelection == m_showingTail && SelectionStart() < SelectionEnd()) {
        const std::size_t start = ShownStart();
        const std::size_t end = start + ShownDocument().Size();
        if (SelectionEnd() > start && SelectionStart() < end) {
            selStart = std::max(SelectionStart(), start) - start;
            selEnd = std::min(SelectionEnd(), end) - start;
        }
    }
    const std::vector<STextRange> marks = ShownMarks(local);
    const std::vector<SPaintRow> rows =
        PaintRowsOf(ShownDocument(), ShownLayout(), local, selStart, selEnd, marks);
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
                       m_fonts.RowHeight(), m_fonts.Ascent(), RowStampsInSight());
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

// ---- find marks

void CConsoleView::SetFindMarks(const IFindMarks* marks) {
    m_findMarks = marks;
    viewport()->update();
}

std::vector<STextRange> CConsoleView::MarksInSight() {
    Layout();
    std::vector<CLineLayout::SRow> local;
    for (const CLineLayout::SRow& row : m_rows) {
        local.push_back(LocalRow(row));
    }
    std::vector<STextRange> marks = ShownMarks(local);
    for (STextRange& mark : marks) {
        mark.start += ShownStart();
        mark.end += ShownStart();
    }
    return marks;
}

std::vector<STextRange> CConsoleView::ShownMarks(std::span<const CLineLayout::SRow> local) const {
    std::vector<STextRange> out;
    const CDisplayDocument& document = ShownDocument();
    if (m_findMarks == nullptr || local.empty() || local.back().end <= local.front().start) {
        return out;
    }
    const auto first = document.SequenceAt(local.front().start);
    const auto last = document.SequenceAt(local.back().end - 1);
    if (!first || !last || *last < *first) {
        return out;
    }
    // The window may be drawn from a checkpoint inside a record (a long line,
    // or a record of many lines): that record's text in it is what its bytes
    // from there draw.
    std::size_t begun = static_cast<std::size_t>(-1);
    std::size_t begunAt = 0;
    if (!m_showingTail && m_window.Place().offset > 0) {
        begun = m_window.Place().record;
        begunAt = m_window.Place().offset;
    }
    const std::vector<SByteMark> marks = m_findMarks->MarksIn(*first, *last);
    std::vector<std::size_t> edges;
    for (std::size_t i = 0; i < marks.size();) {
        // The marks of one record, mapped in one pass over its bytes.
        const std::size_t record = marks[i].record;
        const std::size_t from0 = record == begun ? begunAt : 0;
        std::size_t j = i;
        edges.assign(1, from0);
        for (; j < marks.size() && marks[j].record == record; ++j) {
            edges.push_back(std::max<std::size_t>(marks[j].begin, from0));
            edges.push_back(std::max<std::size_t>({marks[j].begin, marks[j].end, from0}));
        }
        const std::size_t start = document.FirstPositionOf(record);
        const auto drawn = start < document.Size() ? document.SequenceAt(start) : std::nullopt;
        const auto bytes = m_store.Record(record);
        if (!bytes || !drawn || *drawn != record) {
            i = j;
            continue;  // drawn as nothing
        }
        const std::size_t room = document.FirstPositionOf(record + 1) - start;
        // What the style makes of the bytes before each edge (CR LF may be
        // one line break, a byte "[0Dh]"), counted from the first one drawn.
        const std::vector<std::size_t> lengths =
            CStyledRenderer::DrawnLengths(m_drawScheme.get(), *bytes, edges);
        const std::size_t lead = lengths[0];
        for (std::size_t k = 1; k + 1 < lengths.size(); k += 2) {
            const std::size_t from =
                start + std::min(lengths[k] - std::min(lengths[k], lead), room);
            const std::size_t to =
                start + std::min(lengths[k + 1] - std::min(lengths[k + 1], lead), room);
            if (from >= to) {
                continue;  // hidden bytes
            }
            if (!out.empty() && out.back().end >= from) {
                out.back().end = std::max(out.back().end, to);
            } else {
                out.push_back(STextRange{from, to});
            }
        }
        i = j;
    }
    m_store.TrimWindows();
    return out;
}

// ---- hit testing and selection

std::size_t CConsoleView::HitTest(QPoint point, bool nearest) {
    // In the positions of what is shown: the tail's own while it is.
    Layout();
    if (m_rows.empty()) {
        return 0;
    }
    const int index = std::clamp(point.y() / std::max(1, m_fonts.RowHeight()), 0,
                                 static_cast<int>(m_rows.size()) - 1);
    const CLineLayout::SRow& row = m_rows[static_cast<std::size_t>(point.y() < 0 ? 0 : index)];
    return ShownStart() +
           ShownLayout().HitTest(
               LocalRow(row), static_cast<float>(point.x() - kMargin - m_gutter.Width()), nearest);
}

CTextInfoWnd* CConsoleView::TextInfo() {
    // Made when SHIFT is first held over the view: most consoles never need it.
    if (!m_textInfo) {
        m_textInfo = std::make_unique<CTextInfoWnd>(*this);
    }
    return m_textInfo.get();
}

QPoint CConsoleView::CaretPoint() {
    const std::size_t size = ShownTextSize();
    if (m_rows.empty()) {
        return {kMargin + m_gutter.Width(), 0};
    }
    // Typing goes to the end whatever is selected: the caret line is there.
    const std::size_t caret = size;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const CLineLayout::SRow& row = m_rows[i];
        const bool last = i + 1 == m_rows.size();
        // A caret at a row's end belongs to it unless the next row starts there.
        if (caret >= row.start &&
            (caret < row.end || (caret == row.end && (last || m_rows[i + 1].start > row.end)))) {
            return {kMargin + m_gutter.Width() +
                        static_cast<int>(ShownLayout().XOf(LocalRow(row), caret - ShownStart())),
                    static_cast<int>(i) * m_fonts.RowHeight()};
        }
    }
    return {kMargin + m_gutter.Width(), static_cast<int>(m_rows.size() - 1) * m_fonts.RowHeight()};
}

std::size_t CConsoleView::CharacterAt(QPoint point) {
    return HitTest(point, true);
}

std::size_t CConsoleView::CharacterUnder(QPoint point) {
    return HitTest(point, false);
}

void CConsoleView::SetSelection(std::size_t anchor, std::size_t caret) {
    if (m_building && IndexValid()) {
        // Positions of the whole text: after what waits, once it is indexed.
        m_pendingSelection.emplace(anchor, caret);
        m_pendingCopy = false;
        m_buildTimer.start();
        return;
    }
    const std::size_t size = TextSize();
    m_tailSelection = false;
    m_anchor = std::min(anchor, size);
    m_caret = std::min(caret, size);
    viewport()->update();
}

void CConsoleView::SelectShown(std::size_t anchor, std::size_t caret) {
    DropPending();  // the user's own selection
    const std::size_t size = ShownTextSize();
    if (m_tailSelection != (m_building && m_showingTail)) {
        anchor = caret;  // the anchor was in the other text
    }
    m_tailSelection = m_building && m_showingTail;
    m_anchor = std::min(anchor, size);
    m_caret = std::min(caret, size);
    viewport()->update();
}

std::size_t CConsoleView::ShownTextSize() {
    if (!IndexValid()) {
        return 0;
    }
    Layout();
    return m_showingTail ? m_tail.Size() : m_window.TextSize();
}

void CConsoleView::SelectAll() {
    WhenIndexed([this] { SetSelection(0, TextSize()); });
}

QString CConsoleView::SelectedText() const {
    if (!IndexValid()) {
        return {};
    }
    if (m_tailSelection) {
        const std::string_view tail = m_tail.Text();
        const std::size_t start = std::min(SelectionStart(), tail.size());
        QString out;
        for (const char c : tail.substr(start, std::min(SelectionEnd(), tail.size()) - start)) {
            const auto b = static_cast<std::uint8_t>(c);
            out.append(b == '\r' ? QChar('\n') : QChar(b));
        }
        return out;
    }
    if (m_settings.stampMode != EStampMode::Off) {
        return StampedSelectedText();
    }
    const auto size = static_cast<std::size_t>(m_index->TextSize());
    const std::size_t start = std::min(SelectionStart(), size);
    const std::size_t end = std::min(SelectionEnd(), size);
    QString out;
    out.reserve(static_cast<qsizetype>(end - start));
    // A piece at a time: a long selection never needs the whole text drawn.
    CDisplayDocument piece;
    for (std::size_t from = start; from < end;) {
        const std::size_t to = std::min(end, from + kCopyPiece);
        const std::size_t at = m_window.DrawRange(from, to, piece);
        const std::string_view text = piece.Text().substr(from - at, to - from);
        for (const char c : text) {
            const auto b = static_cast<std::uint8_t>(c);
            out.append(b == '\r' ? QChar('\n') : QChar(b));
        }
        from = to;
    }
    return out;
}

void CConsoleView::Copy() {
    if (m_building && IndexValid() && !m_tailSelection &&
        (HasPendingAction() || SelectionEnd() > m_index->OpenLineStart())) {
        // The selection is (or will be) of text not indexed yet.
        m_pendingCopy = true;
        m_buildTimer.start();
        return;
    }
    if (SelectionStart() == SelectionEnd()) {
        return;
    }
    if (SelectionEnd() - SelectionStart() > m_copyLimit) {
        const QString text =
            QStringLiteral(
                "The selection is too large to copy (%1 MB; at most %2 MB can be "
                "copied). Select less, or use Save Buffer to write the history to a "
                "file.")
                .arg((SelectionEnd() - SelectionStart()) >> 20)
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

std::string CConsoleView::DescribeCharacter(std::size_t character) {
    // `character` counts in what is shown, as CharacterUnder gives it.
    Layout();
    if (!IndexValid()) {
        return {};
    }
    if (m_showingTail) {
        const auto recordAt = [this](std::size_t p) -> std::optional<SRecordRef> {
            if (p >= m_tail.Size()) {
                return std::nullopt;
            }
            return m_tail.RecordAt(p);
        };
        const bool own = m_tailSelection;
        return DescribeDisplayed(recordAt, m_tail.Size(), m_store, own ? SelectionStart() : 0,
                                 own ? SelectionEnd() : 0, character, m_settings.textInfo);
    }
    // The character is usually in the window drawn now; the ends of a
    // selection may lie far from it and are drawn on their own.
    CDisplayDocument piece;
    const auto recordAt = [this, &piece](std::size_t p) -> std::optional<SRecordRef> {
        if (m_window.Holds(p, p + 1)) {
            return m_window.Document().RecordAt(p - m_window.Start());
        }
        const std::size_t at = m_window.DrawRange(p, p + 1, piece);
        if (p < at || p - at >= piece.Size()) {
            return std::nullopt;
        }
        return piece.RecordAt(p - at);
    };
    return DescribeDisplayed(recordAt, m_window.TextSize(), m_store, SelectionStart(),
                             SelectionEnd(), character, m_settings.textInfo);
}

std::size_t CConsoleView::WordStart(std::size_t position) const {
    // Words are looked for in the drawn window, which holds the rows in sight.
    const std::size_t start = ShownStart();
    const std::string_view text = ShownDocument().Text();
    while (position > start && IsWordByte(static_cast<std::uint8_t>(text[position - 1 - start]))) {
        --position;
    }
    return position;
}

std::size_t CConsoleView::WordEnd(std::size_t position) const {
    const std::size_t start = ShownStart();
    const std::string_view text = ShownDocument().Text();
    while (position >= start && position - start < text.size() &&
           IsWordByte(static_cast<std::uint8_t>(text[position - start]))) {
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
                UserScrollTo(0);
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
        SelectShown(m_anchor, at);
    } else {
        SelectShown(at, at);
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
        SelectShown(m_anchor, CharacterAt(point));
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
    if (at >= ShownTextSize()) {
        return;
    }
    const std::size_t start = WordStart(at);
    const std::size_t end = std::max(WordEnd(at), at + 1);
    SelectShown(start, end);
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
