#include "control/qt/CFindBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <iterator>
#include <limits>

#include "data/DataStore.h"
#include "view/CStyledRenderer.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {

namespace {

const std::uint32_t kDirections[] = {0, kDirectionIncoming, kDirectionOutgoing};
// A count slice goes in this many steps, each end a place to count on from.
constexpr std::size_t kCountSteps = 4;

bool BySequence(const SFindMatch& match, std::size_t record) {
    return match.sequence < record;
}

}  // namespace

CFindBar::CFindBar(const CDataStore& store, CConsoleView& view, QWidget* parent,
                   std::size_t keptMatches)
    : QWidget(parent),
      m_store(store),
      m_view(view),
      m_viewAlive(&view),
      m_text(new QLineEdit(this)),
      m_previous(new QToolButton(this)),
      m_next(new QToolButton(this)),
      m_matchCase(new QCheckBox(tr("Match case"), this)),
      m_mode(new QComboBox(this)),
      m_direction(new QComboBox(this)),
      m_status(new QLabel(this)),
      m_filter(new QCheckBox(tr("Filter"), this)),
      m_filterStatus(new QLabel(this)),
      m_close(new QToolButton(this)),
      m_timer(new QTimer(this)),
      m_keptLimit(keptMatches) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(tr("Find"));
    m_text->setToolTip(
        tr("Text: the bytes as typed, with \\r, \\n, \\t and \\xHH.\nHex: \"55 AA\", \"0d0a\".\n"
           "Pattern: a regular expression over the bytes."));
    m_text->setMinimumWidth(160);
    m_text->installEventFilter(this);
    m_previous->setText(tr("Previous"));
    m_previous->setToolTip(tr("The previous match (Shift+Enter)"));
    m_next->setText(tr("Next"));
    m_next->setToolTip(tr("The next match (Enter)"));
    m_mode->addItems({tr("Text"), tr("Hex"), tr("Pattern")});
    m_mode->setToolTip(tr("What the text names"));
    m_direction->addItems({tr("Both directions"), tr("Incoming only"), tr("Outgoing only")});
    m_status->setObjectName(QStringLiteral("findStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_filter->setObjectName(QStringLiteral("findFilter"));
    m_filter->setToolTip(tr("Show only the lines that match"));
    m_filterStatus->setObjectName(QStringLiteral("filterStatus"));
    m_close->setText(QString(QChar(0xD7)));
    m_close->setToolTip(tr("Close the find bar (Escape)"));
    m_close->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_text, 2);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_mode);
    layout->addWidget(m_direction);
    layout->addWidget(m_filter);
    layout->addWidget(m_filterStatus);
    layout->addWidget(m_status, 3);
    layout->addWidget(m_close);

    connect(m_text, &QLineEdit::textChanged, this, [this] { Restart(); });
    connect(m_matchCase, &QCheckBox::toggled, this, [this] { Restart(); });
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this](int mode) {
        // Bytes named in hex have no case.
        m_matchCase->setEnabled(mode != static_cast<int>(EFindMode::Hex));
        Restart();
    });
    connect(m_direction, &QComboBox::currentIndexChanged, this, [this] { Restart(); });
    connect(m_filter, &QCheckBox::toggled, this, [this](bool on) {
        m_filterStatus->clear();
        emit FilterChanged(on);
    });
    connect(m_previous, &QToolButton::clicked, this, [this] { Previous(); });
    connect(m_next, &QToolButton::clicked, this, [this] { Next(); });
    connect(m_close, &QToolButton::clicked, this, [this] { Close(); });
    // One slice per turn of the event loop: input and painting go on between.
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] { Slice(); });
    // Records that came while the bar is open get their marks too.
    connect(&m_view, &CConsoleView::Repainted, this, [this] {
        if (isVisible() && !Searching() && m_pattern && m_pattern->IsValid() &&
            m_generation == m_store.Generation() && m_store.RecordCount() != m_scannedRecords) {
            TakeInNewRecords();
        }
    });
    hide();
}

CFindBar::~CFindBar() {
    if (m_viewAlive && m_view.FindMarks() == this) {
        m_view.SetFindMarks(nullptr);
    }
}

void CFindBar::Open() {
    show();
    raise();
    m_view.SetFindMarks(this);
    m_text->setFocus();
    m_text->selectAll();
    if (!m_pattern || m_generation != m_store.Generation()) {
        Restart();
    }
}

