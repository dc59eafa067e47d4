#include "view/CFindSession.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "data/DataStore.h"

namespace quillpad {
namespace {

// A count step goes in this many parts, each end a place to count on from.
constexpr std::size_t kCountSteps = 4;

bool BySequence(const SFindMatch& match, std::size_t record) {
    return match.sequence < record;
}

}  // namespace

CFindSession::CFindSession(const CDataStore& store, std::size_t keptMatches)
    : m_store(store), m_subscription(store.Subscribe(*this)), m_keptLimit(keptMatches) {}

CFindSession::~CFindSession() = default;

void CFindSession::WantTurns(bool want) const {
    if (m_hooks.wantTurns) {
        m_hooks.wantTurns(want);
    }
}

const std::string& CFindSession::Error() const {
    static const std::string none;
    return m_pattern ? m_pattern->Error() : none;
}

bool CFindSession::IsCurrent() const {
    return m_pattern != nullptr && m_generation == m_store.Generation();
}

void CFindSession::OnStoreNotice(const SStoreNotice& notice) {
    if (m_open && notice.HasRecords()) {
        RecordsArrived();
    }
}

void CFindSession::Restart(const SFindQuery& query) {
    m_open = true;
    WantTurns(false);
    m_query = query;
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
    m_note = ENote::None;
    m_pattern = std::make_unique<CBytePattern>(query);
    m_generation = m_store.Generation();
    m_scannedRecords = m_store.RecordCount();
    if (m_pattern->IsValid()) {
        m_scan = std::make_unique<CHistoryScan>(m_store, *m_pattern, SHistoryPoint{});
        WantTurns(true);
    } else {
        m_want = EWant::Nothing;
    }
}

void CFindSession::Resume() {
    m_open = true;
    RecordsArrived();
}

void CFindSession::Stop() {
    m_open = false;
    WantTurns(false);
    m_want = EWant::Nothing;
    m_back.reset();
    m_ahead.reset();
}

void CFindSession::Step() {
    if (m_pattern == nullptr) {
        WantTurns(false);
        return;
    }
    if (m_generation != m_store.Generation()) {
        Restart(m_query);  // cleared or loaded: the matches so far name nothing
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
        WantTurns(false);
    }
    if (m_matches.size() != kept && m_hooks.marksChanged) {
        m_hooks.marksChanged();
    }
    Resolve();
}

void CFindSession::RecordsArrived() {
    if (!Searching() && IsValid() && IsCurrent() && m_store.RecordCount() != m_scannedRecords) {
        TakeInNewRecords();
    }
}

void CFindSession::TakeInNewRecords() {
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
    WantTurns(true);
}

void CFindSession::Go(EWant want, SFrom from) {
    if (!IsValid()) {
        return;
    }
    if (m_generation != m_store.Generation()) {
        Restart(m_query);
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
        // From where the console is: its top record, or the whole history
        // when it follows the end (Next from the first, Previous from the last).
        if (from.pinnedToEnd) {
            m_wantFrom = want == EWant::Next ? 0 : m_store.RecordCount();
        } else if (from.topRecord) {
            m_wantFrom = *from.topRecord;
        }
    }
    Resolve();
}

void CFindSession::Resolve() {
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
        ResolveNext(complete);
    } else {
        ResolvePrevious(complete);
    }
}

void CFindSession::ResolveNext(bool complete) {
    const std::size_t known = m_matches.size();
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
                  : static_cast<std::size_t>(std::lower_bound(m_matches.begin(), m_matches.end(),
                                                              static_cast<std::size_t>(m_wantFrom),
                                                              BySequence) -
                                             m_matches.begin());
    if (next < known) {
        Show(next, ENote::None);
    } else if (known >= m_keptLimit && (!complete || m_total > known)) {
        // Past the kept ones: searched for from where they end, or, from
        // a record, from the last place the count passed before it.
        const SHistoryPoint end = KeptEnd();
        if (m_current) {
            SearchAhead(SCountPoint{end, known}, end.history);
        } else {
            const std::uint64_t after = std::max(
                end.history, m_store.BytesBefore(
                                 std::min<std::size_t>(m_wantFrom, m_store.RecordCount()), true));
            SearchAhead(LastCountPoint(after), after);
        }
    } else if (complete) {
        Show(0, ENote::PassedEnd);
    }
}

