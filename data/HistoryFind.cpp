#include "data/HistoryFind.h"

#include <algorithm>
#include <cstring>

namespace quillpad {

namespace {

// A match may be this long before it is cut at the window's end; it bounds
// what a partial match keeps in memory.
constexpr std::size_t kMaxCarry = std::size_t{1} << 20;
// Records read into one window at most, and records looked at by one refill
// (those of the other direction cost a lookup too).
constexpr std::size_t kMaxPieces = 65536;
constexpr std::size_t kMaxLookups = 65536;
// What looking up a record costs, in bytes of a step's budget.
constexpr std::size_t kLookupCost = 16;
// Records looked at for the bytes before a scan's start.
constexpr std::size_t kContextRecords = 64;
// Bytes copied to join a window to a segment of the store (see Refill).
constexpr std::size_t kBridgeBytes = 4096;

bool Selected(const CBytePattern& pattern, const SDataRecord& record) {
    return pattern.Direction() == 0 || record.direction == pattern.Direction();
}

}  // namespace

bool CHistoryOffsets::Update(const CDataStore& store, std::size_t recordBudget) {
    if (store.Generation() != m_generation || store.RecordCount() < m_records) {
        m_generation = store.Generation();
        m_starts.clear();
        m_records = 0;
        m_total = 0;
    }
    const std::size_t count = store.RecordCount();
    for (; m_records < count && recordBudget > 0; ++m_records, --recordBudget) {
        if (m_records % kStep == 0) {
            m_starts.push_back(m_total);
        }
        m_total += store.Record(m_records)->length;
    }
    store.TrimWindows();
    return m_records == count;
}

SHistoryPoint CHistoryOffsets::PointAt(const CDataStore& store, std::uint64_t history) const {
    if (history >= m_total) {
        return SHistoryPoint{m_records, 0, m_total};
    }
    // The last block of records that starts at or before the offset.
    const auto block = std::upper_bound(m_starts.begin(), m_starts.end(), history) - 1;
    std::size_t record = static_cast<std::size_t>(block - m_starts.begin()) * kStep;
    std::uint64_t start = *block;
    for (;; ++record) {
        const std::uint32_t length = store.Record(record)->length;
        if (history < start + length) {
            return SHistoryPoint{record, static_cast<std::uint32_t>(history - start), history};
        }
        start += length;
    }
}

SHistoryPoint CHistoryOffsets::PointOf(const CDataStore& store, std::size_t record,
                                       std::uint32_t offset) const {
    if (record >= m_records) {
        return SHistoryPoint{m_records, 0, m_total};
    }
    std::uint64_t start = m_starts[record / kStep];
    for (std::size_t r = record / kStep * kStep; r < record; ++r) {
        start += store.Record(r)->length;
    }
    return SHistoryPoint{record, offset, start + offset};
}

CHistoryScan::CHistoryScan(const CDataStore& store, const CBytePattern& pattern, SHistoryPoint from,
                           std::uint64_t beginLimit, std::size_t windowBytes)
    : m_store(store),
      m_pattern(pattern),
      m_beginLimit(beginLimit),
      m_windowBytes(std::max<std::size_t>(windowBytes, 1)),
      m_record(from.record),
      m_offset(from.offset),
      m_history(from.history) {
    m_done = !pattern.IsValid();
    const std::size_t context = pattern.Context();
    if (context == 0 || from.history == 0) {
        return;
    }
    // The bytes just before the start, for lookbehind and ^: walked back
    // record by record, then put in the window in their order.
    std::vector<SPiece> back;
    std::size_t have = 0;
    std::size_t record = from.record;
    std::uint32_t end = from.offset;
    std::uint64_t history = from.history;
    bool reachedStart = false;
    for (std::size_t looked = 0; have < context && looked < kContextRecords; ++looked) {
        if (end == 0) {
            if (record == 0) {
                reachedStart = true;
                break;
            }
            --record;
            const auto previous = store.Record(record);
            end = previous->length;
            if (!Selected(pattern, *previous)) {
                history -= end;
                end = 0;
            }
            continue;
        }
        const std::uint32_t take =
            static_cast<std::uint32_t>(std::min<std::size_t>(end, context - have));
        end -= take;
        history -= take;
        have += take;
        back.push_back(SPiece{take, record, end, history});  // `at` holds the length for now
    }
    std::size_t at = 0;
    for (auto it = back.rbegin(); it != back.rend(); ++it) {
        const std::size_t length = it->at;
        m_pieces.push_back(SPiece{at, it->record, it->offset, it->history});
        m_own.append(store.Record(it->record)->bytes.substr(it->offset, length));
        at += length;
    }
    m_window = m_own;
    m_scan = m_window.size();
    m_windowAtStart = reachedStart;
    store.TrimWindows();
}

bool CHistoryScan::Step(std::size_t byteBudget, const Sink& sink) {
    std::size_t budget = byteBudget;
    while (!m_done) {
        SPatternMatch match = m_pattern.Match(m_window, m_scan, !m_atEnd, m_windowAtStart);
        if (match.kind == SPatternMatch::EKind::Partial &&
            m_window.size() - match.begin >= kMaxCarry) {
            // Too long to carry on: the window's end ends this one.
            match = m_pattern.Match(m_window, m_scan, false, m_windowAtStart);
            if (match.kind != SPatternMatch::EKind::Full) {
                match.kind = SPatternMatch::EKind::None;
            }
        }
        std::size_t keep = m_window.size();
        if (match.kind == SPatternMatch::EKind::Full) {
            if (HistoryOf(match.begin) >= m_beginLimit) {
                m_done = true;
                break;
            }
            m_scan = match.end;
            if (!sink(MatchAt(match.begin, match.end))) {
                m_done = true;
            }
            continue;
        }
        if (match.kind == SPatternMatch::EKind::Partial) {
            if (HistoryOf(match.begin) >= m_beginLimit) {
                m_done = true;
                break;
            }
            keep = match.begin;
        }
        if (m_atEnd || (match.kind == SPatternMatch::EKind::None && m_history >= m_beginLimit)) {
            m_done = true;
            break;
        }
        m_scan = keep;
        if (budget == 0) {
            // Only what the next step needs is kept, and in the scan's own
            // memory: the store may spill before then.
            Trim(keep);
            if (m_window.data() < m_own.data() || m_window.data() > m_own.data() + m_own.size()) {
                m_own.assign(m_window);
                m_window = m_own;
            }
            break;
        }
        Refill(keep, budget);
    }
    return m_done;
}

void CHistoryScan::Trim(std::size_t keep) {
    const std::size_t context = m_pattern.Context();
    const std::size_t from = keep > context ? keep - context : 0;
    if (from > 0) {
        const auto first =
            std::upper_bound(m_pieces.begin(), m_pieces.end(), from,
                             [](std::size_t at, const SPiece& p) { return at < p.at; }) -
            1;
        const std::size_t into = from - first->at;
        const auto [record, offset] = PlaceIn(*first, into);
        first->record = record;
        first->offset = offset;
        first->history += into;
        first->at = from;
        m_pieces.erase(m_pieces.begin(), first);
        for (SPiece& piece : m_pieces) {
            piece.at -= from;
        }
        m_window.remove_prefix(from);
        m_scan -= from;
        m_windowAtStart = false;
    }
}

bool CHistoryScan::Follows(std::string_view bytes, std::size_t before) const {
    // Bytes equal to the window's lie just before these in the store: the
    // window can go on there without a copy.
    const std::size_t kept = m_window.size();
    return kept == 0 ||
           (kept <= before && (bytes.data() - kept == m_window.data() ||
                               std::memcmp(bytes.data() - kept, m_window.data(), kept) == 0));
}

void CHistoryScan::Take(std::string_view bytes, const std::size_t* before, bool& copying) {
    if (!copying && before != nullptr && Follows(bytes, *before)) {
        const std::size_t kept = m_window.size();
        m_window = std::string_view(bytes.data() - kept, kept + bytes.size());
        return;
    }
    if (!copying) {
        m_scratch.assign(m_window);
        copying = true;
    }
    m_scratch.append(bytes);
}

bool CHistoryScan::Refill(std::size_t keep, std::size_t& budget) {
    Trim(keep);

    bool copying = false;
    const std::size_t kept = m_window.size();
    const auto size = [this, &copying] { return copying ? m_scratch.size() : m_window.size(); };
    const std::size_t target = m_window.size() + m_windowBytes;
    const std::size_t count = m_store.RecordCount();
    for (std::size_t looked = 0;
         size() < target && m_pieces.size() < kMaxPieces && looked < kMaxLookups;) {
        if (m_record >= count) {
            m_atEnd = true;
            break;
        }
        // Records in memory are read a segment at a time.
        auto run = m_store.ResidentRun(m_record, m_offset, m_pattern.Direction(), target - size());
        bool bridge = false;
        if (!run.bytes.empty() && !copying && !Follows(run.bytes, run.before)) {
            if (m_window.size() > kept) {
                break;  // the window ends with its segment
            }
            // A new segment: only a short bridge to it is copied, so the
            // next window lies within the segment and needs no copy.
            bridge = true;
            run = m_store.ResidentRun(
                m_record, m_offset, m_pattern.Direction(),
                std::min(target - size(), std::max(kBridgeBytes, m_window.size())));
        }
        if (!run.bytes.empty()) {
            const std::size_t records = run.endRecord - m_record + (run.endOffset > 0 ? 1 : 0);
            m_pieces.push_back(SPiece{size(), m_record, m_offset, m_history, true});
            Take(run.bytes, &run.before, copying);
            m_history += run.bytes.size();
            m_record = run.endRecord;
            m_offset = run.endOffset;
            looked += records;
            budget -= std::min(budget, records * kLookupCost + run.bytes.size());
            if (bridge) {
                break;
            }
            continue;
        }
        ++looked;
        const SDataRecord record = *m_store.Record(m_record);
        budget -= std::min(budget, kLookupCost);
        if (m_offset < record.length && Selected(m_pattern, record)) {
            const std::size_t n = std::min<std::size_t>(record.length - m_offset, target - size());
            m_pieces.push_back(SPiece{size(), m_record, m_offset, m_history});
            Take(record.bytes.substr(m_offset, n), nullptr, copying);
            m_offset += static_cast<std::uint32_t>(n);
            m_history += n;
            budget -= std::min(budget, n);
        }
        if (m_offset < record.length && Selected(m_pattern, record)) {
            break;  // the window is full inside this record
        }
        m_history += record.length - m_offset;
        ++m_record;
        m_offset = 0;
    }
    if (copying) {
        m_own.swap(m_scratch);
        m_window = m_own;
    }
    m_store.TrimWindows();
    return !m_atEnd;
}

std::pair<std::size_t, std::uint32_t> CHistoryScan::PlaceIn(const SPiece& piece,
                                                            std::size_t into) const {
    // A piece of one record needs no lookup.
    if (!piece.run) {
        return {piece.record, piece.offset + static_cast<std::uint32_t>(into)};
    }
    return m_store.Advance(piece.record, piece.offset, into);
}

const CHistoryScan::SPiece& CHistoryScan::PieceOf(std::size_t at) const {
    return *(std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                              [](std::size_t a, const SPiece& p) { return a < p.at; }) -
             1);
}

