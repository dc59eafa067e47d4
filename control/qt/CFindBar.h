#pragma once
// The find bar at the bottom of the console: what to find, Previous and Next,
// "Match case", the mode (Text, Hex, Pattern) and the direction. It searches
// the store's bytes (CHistoryScan), never the rendered text, so it finds
// what a style hides, in history of any size: the count runs in slices of a
// few milliseconds, one per event-loop turn, and the bar shows how far it
// got. A match is shown by selecting where its bytes are drawn and
// scrolling there; while the bar is open every kept match in sight is
// marked (the view asks for the records it paints).
//
// The places of the first kKeptMatches matches are kept; past them the
// count notes where it stood after each step (about a MiB apart), so Next
// and the marks there search the history from the nearest of those places
// and know which match of all they find.
//
// Keys in the bar: Enter the next match, Shift+Enter the previous one (F3
// is a macro key, so it is not taken), Escape closes the bar.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "data/HistoryFind.h"
#include "view/FindMarks.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

namespace quillpad {

class CConsoleView;
class CDataStore;

class CFindBar final : public QWidget, public IFindMarks {
    Q_OBJECT
  public:
    // Matches whose place is kept for Next, Previous and the marks; beyond
    // them the bar counts, Next searches on and Previous back from where it
    // is, and the marks are searched for in the records painted.
    static constexpr std::size_t kKeptMatches = 1'000'000;
    // History a Next past the kept matches counts through, at most, to know
    // which match it finds.
    static constexpr std::uint64_t kCountLead = std::uint64_t{64} << 20;
    // History before the records painted that their marks are searched
    // from, at most: from where the count passed, or, while it has not got
    // there yet, from this far back.
    static constexpr std::uint64_t kMarkLead = std::uint64_t{4} << 20;

    CFindBar(const CDataStore& store, CConsoleView& view, QWidget* parent = nullptr,
             std::size_t keptMatches = kKeptMatches);
    ~CFindBar() override;

    // Shows the bar with its text selected, to be typed over.
    void Open();
    // Hides the bar, stops its search and gives the keys back to the view.
    void Close();
    void Next();
    void Previous();

    // What the bar shows, for tests and the control.
    QLineEdit* TextField() const { return m_text; }
    QCheckBox* MatchCaseBox() const { return m_matchCase; }
    QComboBox* ModeBox() const { return m_mode; }
    QComboBox* DirectionBox() const { return m_direction; }
    // "Filter": the control shows only the matching lines while it is ticked.
    QCheckBox* FilterBox() const { return m_filter; }
    void SetFilterStatus(const QString& text);
    QString FilterStatusText() const;
    // What the controls ask for.
    SFindQuery Query() const;
    QString StatusText() const;
    bool StatusIsError() const { return m_statusIsError; }
    // Whether the count is still going on.
    bool Searching() const;
    // Whether a Next or Previous is still looking for its match.
    bool Moving() const { return m_want != EWant::Nothing; }
    std::uint64_t MatchCount() const { return m_total; }
    // The match shown, if any.
    std::optional<SFindMatch> Current() const;

    // The matches' bytes in records [firstRecord, lastRecord].
    std::vector<SByteMark> MarksIn(std::size_t firstRecord, std::size_t lastRecord) const override;

  signals:
    void Closed();
    // The filter ticked or unticked, or its query changed while ticked.
    void FilterChanged(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class EWant { Nothing, Next, Previous };
    // A place in the history and how many matches begin before it, when
    // that is known: where a search past the kept matches can count from.
    struct SCountPoint {
        SHistoryPoint point;
        std::optional<std::uint64_t> before;
    };

    // Compiles what the controls say and starts counting again.
    void Restart();
    void Slice();
    // Goes on with a Next or Previous that waited for the count.
    void Resolve();
    void Go(EWant want);
    // Goes on counting in records that came after the count ended.
    void TakeInNewRecords();
    // Where a match ends: the record and the offset after its last byte.
    std::pair<std::size_t, std::uint32_t> EndOf(const SFindMatch& match) const;
    void Show(std::size_t index, const QString& note);
    // Shows a match in the view, selected, once the view can say where it is.
    void JumpTo(const SFindMatch& match);
    // Shows a match found by searching back, beyond the kept ones unless it
    // is the last of them.
    void ShowFound(const SFindMatch& match, std::optional<std::uint64_t> ordinal,
                   const QString& note);
    // Searches back, in slices, for the last match before a history offset,
    // or before a record (once the offsets reach it).
    void SearchBack(std::uint64_t before, std::optional<std::size_t> beforeRecord,
                    std::optional<std::uint64_t> ordinal, const QString& note);
    // A step of that search; true once it has an answer.
    bool StepBack();
    // Searches on from `from`, in slices, for the first match that begins
    // at or after history offset `after`: past the kept matches.
    void SearchAhead(SCountPoint from, std::uint64_t after);
    bool StepAhead();
    // The last place at or before a history offset (not before KeptEnd())
    // that the count passed: the kept matches' end or a step's end.
    SCountPoint LastCountPoint(std::uint64_t history) const;
    // Where the last kept match ends (the history's start with none kept).
    SHistoryPoint KeptEnd() const;
    // Whether matches may lie past the kept ones.
    bool BeyondKept() const;
    SHistoryPoint PointAt(std::uint64_t history) const;
    // A match's bytes in records [firstRecord, lastRecord].
    void AppendMarks(const SFindMatch& match, std::size_t firstRecord, std::size_t lastRecord,
                     std::vector<SByteMark>& out) const;
    // The marks of matches past the kept ones, searched for in the records.
    void AppendMarksBeyondKept(std::size_t firstRecord, std::size_t lastRecord,
                               std::vector<SByteMark>& out) const;
    void UpdateStatus();
    // The view's text range that draws a match's bytes (its place when they
    // draw nothing).
    std::pair<std::size_t, std::size_t> DisplayRange(const SFindMatch& match);
    std::size_t DisplayPosition(std::size_t record, std::uint32_t offset) const;

    const CDataStore& m_store;
    CConsoleView& m_view;
    // Cleared when the view goes first (siblings in one window).
    QPointer<CConsoleView> m_viewAlive;
    QLineEdit* m_text;
    QToolButton* m_previous;
    QToolButton* m_next;
    QCheckBox* m_matchCase;
    QComboBox* m_mode;
    QComboBox* m_direction;
    QLabel* m_status;
    QCheckBox* m_filter;
    QLabel* m_filterStatus;
    QToolButton* m_close;
    QTimer* m_timer;

    std::unique_ptr<CFindPattern> m_pattern;
    std::unique_ptr<CHistoryScan> m_scan;
    std::uint32_t m_generation = 0;
    std::size_t m_scannedRecords = 0;  // the records there were when the count began
    std::size_t m_keptLimit;
    std::vector<SFindMatch> m_matches;
    std::uint64_t m_total = 0;
    // The match shown, its place among the kept ones when it is one, and
    // which match of all it is when that is known.
    std::optional<SFindMatch> m_shown;
    std::optional<std::size_t> m_current;
    std::optional<std::uint64_t> m_ordinal;
    // A Previous beyond the kept matches, searching back.
    struct SBackward {
        std::uint64_t before = 0;
        std::optional<std::size_t> beforeRecord;
        std::optional<std::uint64_t> ordinal;
        QString note;
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
    QString m_note;
    bool m_statusIsError = false;
};

}  // namespace quillpad