void CFindBar::Close() {
    m_timer->stop();
    m_want = EWant::Nothing;
    m_back.reset();
    m_ahead.reset();
    m_filter->setChecked(false);
    hide();
    if (m_view.FindMarks() == this) {
        m_view.SetFindMarks(nullptr);
    }
    m_view.setFocus();
    emit Closed();
}

bool CFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            key->modifiers() & Qt::ShiftModifier ? Previous() : Next();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CFindBar::Restart() {
    m_timer->stop();
    m_scan.reset();
    m_matches.clear();
    m_total = 0;
    m_shown.reset();
    m_current.reset();
    m_ordinal.reset();
    m_back.reset();
    m_ahead.reset();
    m_resume.clear();
    m_keptEnd.reset();
    ++m_counts;
    m_note.clear();
    m_pattern = std::make_unique<CFindPattern>(Query());
    m_generation = m_store.Generation();
    m_scannedRecords = m_store.RecordCount();
    if (m_pattern->IsValid()) {
        m_scan = std::make_unique<CHistoryScan>(m_store, *m_pattern, SHistoryPoint{});
        m_timer->start();
    } else {
        m_want = EWant::Nothing;
    }
    m_view.viewport()->update();
    UpdateStatus();
    if (m_filter->isChecked()) {
        emit FilterChanged(true);
    }
}

SFindQuery CFindBar::Query() const {
    SFindQuery query;
    // One character is one byte; a character beyond Latin-1 has none.
    const QByteArray bytes = m_text->text().toLatin1();
    query.text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    query.mode = static_cast<EFindMode>(std::clamp(m_mode->currentIndex(), 0, 2));
    query.matchCase = m_matchCase->isChecked();
    query.direction = kDirections[std::clamp(m_direction->currentIndex(), 0, 2)];
    return query;
}

void CFindBar::SetFilterStatus(const QString& text) {
    m_filterStatus->setText(text);
}

QString CFindBar::FilterStatusText() const {
    return m_filterStatus->text();
}

void CFindBar::Slice() {
    if (m_generation != m_store.Generation()) {
        Restart();  // cleared or loaded: the matches so far name nothing
        return;
    }
    const std::size_t kept = m_matches.size();
    // A search back or on takes the turn; the count waits for it.
    if (m_back) {
        StepBack();
    } else if (m_ahead) {
        StepAhead();
    } else if (Searching()) {
        const auto count = [this](const SFindMatch& match) {
            ++m_total;
            if (m_matches.size() < m_keptLimit) {
                m_matches.push_back(match);
            }
            return true;
        };
        for (std::size_t step = 0; step < kCountSteps && !m_scan->Done(); ++step) {
            m_scan->Step(kFindSliceBytes / kCountSteps, count);
            if (!m_scan->Done() && m_matches.size() >= m_keptLimit) {
                m_resume.push_back(SResume{m_scan->Point(), m_total});
            }
        }
    }
    if (!Searching() && !m_back && !m_ahead) {
        m_timer->stop();
    }
    if (m_matches.size() != kept) {
        m_view.viewport()->update();
    }
    Resolve();
    UpdateStatus();
}

void CFindBar::TakeInNewRecords() {
    // From the last place the count passed before its end: a match the old
    // end cut short is found whole now, and everything before it stays as
    // counted.
    SHistoryPoint from;
    if (!m_resume.empty()) {
        from = m_resume.back().point;
        m_total = m_resume.back().before;
    } else {
        from = KeptEnd();
        m_total = m_matches.size();
    }
    m_scannedRecords = m_store.RecordCount();
    m_scan = std::make_unique<CHistoryScan>(m_store, *m_pattern, from);
    m_timer->start();
}

bool CFindBar::Searching() const {
    return m_scan && !m_scan->Done();
}

std::optional<SFindMatch> CFindBar::Current() const {
    return m_shown;
}

void CFindBar::Next() {
    Go(EWant::Next);
}

void CFindBar::Previous() {
    Go(EWant::Previous);
}

