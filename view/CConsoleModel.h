#pragma once
// What the console shows, without a display: the line index of the store's
// records under the current scheme, built in steps; the window onto the
// history drawn around the rows in sight; the tail drawn at once for a new
// scheme; where the view is scrolled to; the selection; and what waits for
// the index. The widget (CConsoleView) turns events into calls on it, runs
// its turns, and paints the rows it lays out.
//
// A new scheme draws its first screen from the end of the history at once;
// the index is then built a step per event-loop turn, and until it is done
// the view stays at the end and the scroll bar estimates. Nothing builds the
// whole index in one turn: what needs positions in the whole text (a jump to
// a record or a position, select-all, a copy past what is indexed) waits for
// the index as a pending action, and the index then gets more of each turn.
//
// Scrolling is by text position, not by line: a single line of many
// megabytes scrolls and lays out like any other text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "styles/CStyleScheme.h"
#include "view/CDisplayDocument.h"
#include "view/CDisplayWindow.h"
#include "view/CLineIndex.h"
#include "view/CLineLayout.h"
#include "view/FindMarks.h"
#include "view/PaintRows.h"
#include "view/StampColumn.h"
#include "view/TextInfo.h"

namespace quillpad {

// What the model asks of whoever shows it.
class IConsoleHost {
  public:
    struct SRoom {
        int width = 0;
        int height = 0;
        bool operator==(const SRoom&) const = default;
    };
    virtual ~IConsoleHost() = default;
    // A drawing's formats (its fonts' advances) into its layout.
    virtual void SyncFormats(const CDisplayDocument& document, CLineLayout& layout) = 0;
    // The room for text in a row, and the rows that fit whole (with the row
    // height of the formats synced last).
    virtual float TextWidth() const = 0;
    virtual int FullRows() const = 0;
    // The room's size: a change lays the rows out again.
    virtual SRoom Room() const = 0;
    // Whether the index wants turns (BuildStep) until it is done.
    virtual void WantTurns(bool want) = 0;
    // The rows changed: drawn again soon (at most a frame later), or now.
    virtual void RepaintSoon() = 0;
    virtual void RepaintNow() = 0;
    // Only the selection or marks changed: the same rows painted again.
    virtual void Redraw() = 0;
    // A copy that waited for the index can go now.
    virtual void CopyNow() = 0;
};

class CConsoleModel {
  public:
    using SRow = CLineLayout::SRow;
    // The most one turn builds, in slices, and with an action waiting.
    static constexpr std::size_t kTurnSlices = 16;
    static constexpr std::size_t kPriorityTurnSlices = 32;
    static constexpr std::int64_t kTurnNs = 4'000'000;
    static constexpr std::int64_t kPriorityTurnNs = 8'000'000;

    CConsoleModel(const CMessageChannel& channel, const CDataStore& store,
                  const SViewSettings& settings, IConsoleHost& host);
    ~CConsoleModel();
    CConsoleModel(const CConsoleModel&) = delete;
    CConsoleModel& operator=(const CConsoleModel&) = delete;

    const CDataStore& Store() const { return m_store; }
    const SViewSettings& Settings() const { return m_settings; }

    // ---- what the store and the style say
    // True when the record was the store's (not a stale notice).
    bool AppendRecord(SRecordRef ref);
    void Clear();
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme);
    const CStyleScheme* Scheme() const { return m_scheme.get(); }
    // Draws the history again in the current scheme: the end at once, the
    // index of the rest in steps.
    void Replay();