std::uint64_t CHistoryScan::HistoryOf(std::size_t at) const {
    if (at >= m_window.size()) {
        return m_history;
    }
    const SPiece& piece = PieceOf(at);
    return piece.history + (at - piece.at);
}

SFindMatch CHistoryScan::MatchAt(std::size_t begin, std::size_t end) const {
    const SPiece& first = PieceOf(begin);
    const std::size_t into = begin - first.at;
    SFindMatch match;
    // A piece may hold many records: the match's is found from the piece's.
    const auto [record, offset] = PlaceIn(first, into);
    match.sequence = static_cast<std::uint32_t>(record);
    match.offset = offset;
    match.historyOffset = first.history + into;
    match.length = end - begin;
    const SPiece& last = PieceOf(end - 1);
    match.historyEnd = last.history + (end - 1 - last.at) + 1;
    return match;
}

std::uint64_t CHistoryScan::Position() const {
    return HistoryOf(m_scan);
}

SHistoryPoint CHistoryScan::Point() const {
    if (m_scan >= m_window.size()) {
        return SHistoryPoint{m_record, m_offset, m_history};
    }
    const SPiece& piece = PieceOf(m_scan);
    const std::size_t into = m_scan - piece.at;
    const auto [record, offset] = PlaceIn(piece, into);
    return SHistoryPoint{record, offset, piece.history + into};
}