void CFindBar::Go(EWant want) {
    if (!m_pattern || !m_pattern->IsValid()) {
        return;
    }
    if (m_generation != m_store.Generation()) {
        Restart();
    } else if (!Searching() && m_store.RecordCount() != m_scannedRecords) {
        TakeInNewRecords();
    }
    m_want = want;
    m_wantFrom = 0;
    m_back.reset();
    m_ahead.reset();
    if (m_shown && !m_current) {
        m_wantFrom = m_shown->sequence;
    } else if (!m_current) {
        // From where the view is: its top record, or the whole history when
        // it follows the end (Next from the first, Previous from the last).
        const auto top = m_view.TopRecord();
        if (m_view.IsPinnedToEnd()) {
            m_wantFrom = want == EWant::Next ? 0 : m_store.RecordCount();
        } else if (top) {
            m_wantFrom = *top;
        }
    }
    Resolve();
    UpdateStatus();
}

void CFindBar::Resolve() {
    if (m_want == EWant::Nothing) {
        return;
    }
    const bool complete = !Searching();
    const std::size_t known = m_matches.size();
    if (complete && known == 0) {
        m_want = EWant::Nothing;
        return;
    }
    if (m_want == EWant::Next) {
        if (m_ahead) {
            return;  // the search on answers
        }
        if (m_shown && !m_current) {
            // Beyond the kept matches: on from the end of the one shown.
            const std::uint64_t after = m_shown->historyEnd;
            if (m_ordinal) {
                const auto [record, offset] = EndOf(*m_shown);
                SearchAhead(SCountPoint{SHistoryPoint{record, offset, after}, *m_ordinal}, after);
            } else {
                SearchAhead(LastCountPoint(after), after);
            }
            return;
        }
        const std::size_t next =
            m_current ? *m_current + 1
                      : static_cast<std::size_t>(
                            std::lower_bound(m_matches.begin(), m_matches.end(),
                                             static_cast<std::size_t>(m_wantFrom), BySequence) -
                            m_matches.begin());
        if (next < known) {
            Show(next, {});
        } else if (known >= m_keptLimit && (!complete || m_total > known)) {
            // Past the kept ones: searched for from where they end, or, from
            // a record, from the last place the count passed before it.
            const SHistoryPoint end = KeptEnd();
            if (m_current) {
                SearchAhead(SCountPoint{end, known}, end.history);
            } else {
                const std::uint64_t after =
                    std::max(end.history,
                             m_store.BytesBefore(
                                 std::min<std::size_t>(m_wantFrom, m_store.RecordCount()), true));
                SearchAhead(LastCountPoint(after), after);
            }
        } else if (complete) {
            Show(0, tr("passed the end, on from the first"));
        }
        return;
    }
    if (m_back) {
        return;  // the search back answers
    }
    // Previous: every match before a found one is found too. Beyond the kept
    // ones there may be more, found only by searching back.
    const bool full = known >= m_keptLimit;
    if (m_shown && !m_current) {
        SearchBack(m_shown->historyOffset, std::nullopt,
                   m_ordinal ? std::optional<std::uint64_t>(*m_ordinal - 1) : std::nullopt, {});
        return;
    }
    const std::size_t at =
        m_current ? *m_current
                  : static_cast<std::size_t>(std::lower_bound(m_matches.begin(), m_matches.end(),
                                                              static_cast<std::size_t>(m_wantFrom),
                                                              BySequence) -
                                             m_matches.begin());
    if (at == known && full) {
        // From the end, once all are counted, the last match is the last one.
        const bool last = complete && m_wantFrom >= m_store.RecordCount();
        SearchBack(0, static_cast<std::size_t>(m_wantFrom),
                   last ? std::optional<std::uint64_t>(m_total) : std::nullopt, {});
    } else if (at > 0 && (at < known || complete)) {
        Show(at - 1, {});
    } else if (complete && m_total > known) {
        SearchBack(kHistoryEnd, std::nullopt, m_total, tr("passed the start, on from the last"));
    } else if (complete) {
        Show(known - 1, tr("passed the start, on from the last"));
    }
}

void CFindBar::SearchBack(std::uint64_t before, std::optional<std::size_t> beforeRecord,
                          std::optional<std::uint64_t> ordinal, const QString& note) {
    m_back = SBackward{before, beforeRecord, ordinal, note, nullptr};
    m_timer->start();
}