    // ---- the index
    bool IsIndexing() const { return m_building; }
    // One turn's step of the index, within what the turn has left; true
    // once there is nothing more to build.
    bool BuildStep();
    // Builds the rest now, in one go: for tests and tools only.
    void FinishIndex();
    void WhenIndexed(std::function<void()> action);
    bool HasPendingAction() const {
        return m_pendingJump != nullptr || m_pendingSelection || m_pendingCopy;
    }
    // Copies the selection (IConsoleHost::CopyNow), once the index holds
    // its text: a copy of text not indexed yet waits.
    void Copy();
    std::optional<std::size_t> PositionOfRecord(std::size_t record);
    std::optional<std::size_t> TopRecord();
    void SetIndexSliceBytes(std::size_t bytes) { m_sliceBytes = std::max<std::size_t>(1, bytes); }
    std::size_t IndexSliceBytes() const { return m_sliceBytes; }
    std::uint64_t IndexSlices() const { return m_slices; }
    std::size_t MostSlicesInATurn() const { return m_mostSlices; }
    std::uint64_t IndexedBytes() const { return m_index ? m_index->IndexedBytes() : 0; }
    std::uint64_t IndexSerial() const { return m_indexSerial; }
    std::size_t IndexBytes() const { return m_index ? m_index->ReservedBytes() : 0; }
    const CDisplayDocument& Document() const;
    const CDisplayWindow& Window() const { return m_window; }
    std::size_t TextSize();

    // ---- layout and scrolling
    // Rows in sight from the top position (or, pinned, up from the end).
    void Layout();
    void Invalidate() { m_layoutDirty = true; }
    // The room's width changed (a stamp column came or went).
    void SetWidth(float width);
    const std::vector<SRow>& Rows() const { return m_rows; }
    // The rows in sight in positions of the shown document.
    std::vector<SRow> LocalRows() const;
    // The document and layout the rows in sight come from.
    const CDisplayDocument& ShownDocument() const;
    const CLineLayout& ShownLayout() const;
    std::size_t ShownStart() const;
    std::size_t ShownTextSize();
    bool IsPinnedToEnd() const { return m_pinned; }
    void ScrollToPosition(std::size_t position);
    // The user's own moves: while the index is built they go where the
    // model can draw at once.
    void UserScrollTo(std::size_t position);
    void ScrollRows(int rows);
    void ScrollToEnd();
    std::size_t TopPosition();
    // The scroll bar's place in units of Scale() text positions.
    struct SScrollPlace {
        int maximum = 0;
        int page = 1;
        int value = 0;
    };
    SScrollPlace ScrollPlace();
    std::uint64_t Scale() const { return m_scale; }

    // ---- hit testing and selection
    // The position in what is shown at `x` in row `row` of those in sight.
    std::size_t HitTest(std::size_t row, float x, bool nearest);
    // The caret's row in sight and its x; typing goes to the end.
    std::pair<std::size_t, float> CaretPlace();
    void SetSelection(std::size_t anchor, std::size_t caret);
    // A selection the user made in what is shown (the tail's own positions
    // while it is shown).
    void SelectShown(std::size_t anchor, std::size_t caret);
    void SelectWordAt(std::size_t position);
    void SelectAll();
    std::size_t Anchor() const { return m_anchor; }
    std::size_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::size_t SelectionEnd() const { return std::max(m_anchor, m_caret); }
    // The selection's range in the shown document, empty when not in it.
    std::pair<std::size_t, std::size_t> ShownSelection() const;
    // The selected text as displayed, one byte one Latin-1 character, each
    // line break "\n", with stamps when they are shown; drawn a piece at a
    // time.
    std::string SelectedText() const;
    std::string DescribeCharacter(std::size_t character);

    // ---- find marks and stamps
    void SetFindMarks(const IFindMarks* marks) { m_findMarks = marks; }
    const IFindMarks* FindMarks() const { return m_findMarks; }
    // Marks in `local` rows of the shown document, in its positions.
    std::vector<STextRange> ShownMarks(std::span<const SRow> local) const;
    std::vector<STextRange> MarksInSight();
    // The stamps settings changed; `shown` when they are drawn at all.
    void ApplyStampStyle();
    SStampRequest StampRequest() const;
    std::vector<std::string> RowStampsInSight();
    bool UsesGapStamps() const { return m_gapStamps; }
    bool StyleGaps() const { return m_styleGaps; }

  private:
    void NewIndex(std::size_t firstRecord);
    bool IndexValid() const;
    bool StoreAlive() const;
    void Ready();
    bool IndexSlice(std::size_t& turnSlices);
    bool BuildIndex(std::size_t byteBudget);
    void IndexDone();
    void RunPending();
    void DropPending();
    void CatchUp();
    void CatchUpInSlices();
    void PlaceTail();
    bool TailHeld() const { return m_tailBack > 0 || m_tailSelection; }
    std::size_t EstimatedTextSize() const;
    void LayoutRows(std::size_t wanted);
    SRow LocalRow(const SRow& row) const;
    std::string StampedSelectedText() const;
    std::optional<std::uint32_t> BurstTickBefore(std::size_t position,
                                                 std::optional<std::uint32_t> tickBefore) const;
    std::size_t WordStart(std::size_t position) const;
    std::size_t WordEnd(std::size_t position) const;

