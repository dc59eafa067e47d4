#pragma once
// One search of the history, without a display: the query compiled, the
// count of its matches taken a step a turn, the places of the first matches
// kept, Next and Previous, and the bytes to mark in the records in sight. It
// searches the store's bytes (CHistoryScan), never the rendered text, so it
// finds what a style hides, in history of any size. The find bar holds the
// form and shows the matches the session picks.
//
// The places of the first `keptMatches` matches are kept; past them the
// count notes where it stood after each step (about a MiB apart), so Next
// and the marks there search the history from the nearest of those places
// and know which match of all they find.
//
// It hears of new records from the store's turn notice, and while it is
// open (from Restart or Resume to Stop) an ended count goes on into them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/HistoryFind.h"
#include "data/StoreNotice.h"
#include "view/FindMarks.h"

namespace quillpad {

class CDataStore;

class CFindSession final : public IFindMarks, private IStoreObserver {
  public:
    static constexpr std::size_t kKeptMatches = 1'000'000;
    // History a Next past the kept matches counts through, at most, to know
    // which match it finds.
    static constexpr std::uint64_t kCountLead = std::uint64_t{64} << 20;
    // History before the records in sight that their marks are searched
    // from, at most: from where the count passed, or, while it has not got
    // there yet, from this far back.
    static constexpr std::uint64_t kMarkLead = std::uint64_t{4} << 20;

    // What a move said besides the match: it went round an end.
    enum class ENote { None, PassedEnd, PassedStart };
    // Where a move without a match shown starts: the record at the top of
    // what is shown, or everything when the console follows the end.
    struct SFrom {
        bool pinnedToEnd = true;
        std::optional<std::size_t> topRecord;
    };
    // Who is told: the session wants turns (Step) or not; a match to show;
    // the kept matches grew (the marks in sight change).
    struct SHooks {
        std::function<void(bool)> wantTurns;
        std::function<void(const SFindMatch&)> show;
        std::function<void()> marksChanged;
    };

    explicit CFindSession(const CDataStore& store, std::size_t keptMatches = kKeptMatches);
    ~CFindSession() override;
    CFindSession(const CFindSession&) = delete;
    CFindSession& operator=(const CFindSession&) = delete;

    void SetHooks(SHooks hooks) { m_hooks = std::move(hooks); }

    // Compiles the query and starts counting again.
    void Restart(const SFindQuery& query);
    // Stops a move and the turns (the bar closed); the count stays, and
    // records arriving are left for Resume.
    void Stop();
    // Open again on the same query: takes in what came while stopped.
    void Resume();
    // One turn's step: the count, or a search back or on for a move.
    void Step();
    void Next(SFrom from) { Go(EWant::Next, from); }
    void Previous(SFrom from) { Go(EWant::Previous, from); }
    // Records came: an ended count goes on into them.
    void RecordsArrived();
    bool IsOpen() const { return m_open; }

    bool HasPattern() const { return m_pattern != nullptr; }
    bool IsValid() const { return m_pattern != nullptr && m_pattern->IsValid(); }
    const std::string& Error() const;
    // Whether the query was compiled for the store as it is (not cleared or
    // loaded since).
    bool IsCurrent() const;
    bool Searching() const { return m_scan && !m_scan->Done(); }
    bool Moving() const { return m_want != EWant::Nothing; }
    std::uint64_t MatchCount() const { return m_total; }
    std::size_t KeptCount() const { return m_matches.size(); }
    // The match shown, which match of all it is when that is known, and
    // what its move said.
    std::optional<SFindMatch> Current() const { return m_shown; }
    std::optional<std::uint64_t> Ordinal() const { return m_ordinal; }
    ENote Note() const { return m_note; }
    // Where a match ends: the record and the offset after its last byte.
    std::pair<std::size_t, std::uint32_t> EndOf(const SFindMatch& match) const;

    // The matches' bytes in records [firstRecord, lastRecord].
    std::vector<SByteMark> MarksIn(std::size_t firstRecord, std::size_t lastRecord) const override;