bool CFindBar::StepBack() {
    if (!m_back->search) {
        // Where records start, indexed a slice at a time.
        if (!m_offsets.Update(m_store, std::size_t{1} << 18)) {
            return false;
        }
        std::uint64_t before = std::min(m_back->before, m_offsets.TotalBytes());
        if (m_back->beforeRecord) {
            before = *m_back->beforeRecord < m_offsets.IndexedRecords()
                         ? m_offsets.PointOf(m_store, *m_back->beforeRecord, 0).history
                         : m_offsets.TotalBytes();
        }
        m_back->search =
            std::make_unique<CHistoryBackwardSearch>(m_store, m_offsets, *m_pattern, before);
    }
    if (!m_back->search->Step(kFindSliceBytes)) {
        return false;
    }
    const std::optional<SFindMatch> found = m_back->search->Result();
    const SBackward back = std::move(*m_back);
    m_back.reset();
    if (found) {
        ShowFound(*found, back.ordinal, back.note);
    } else {
        m_want = EWant::Nothing;
    }
    return true;
}

void CFindBar::SearchAhead(SCountPoint from, std::uint64_t after) {
    if (after - from.point.history > kCountLead) {
        // Too far to count through: from `after` itself, its number unknown.
        from = SCountPoint{PointAt(after), std::nullopt};
    }
    m_ahead = SAhead{std::make_unique<CHistoryScan>(m_store, *m_pattern, from.point), after,
                     from.before, 0, std::nullopt};
    m_timer->start();
}

bool CFindBar::StepAhead() {
    SAhead& ahead = *m_ahead;
    ahead.scan->Step(kFindSliceBytes, [&ahead](const SFindMatch& match) {
        if (match.historyOffset < ahead.after) {
            ++ahead.passed;
            return true;
        }
        ahead.found = match;
        return false;
    });
    if (!ahead.scan->Done()) {
        return false;
    }
    const SAhead done = std::move(*m_ahead);
    m_ahead.reset();
    if (done.found) {
        ShowFound(*done.found,
                  done.before ? std::optional<std::uint64_t>(*done.before + done.passed + 1)
                              : std::nullopt,
                  {});
    } else if (!m_matches.empty()) {
        Show(0, tr("passed the end, on from the first"));
    } else {
        m_want = EWant::Nothing;
    }
    return true;
}

CFindBar::SCountPoint CFindBar::LastCountPoint(std::uint64_t history) const {
    const auto after = std::upper_bound(
        m_resume.begin(), m_resume.end(), history,
        [](std::uint64_t h, const SResume& resume) { return h < resume.point.history; });
    if (after == m_resume.begin()) {
        return SCountPoint{KeptEnd(), m_matches.size()};
    }
    return SCountPoint{std::prev(after)->point, std::prev(after)->before};
}

SHistoryPoint CFindBar::KeptEnd() const {
    if (m_keptEnd) {
        return *m_keptEnd;
    }
    SHistoryPoint end;
    if (!m_matches.empty()) {
        const SFindMatch& last = m_matches.back();
        const auto [record, offset] = EndOf(last);
        end = SHistoryPoint{record, offset, last.historyEnd};
    }
    if (m_matches.size() >= m_keptLimit) {
        m_keptEnd = end;  // kept no more, so it stays
    }
    return end;
}

bool CFindBar::BeyondKept() const {
    return m_matches.size() >= m_keptLimit &&
           (Searching() || m_total > m_matches.size() || m_store.RecordCount() != m_scannedRecords);
}

SHistoryPoint CFindBar::PointAt(std::uint64_t history) const {
    const std::size_t record = m_store.RecordAtByte(history, true);
    if (record >= m_store.RecordCount()) {
        return SHistoryPoint{m_store.RecordCount(), 0, m_store.TotalBytes(true)};
    }
    return SHistoryPoint{
        record, static_cast<std::uint32_t>(history - m_store.BytesBefore(record, true)), history};
}

void CFindBar::ShowFound(const SFindMatch& match, std::optional<std::uint64_t> ordinal,
                         const QString& note) {
    const auto kept = std::lower_bound(
        m_matches.begin(), m_matches.end(), match.historyOffset,
        [](const SFindMatch& m, std::uint64_t offset) { return m.historyOffset < offset; });
    if (kept != m_matches.end() && *kept == match) {
        Show(static_cast<std::size_t>(kept - m_matches.begin()), note);
        return;
    }
    m_want = EWant::Nothing;
    m_current.reset();
    m_shown = match;
    m_ordinal = ordinal;
    m_note = note;
    JumpTo(match);
    UpdateStatus();
}

void CFindBar::Show(std::size_t index, const QString& note) {
    m_want = EWant::Nothing;
    m_current = index;
    m_shown = m_matches[index];
    m_ordinal = index + 1;
    m_note = note;
    JumpTo(m_matches[index]);
    UpdateStatus();
}