void CFindSession::ResolvePrevious(bool complete) {
    const std::size_t known = m_matches.size();
    if (m_back) {
        return;  // the search back answers
    }
    // Previous: every match before a found one is found too. Beyond the kept
    // ones there may be more, found only by searching back.
    const bool full = known >= m_keptLimit;
    if (m_shown && !m_current) {
        SearchBack(m_shown->historyOffset, std::nullopt,
                   m_ordinal ? std::optional<std::uint64_t>(*m_ordinal - 1) : std::nullopt,
                   ENote::None);
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
                   last ? std::optional<std::uint64_t>(m_total) : std::nullopt, ENote::None);
    } else if (at > 0 && (at < known || complete)) {
        Show(at - 1, ENote::None);
    } else if (complete && m_total > known) {
        SearchBack(kHistoryEnd, std::nullopt, m_total, ENote::PassedStart);
    } else if (complete) {
        Show(known - 1, ENote::PassedStart);
    }
}

void CFindSession::SearchBack(std::uint64_t before, std::optional<std::size_t> beforeRecord,
                              std::optional<std::uint64_t> ordinal, ENote note) {
    m_back = SBackward{before, beforeRecord, ordinal, note, nullptr};
    WantTurns(true);
}

bool CFindSession::StepBack() {
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

void CFindSession::SearchAhead(SCountPoint from, std::uint64_t after) {
    if (after - from.point.history > kCountLead) {
        // Too far to count through: from `after` itself, its number unknown.
        from = SCountPoint{PointAt(after), std::nullopt};
    }
    m_ahead = SAhead{std::make_unique<CHistoryScan>(m_store, *m_pattern, from.point), after,
                     from.before, 0, std::nullopt};
    WantTurns(true);
}

bool CFindSession::StepAhead() {
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
                  ENote::None);
    } else if (!m_matches.empty()) {
        Show(0, ENote::PassedEnd);
    } else {
        m_want = EWant::Nothing;
    }
    return true;
}

CFindSession::SCountPoint CFindSession::LastCountPoint(std::uint64_t history) const {
    const auto after = std::upper_bound(
        m_resume.begin(), m_resume.end(), history,
        [](std::uint64_t h, const SResume& resume) { return h < resume.point.history; });
    if (after == m_resume.begin()) {
        return SCountPoint{KeptEnd(), m_matches.size()};
    }
    return SCountPoint{std::prev(after)->point, std::prev(after)->before};
}

SHistoryPoint CFindSession::KeptEnd() const {
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

bool CFindSession::BeyondKept() const {
    return m_matches.size() >= m_keptLimit &&
           (Searching() || m_total > m_matches.size() || m_store.RecordCount() != m_scannedRecords);
}

SHistoryPoint CFindSession::PointAt(std::uint64_t history) const {
    const std::size_t record = m_store.RecordAtByte(history, true);
    if (record >= m_store.RecordCount()) {
        return SHistoryPoint{m_store.RecordCount(), 0, m_store.TotalBytes(true)};
    }
    return SHistoryPoint{
        record, static_cast<std::uint32_t>(history - m_store.BytesBefore(record, true)), history};
}

void CFindSession::ShowFound(const SFindMatch& match, std::optional<std::uint64_t> ordinal,
                             ENote note) {
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
    if (m_hooks.show) {
        m_hooks.show(match);
    }
}

void CFindSession::Show(std::size_t index, ENote note) {
    m_want = EWant::Nothing;
    m_current = index;
    m_shown = m_matches[index];
    m_ordinal = index + 1;
    m_note = note;
    if (m_hooks.show) {
        m_hooks.show(m_matches[index]);
    }
}

std::vector<SByteMark> CFindSession::MarksIn(std::size_t firstRecord,
                                             std::size_t lastRecord) const {
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

void CFindSession::AppendMarks(const SFindMatch& match, std::size_t firstRecord,
                               std::size_t lastRecord, std::vector<SByteMark>& out) const {
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

void CFindSession::AppendMarksBeyondKept(std::size_t firstRecord, std::size_t lastRecord,
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

std::pair<std::size_t, std::uint32_t> CFindSession::EndOf(const SFindMatch& match) const {
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

}  // namespace quillpad