  private:
    enum class EWant { Nothing, Next, Previous };
    // A place in the history and how many matches begin before it, when
    // that is known: where a search past the kept matches can count from.
    struct SCountPoint {
        SHistoryPoint point;
        std::optional<std::uint64_t> before;
    };

    void OnStoreNotice(const SStoreNotice& notice) override;
    void WantTurns(bool want) const;
    void Go(EWant want, SFrom from);
    // Goes on with a Next or Previous that waited for the count.
    void Resolve();
    void ResolveNext(bool complete);
    void ResolvePrevious(bool complete);
    void TakeInNewRecords();
    void Show(std::size_t index, ENote note);
    void ShowFound(const SFindMatch& match, std::optional<std::uint64_t> ordinal, ENote note);
    void SearchBack(std::uint64_t before, std::optional<std::size_t> beforeRecord,
                    std::optional<std::uint64_t> ordinal, ENote note);
    bool StepBack();
    void SearchAhead(SCountPoint from, std::uint64_t after);
    bool StepAhead();
    SCountPoint LastCountPoint(std::uint64_t history) const;
    SHistoryPoint KeptEnd() const;
    bool BeyondKept() const;
    SHistoryPoint PointAt(std::uint64_t history) const;
    void AppendMarks(const SFindMatch& match, std::size_t firstRecord, std::size_t lastRecord,
                     std::vector<SByteMark>& out) const;
    void AppendMarksBeyondKept(std::size_t firstRecord, std::size_t lastRecord,
                               std::vector<SByteMark>& out) const;

    const CDataStore& m_store;
    CStoreSubscription m_subscription;
    bool m_open = false;
    SHooks m_hooks;
    SFindQuery m_query;
    std::unique_ptr<CBytePattern> m_pattern;
    std::unique_ptr<CHistoryScan> m_scan;
    std::uint32_t m_generation = 0;
    std::size_t m_scannedRecords = 0;  // the records there were when the count began
    std::size_t m_keptLimit;
    std::vector<SFindMatch> m_matches;
    std::uint64_t m_total = 0;
    std::optional<SFindMatch> m_shown;
    std::optional<std::size_t> m_current;  // its place among the kept ones
    std::optional<std::uint64_t> m_ordinal;
    ENote m_note = ENote::None;
    // A Previous beyond the kept matches, searching back.
    struct SBackward {
        std::uint64_t before = 0;
        std::optional<std::size_t> beforeRecord;
        std::optional<std::uint64_t> ordinal;
        ENote note = ENote::None;
        std::unique_ptr<CHistoryBackwardSearch> search;
    };
    std::optional<SBackward> m_back;
    // A Next beyond the kept matches, searching on.
    struct SAhead {
        std::unique_ptr<CHistoryScan> scan;
        std::uint64_t after = 0;
        std::optional<std::uint64_t> before;  // matches before where it began
        std::uint64_t passed = 0;             // matches it went past
        std::optional<SFindMatch> found;
    };
    std::optional<SAhead> m_ahead;
    // Where the count stood after each step past the kept matches, and how
    // many it had counted there (rising).
    struct SResume {
        SHistoryPoint point;
        std::uint64_t before = 0;
    };
    std::vector<SResume> m_resume;
    mutable std::optional<SHistoryPoint> m_keptEnd;
    std::uint32_t m_counts = 0;  // bumped by every new count
    // The matches past the kept ones that reach into records [first, end)
    // as the last paints asked, and where a search of the records after
    // goes on; `exact` when it began where the count passed, not a lead's
    // length back from where the count has not yet been.
    struct SMarkCache {
        bool valid = false;
        std::uint32_t counts = 0;
        std::size_t first = 0;
        std::size_t end = 0;
        std::vector<SFindMatch> matches;
        SHistoryPoint next;
        bool open = false;  // searched to the history's end, of `records` records
        std::size_t records = 0;
        bool exact = false;
        std::size_t resumes = 0;  // the count's places when it was not exact
        bool countDone = false;
    };
    mutable SMarkCache m_markCache;
    CHistoryOffsets m_offsets;
    EWant m_want = EWant::Nothing;
    std::uint64_t m_wantFrom = 0;  // the record a move without a current match starts from
};

}  // namespace quillpad