void CFindBar::JumpTo(const SFindMatch& match) {
    // Where the match lies in the whole text is known once the view has
    // indexed it; until then the status says so.
    QPointer<CFindBar> self(this);
    m_view.WhenIndexed([self, match] {
        if (self == nullptr) {
            return;
        }
        const auto [start, end] = self->DisplayRange(match);
        self->m_view.ScrollToPosition(start);
        self->m_view.ScrollRows(-2);  // a little of what came before
        self->m_view.SetSelection(start, end);
        self->UpdateStatus();
    });
}

void CFindBar::UpdateStatus() {
    QString text;
    m_statusIsError = false;
    if (m_pattern && !m_pattern->IsValid() && !m_text->text().isEmpty()) {
        text = QString::fromLatin1(m_pattern->Error().c_str());
        m_statusIsError = true;
    } else if (m_pattern && m_pattern->IsValid()) {
        // A Next past the kept matches may run ahead of the count.
        const QString total = QString::number(std::max(m_total, m_ordinal.value_or(0))) +
                              (Searching() ? tr("+") : QString());
        if (m_shown) {
            text = m_ordinal ? tr("%1 of %2").arg(*m_ordinal).arg(total)
                             : tr("one past the first %1 of %2").arg(m_matches.size()).arg(total);
            if (!m_note.isEmpty()) {
                text += QStringLiteral(" (") + m_note + QStringLiteral(")");
            }
            if (m_view.HasPendingAction()) {
                text += tr(" (indexing…)");  // shown once the view has got there
            }
        } else if (Searching()) {
            text = tr("Searching... %1 so far").arg(m_total);
        } else if (m_total == 0) {
            text = tr("No matches");
        } else {
            text = m_total == 1 ? tr("1 match") : tr("%1 matches").arg(m_total);
        }
    }
    m_status->setText(text);
    m_status->setStyleSheet(m_statusIsError ? QStringLiteral("color: #c00000;") : QString());
}

QString CFindBar::StatusText() const {
    return m_status->text();
}

std::size_t CFindBar::DisplayPosition(std::size_t record, std::uint32_t offset) const {
    const std::size_t start = m_view.PositionOfRecord(record).value_or(0);
    const std::size_t next = m_view.PositionOfRecord(record + 1).value_or(start);
    if (next <= start) {
        return start;  // drawn as nothing: where it would be
    }
    // A byte's place in what the record drew: what the style makes of the
    // bytes before it (CR LF may be one line break, a byte "[0Dh]").
    SDataRecord before = *m_store.Record(record);
    before.bytes = before.bytes.substr(0, offset);
    before.length = static_cast<std::uint32_t>(before.bytes.size());
    const std::size_t into =
        m_view.Scheme() ? CStyledRenderer::RenderToString(m_view.Scheme(), before).size() : offset;
    m_store.TrimWindows();
    return start + std::min(into, next - start);
}

std::vector<SByteMark> CFindBar::MarksIn(std::size_t firstRecord, std::size_t lastRecord) const {
    std::vector<SByteMark> out;
    if (!m_pattern || !m_pattern->IsValid() || m_generation != m_store.Generation()) {
        return out;
    }
    auto match = std::lower_bound(m_matches.begin(), m_matches.end(), firstRecord, BySequence);
    // Matches do not overlap: only the last one before may reach in.
    if (match != m_matches.begin()) {
        --match;
    }
    for (; match != m_matches.end() && match->sequence <= lastRecord; ++match) {
        AppendMarks(*match, firstRecord, lastRecord, out);
    }
    if (BeyondKept() && lastRecord >= KeptEnd().record) {
        AppendMarksBeyondKept(std::max(firstRecord, KeptEnd().record), lastRecord, out);
    }
    m_store.TrimWindows();
    return out;
}

void CFindBar::AppendMarks(const SFindMatch& match, std::size_t firstRecord, std::size_t lastRecord,
                           std::vector<SByteMark>& out) const {
    // Its bytes record by record, those of the searched direction only.
    const std::uint32_t direction = m_pattern->Direction();
    std::uint64_t remaining = match.length;
    std::uint32_t offset = match.offset;
    for (std::size_t record = match.sequence;
         remaining > 0 && record <= lastRecord && record < m_store.RecordCount();
         ++record, offset = 0) {
        const auto r = m_store.Record(record);
        if (!r || (direction != 0 && r->direction != direction)) {
            continue;
        }
        const auto take =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, r->length - offset));
        remaining -= take;
        if (record >= firstRecord && take > 0) {
            out.push_back(SByteMark{record, offset, offset + take});
        }
    }
}