CHistoryBackwardSearch::CHistoryBackwardSearch(const CDataStore& store,
                                               const CHistoryOffsets& offsets,
                                               const CBytePattern& pattern, std::uint64_t before)
    : m_store(store),
      m_offsets(offsets),
      m_pattern(pattern),
      m_limit(std::min(before, offsets.TotalBytes())) {
    m_done = !pattern.IsValid() || m_limit == 0;
    if (!m_done) {
        StartWindow();
    }
}

void CHistoryBackwardSearch::StartWindow() {
    m_windowStart = m_limit > kStrideBytes ? m_limit - kStrideBytes : 0;
    m_scan.emplace(m_store, m_pattern, m_offsets.PointAt(m_store, m_windowStart), m_limit);
    m_last.reset();
}

bool CHistoryBackwardSearch::Step(std::size_t byteBudget) {
    // A window is at most a stride and a refill past it: a step that has
    // used its budget ends after the window it is in.
    std::size_t budget = byteBudget;
    while (!m_done) {
        const bool finished = m_scan->Step(budget, [this](const SFindMatch& match) {
            m_last = match;
            return true;
        });
        if (!finished) {
            return false;
        }
        const std::uint64_t scanned = m_limit - m_windowStart;
        budget -= std::min<std::uint64_t>(budget, scanned);
        if (m_last) {
            m_result = m_last;
            m_done = true;
        } else if (m_windowStart == 0) {
            m_done = true;
        } else {
            m_limit = m_windowStart;
            StartWindow();
            if (budget == 0) {
                return false;
            }
        }
    }
    return true;
}