    const CMessageChannel& m_channel;
    const CDataStore& m_store;
    const SViewSettings& m_settings;
    MessageHandle m_storeHandle;
    IConsoleHost& m_host;
    std::shared_ptr<const CStyleScheme> m_scheme;
    // What the index draws with: a copy taken with the scheme, since the
    // history is drawn long after and the style editor changes schemes in
    // place (a cancelled edit must not show).
    std::shared_ptr<const CStyleScheme> m_drawScheme;
    const IFindMarks* m_findMarks = nullptr;

    // The index, for the store generation it was made in, and the window
    // drawn from it.
    std::unique_ptr<CLineIndex> m_index;
    std::uint32_t m_indexGeneration = 0;
    std::uint64_t m_indexSerial = 0;
    CDisplayWindow m_window{m_store};
    // While a new index is built: the end of the history drawn at once.
    // The user may scroll back in it (m_tailBack rows up from its end) and
    // select in it (positions then count from the tail's first character)
    // or go to the part already indexed from the start (m_browsing); none
    // of it waits for the index. A tail scrolled back or holding the
    // selection keeps still while data arrives, and is placed in the whole
    // text once the index reaches the records it was drawn from.
    bool m_building = false;
    CDisplayDocument m_tail;
    CLineLayout m_tailLayout{m_tail};
    std::size_t m_tailRecords = static_cast<std::size_t>(-1);
    std::size_t m_tailLines = 0;
    // The first record the tail is drawn from, and what lies before it, for
    // its first rows' stamps (found when they are first asked for).
    std::size_t m_tailFirstRecord = 0;
    std::optional<SStampLead> m_tailLead;
    // The last burst start BurstTickBefore found, and what it was asked.
    struct SBurstLead {
        std::uint64_t serial = 0;
        std::size_t position = 0;
        std::uint32_t gapMs = 0;
        std::optional<std::uint32_t> tickBefore;
        std::optional<std::uint32_t> burstTick;
    };
    mutable std::optional<SBurstLead> m_burstLead;
    std::size_t m_tailBack = 0;
    std::optional<std::size_t> m_tailEnd;  // where it ends in the whole text
    bool m_tailSelection = false;
    bool m_browsing = false;
    bool m_showingTail = false;
    std::size_t m_sliceBytes;
    std::uint64_t m_slices = 0;
    std::size_t m_mostSlices = 0;
    // What waits for the index: a jump, then a selection, then a copy.
    std::function<void()> m_pendingJump;
    std::optional<std::pair<std::size_t, std::size_t>> m_pendingSelection;
    bool m_pendingCopy = false;
    // Document()'s whole render, kept while nothing changes.
    mutable CDisplayDocument m_whole;
    mutable std::uint64_t m_wholeSerial = 0;
    mutable std::uint64_t m_wholeSize = static_cast<std::uint64_t>(-1);
    mutable std::size_t m_wholeRecords = 0;

    bool m_gapStamps = false;
    // Whether the style gets gap stamps when stamps are shown: the formatted
    // log asks with every record.
    bool m_styleGaps = false;

    // Scrolling: the row start at the top, unless pinned to the end.
    bool m_pinned = true;
    std::size_t m_top = 0;
    // The rows in sight, from the last layout: of the whole text, or of the
    // tail while it is shown.
    std::vector<SRow> m_rows;
    std::uint64_t m_layoutDrawings = static_cast<std::uint64_t>(-1);
    std::size_t m_layoutTextSize = static_cast<std::size_t>(-1);
    IConsoleHost::SRoom m_layoutRoom{-1, -1};
    bool m_layoutDirty = true;
    std::uint64_t m_scale = 1;  // text positions per scroll bar unit

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
};

}  // namespace quillpad