void CFindBar::AppendMarksBeyondKept(std::size_t firstRecord, std::size_t lastRecord,
                                     std::vector<SByteMark>& out) const {
    // Painting asks about the records in sight, a row or a page on from the
    // last: what was found for them is kept, searched on into records that
    // come into sight after them, and searched again from a lead before
    // them otherwise.
    SMarkCache& cache = m_markCache;
    const std::size_t records = m_store.RecordCount();
    const bool countDone = !Searching();
    const bool usable =
        cache.valid && cache.counts == m_counts && (!cache.open || cache.records == records) &&
        (cache.exact || (cache.resumes == m_resume.size() && cache.countDone == countDone)) &&
        firstRecord >= cache.first && firstRecord <= cache.end;
    if (!usable) {
        const std::uint64_t start =
            std::max(KeptEnd().history, m_store.BytesBefore(firstRecord, true));
        const SCountPoint known = LastCountPoint(start);
        cache.valid = true;
        cache.counts = m_counts;
        cache.first = cache.end = firstRecord;
        cache.matches.clear();
        cache.open = false;
        cache.exact = start - known.point.history <= kMarkLead;
        // Short of the count, a scan may begin inside a match the count will
        // find, and so find another: patterns whose matches could overlap
        // are marked as from there until the count gets there.
        cache.next = cache.exact ? known.point : PointAt(start - kMarkLead);
        cache.resumes = m_resume.size();
        cache.countDone = countDone;
    }
    if (lastRecord >= cache.end && !cache.open) {
        const bool toEnd = lastRecord + 1 >= records;
        const std::uint64_t limit = toEnd ? kHistoryEnd : m_store.BytesBefore(lastRecord + 1, true);
        const std::uint64_t reach = m_store.BytesBefore(cache.first, true);
        std::optional<SFindMatch> last;
        CHistoryScan scan(m_store, *m_pattern, cache.next, limit);
        scan.Step(std::numeric_limits<std::size_t>::max(), [&](const SFindMatch& match) {
            if (match.historyEnd > reach) {
                cache.matches.push_back(match);
            }
            last = match;
            return true;
        });
        cache.end = lastRecord + 1;
        cache.open = toEnd;
        cache.records = records;
        if (!toEnd) {
            // Every match that begins before the limit is found: the next
            // begins at it or after the last one's end.
            cache.next = SHistoryPoint{lastRecord + 1, 0, limit};
            if (last && last->historyEnd > limit) {
                const auto [record, offset] = EndOf(*last);
                cache.next = SHistoryPoint{record, offset, last->historyEnd};
            }
        }
    }
    if (firstRecord > cache.first) {
        const std::uint64_t reach = m_store.BytesBefore(firstRecord, true);
        cache.matches.erase(
            cache.matches.begin(),
            std::find_if(cache.matches.begin(), cache.matches.end(),
                         [reach](const SFindMatch& match) { return match.historyEnd > reach; }));
        cache.first = firstRecord;
    }
    for (const SFindMatch& match : cache.matches) {
        if (match.sequence > lastRecord) {
            break;
        }
        AppendMarks(match, firstRecord, lastRecord, out);
    }
}

std::pair<std::size_t, std::uint32_t> CFindBar::EndOf(const SFindMatch& match) const {
    // Its length counted over the records of its direction.
    std::uint64_t remaining = match.length;
    std::size_t record = match.sequence;
    std::uint32_t offset = match.offset;
    while (record < m_store.RecordCount()) {
        const SDataRecord r = *m_store.Record(record);
        if (m_pattern->Direction() == 0 || r.direction == m_pattern->Direction()) {
            const std::uint64_t take = std::min<std::uint64_t>(remaining, r.length - offset);
            remaining -= take;
            offset += static_cast<std::uint32_t>(take);
            if (remaining == 0) {
                break;
            }
        }
        ++record;
        offset = 0;
    }
    m_store.TrimWindows();
    return {record, offset};
}

std::pair<std::size_t, std::size_t> CFindBar::DisplayRange(const SFindMatch& match) {
    const auto [record, offset] = EndOf(match);
    const std::size_t start = DisplayPosition(match.sequence, match.offset);
    return {start, std::max(start, DisplayPosition(record, offset))};
}

}  // namespace quillpad
