#include "view/CConsoleModel.h"

#include <algorithm>

#include "platform/TurnBudget.h"

namespace quillpad {
namespace {

// One turn of indexing: slices of this many record bytes until the turn's
// time is used.
constexpr std::size_t kSliceBytes = std::size_t{256} << 10;
// The tail drawn for a new scheme renders at most this much.
constexpr std::size_t kTailBytes = std::size_t{1} << 20;

}  // namespace

CConsoleModel::CConsoleModel(const CMessageChannel& channel, const CDataStore& store,
                             const SViewSettings& settings, IConsoleHost& host)
    : m_channel(channel),
      m_store(store),
      m_settings(settings),
      m_storeHandle(store.Handle()),
      m_host(host),
      m_sliceBytes(kSliceBytes) {
    m_window.SetFormatSync([this](const CDisplayDocument& document, CLineLayout& layout) {
        m_host.SyncFormats(document, layout);
        layout.SetWidth(m_host.TextWidth());
    });
    // Records the store holds already are not the console's until a replay.
    NewIndex(store.RecordCount());
}

CConsoleModel::~CConsoleModel() {
    // The index goes before the scheme copy it draws with.
    m_window.SetIndex(nullptr);
    m_index.reset();
}

bool CConsoleModel::StoreAlive() const {
    return m_channel.IsAlive(m_storeHandle);
}

// ---- what the store and the style say

bool CConsoleModel::AppendRecord(SRecordRef ref) {
    if (!StoreAlive() || !m_store.Find(ref)) {
        return false;  // cleared or reloaded since the notice was posted
    }
    if (!IndexValid()) {
        // The first record of a new generation (a load's replay): the
        // console shows it all.
        NewIndex(0);
        return true;
    }
    // The index takes in whatever the store holds when the rows are next
    // laid out; records a replay or an earlier notice brought are not
    // counted twice.
    if (!m_building) {
        m_layoutDirty = true;
        m_host.RepaintSoon();
    }
    return true;
}

void CConsoleModel::Clear() {
    NewIndex(m_store.RecordCount());
}

void CConsoleModel::SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
    m_scheme = std::move(scheme);
    Replay();
    ApplyStampStyle();
}

void CConsoleModel::Replay() {
    m_window.SetIndex(nullptr);
    m_index.reset();
    m_drawScheme = m_scheme != nullptr ? m_scheme->Clone() : nullptr;
    NewIndex(0);
    if (!StoreAlive()) {
        return;
    }
    // The first screen from the end now; the rest of the index in steps.
    m_host.RepaintNow();
}

// ---- the index

void CConsoleModel::NewIndex(std::size_t firstRecord) {
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
    m_host.WantTurns(m_building);
    m_pinned = true;
    m_top = 0;
    m_anchor = m_caret = 0;
    m_layoutDirty = true;
    m_host.RepaintSoon();
}

bool CConsoleModel::IndexValid() const {
    // A load or a clear of the store leaves the index naming records that
    // are gone, until the console hears of the new ones.
    return m_index != nullptr && m_indexGeneration == m_store.Generation() && StoreAlive();
}

bool CConsoleModel::BuildStep() {
    if (!m_building || !IndexValid()) {
        m_building = false;
        m_host.WantTurns(false);
        DropPending();  // the store was cleared or reloaded
        return true;
    }
    const std::int64_t began = SteadyNowNs();
    const bool waiting = HasPendingAction();
    // Cut to what the turn has left beside the session's drain.
    const std::int64_t time = ThreadTurnBudget().Grant(waiting ? kPriorityTurnNs : kTurnNs, began);
    const std::size_t most = waiting ? kPriorityTurnSlices : kTurnSlices;
    std::size_t slices = 0;
    bool done = false;
    do {
        done = IndexSlice(slices);
    } while (!done && slices < most && SteadyNowNs() - began < time);
    if (done) {
        IndexDone();
        m_host.RepaintSoon();
        RunPending();
        return true;
    }
    if (m_browsing) {
        m_window.IndexGrew();
        m_layoutDirty = true;
    }
    m_host.RepaintSoon();  // the scroll bar's estimate grows
    return false;
}