std::optional<SFindMatch> FindForward(const CDataStore& store, const CBytePattern& pattern,
                                      SHistoryPoint from) {
    std::optional<SFindMatch> found;
    CHistoryScan scan(store, pattern, from);
    scan.Step(std::numeric_limits<std::size_t>::max(), [&found](const SFindMatch& match) {
        found = match;
        return false;
    });
    return found;
}

std::optional<SFindMatch> FindBackward(const CDataStore& store, const CHistoryOffsets& offsets,
                                       const CBytePattern& pattern, std::uint64_t before) {
    CHistoryBackwardSearch search(store, offsets, pattern, before);
    search.Step(std::numeric_limits<std::size_t>::max());
    return search.Result();
}

std::uint64_t CountMatches(const CDataStore& store, const CBytePattern& pattern) {
    std::uint64_t count = 0;
    CHistoryScan scan(store, pattern, SHistoryPoint{});
    scan.Step(std::numeric_limits<std::size_t>::max(), [&count](const SFindMatch&) {
        ++count;
        return true;
    });
    return count;
}

std::vector<SFindMatch> FindAll(const CDataStore& store, const CBytePattern& pattern) {
    std::vector<SFindMatch> all;
    CHistoryScan scan(store, pattern, SHistoryPoint{});
    scan.Step(std::numeric_limits<std::size_t>::max(), [&all](const SFindMatch& match) {
        all.push_back(match);
        return true;
    });
    return all;
}

std::string MatchBytes(const CDataStore& store, const SFindMatch& match, std::uint32_t direction) {
    std::string bytes;
    std::uint32_t offset = match.offset;
    for (std::size_t r = match.sequence; bytes.size() < match.length && r < store.RecordCount();
         ++r, offset = 0) {
        const SDataRecord record = *store.Record(r);
        if (direction == 0 || record.direction == direction) {
            bytes.append(
                record.bytes.substr(std::min<std::size_t>(offset, record.length),
                                    static_cast<std::size_t>(match.length - bytes.size())));
        }
    }
    store.TrimWindows();
    return bytes;
}

}  // namespace quillpad