bool CConsoleModel::BuildIndex(std::size_t byteBudget) {
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

bool CConsoleModel::IndexSlice(std::size_t& turnSlices) {
    ++m_slices;
    m_mostSlices = std::max(m_mostSlices, ++turnSlices);
    return BuildIndex(m_sliceBytes);
}

void CConsoleModel::WhenIndexed(std::function<void()> action) {
    if (!m_building || !IndexValid()) {
        Ready();
        action();
        return;
    }
    m_pendingJump = std::move(action);
    m_pendingSelection.reset();
    m_pendingCopy = false;
    m_host.WantTurns(true);
}

void CConsoleModel::Copy() {
    if (m_building && IndexValid() && !m_tailSelection &&
        (HasPendingAction() || SelectionEnd() > m_index->OpenLineStart())) {
        // The selection is (or will be) of text not indexed yet.
        m_pendingCopy = true;
        m_host.WantTurns(true);
        return;
    }
    m_host.CopyNow();
}

void CConsoleModel::RunPending() {
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
        m_host.CopyNow();
    }
}

void CConsoleModel::DropPending() {
    m_pendingJump = nullptr;
    m_pendingSelection.reset();
    m_pendingCopy = false;
}

std::optional<std::size_t> CConsoleModel::PositionOfRecord(std::size_t record) {
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

std::optional<std::size_t> CConsoleModel::TopRecord() {
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

void CConsoleModel::IndexDone() {
    m_building = false;
    m_host.WantTurns(false);
    m_window.Invalidate();
    PlaceTail();
    m_layoutDirty = true;
}

void CConsoleModel::PlaceTail() {
    const bool tail = m_showingTail && !m_rows.empty();
    const bool placed = tail && TailHeld() && m_tailEnd && *m_tailEnd >= m_tail.Size();
    if (placed) {
        const std::size_t start = *m_tailEnd - m_tail.Size();
        m_window.SetWidth(m_host.TextWidth());
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

void CConsoleModel::FinishIndex() {
    if (m_building && IndexValid()) {
        while (!BuildIndex(CLineIndex::kUnlimited)) {
        }
        IndexDone();
        RunPending();
    }
}

std::size_t CConsoleModel::EstimatedTextSize() const {
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

void CConsoleModel::CatchUp() {
    if (!m_building && IndexValid() && !m_index->Complete(m_store)) {
        m_index->Build(m_store);
        m_window.IndexGrew();
    }
}

void CConsoleModel::CatchUpInSlices() {
    if (m_building || !IndexValid() || m_index->Complete(m_store)) {
        return;
    }
    // A flood can bring more in one repaint interval than a turn indexes:
    // the rest is indexed in slices, and the view stays where it is (at
    // the end indexed so far when it follows the end) until it catches up.
    const std::int64_t began = SteadyNowNs();
    const std::int64_t time = ThreadTurnBudget().Grant(kTurnNs, began);
    std::size_t slices = 0;
    bool done = false;
    do {
        done = IndexSlice(slices);
    } while (!done && slices < kTurnSlices && SteadyNowNs() - began < time);
    m_window.IndexGrew();
    if (!done) {
        m_building = true;
        m_browsing = true;
        m_host.WantTurns(true);
    }
}

void CConsoleModel::Ready() {
    if (!m_building) {
        CatchUp();
    }
}

std::size_t CConsoleModel::TextSize() {
    Ready();
    return IndexValid() ? m_window.TextSize() : 0;
}

const CDisplayDocument& CConsoleModel::Document() const {
    auto& self = const_cast<CConsoleModel&>(*this);
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

// ---- layout

void CConsoleModel::SetWidth(float width) {
    m_window.SetWidth(width);
    m_tailLayout.SetWidth(width);
    m_layoutDirty = true;
}

const CDisplayDocument& CConsoleModel::ShownDocument() const {
    return m_showingTail ? m_tail : m_window.Document();
}

const CLineLayout& CConsoleModel::ShownLayout() const {
    return m_showingTail ? m_tailLayout : m_window.Layout();
}

std::size_t CConsoleModel::ShownStart() const {
    return m_showingTail ? 0 : m_window.Start();
}

CLineLayout::SRow CConsoleModel::LocalRow(const SRow& row) const {
    const std::size_t start = ShownStart();
    return SRow{row.start - start, row.end - start};
}

std::vector<CLineLayout::SRow> CConsoleModel::LocalRows() const {
    std::vector<SRow> local;
    local.reserve(m_rows.size());
    for (const SRow& row : m_rows) {
        local.push_back(LocalRow(row));
    }
    return local;
}

std::size_t CConsoleModel::ShownTextSize() {
    if (!IndexValid()) {
        return 0;
    }
    Layout();
    return m_showingTail ? m_tail.Size() : m_window.TextSize();
}

void CConsoleModel::Layout() {
    // The row height is known once the rows' formats are: a drawing that
    // changes it takes a second pass.
    for (int pass = 0; pass < 3; ++pass) {
        const int rows = m_host.FullRows();
        LayoutRows(static_cast<std::size_t>(rows));
        if (m_host.FullRows() == rows) {
            return;
        }
        m_layoutDirty = true;
    }
}

void CConsoleModel::LayoutRows(std::size_t wanted) {
    if (!IndexValid()) {
        m_showingTail = false;
        m_rows.clear();
        return;
    }
    const IConsoleHost::SRoom room = m_host.Room();
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
            m_layoutRoom != room || m_tailLines < lines) {
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
            m_host.SyncFormats(m_tail, m_tailLayout);
            m_tailLayout.SetWidth(m_host.TextWidth());
            m_layoutRoom = room;
        }
        m_layoutDirty = false;
        std::vector<SRow> rows = m_tailLayout.LastRows(wanted + m_tailBack);
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
    if (m_layoutRoom != room) {
        m_window.SetWidth(m_host.TextWidth());
        m_layoutDirty = true;
    }
    if (!m_layoutDirty && m_layoutDrawings == m_window.Drawings() &&
        m_layoutTextSize == m_window.TextSize()) {
        return;
    }
    m_layoutDirty = false;
    m_layoutRoom = room;
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

// ---- scrolling

CConsoleModel::SScrollPlace CConsoleModel::ScrollPlace() {
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
    return SScrollPlace{maximum, page,
                        m_pinned ? maximum : std::min(maximum, static_cast<int>(top / m_scale))};
}

void CConsoleModel::ScrollToPosition(std::size_t position) {
    if (m_building && IndexValid()) {
        WhenIndexed([this, position] { ScrollToPosition(position); });
        return;
    }
    Ready();
    if (!IndexValid()) {
        return;
    }
    m_window.SetWidth(m_host.TextWidth());
    m_pinned = false;
    m_top = m_window.RowStartOf(std::min(position, m_window.TextSize()));
    m_layoutDirty = true;
    m_host.RepaintNow();
}

void CConsoleModel::UserScrollTo(std::size_t position) {
    DropPending();  // the user went elsewhere
    if (!m_building || !IndexValid()) {
        ScrollToPosition(position);
        return;
    }
    // The end of the text is drawn already and the part indexed so far can
    // be; the index gets a turn's worth towards the place asked for (the
    // start needs one slice), and the view goes as far as it has got.
    const std::int64_t began = SteadyNowNs();
    std::size_t slices = 0;
    while (m_index->OpenLineStart() <= position + m_sliceBytes && !m_index->Complete(m_store) &&
           slices < kTurnSlices && SteadyNowNs() - began < kTurnNs) {
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
    m_window.SetWidth(m_host.TextWidth());
    m_pinned = false;
    m_top = m_window.RowStartOf(std::min(position, known));
    if (position > known) {
        // The last screenful indexed.
        m_top = m_window.MoveRows(m_top, 1 - m_host.FullRows());
    }
    m_layoutDirty = true;
    m_host.RepaintNow();
}

void CConsoleModel::ScrollToEnd() {
    DropPending();
    m_browsing = false;
    m_tailBack = 0;
    m_pinned = true;
    m_layoutDirty = true;
    m_host.RepaintNow();
}

void CConsoleModel::ScrollRows(int count) {
    if (m_building && IndexValid()) {
        DropPending();  // the user's own move
    }
    if (m_building && IndexValid() && !m_browsing) {
        // Back into the tail, as far as it reaches (the layout holds it there).
        const auto rows = static_cast<std::size_t>(count < 0 ? -static_cast<long>(count) : count);
        m_tailBack = count < 0 ? m_tailBack + rows : m_tailBack - std::min(m_tailBack, rows);
        m_host.RepaintNow();
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
    m_host.RepaintNow();
}

std::size_t CConsoleModel::TopPosition() {
    Ready();
    Layout();
    if (m_building && m_showingTail && !m_rows.empty()) {
        // Counted back from the end, as the scroll bar has it.
        const std::size_t size = EstimatedTextSize();
        return size - std::min(size, m_tail.Size() - std::min(m_tail.Size(), m_rows.front().start));
    }
    return m_top;
}

}  // namespace quillpad
