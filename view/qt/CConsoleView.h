#pragma once
// The console: a scrolling window that shows every visible record in the
// current style. It keeps no rendered copy of the history: a line index of
// the store's records under the current scheme says where every display
// line lies, and the rows in sight (with some margin) are drawn from the
// store on demand into a small window (CDisplayWindow). It paints only the
// rows in sight, wraps at its right edge, never edits its own text, and
// hands every key to the control first.
//
// Messages (each returns 0 unless said otherwise):
//   UM_APPEND_RECORD  wParam = store index, lParam = store generation;
//                     returns kAppendTookAll, since the view reads the
//                     store itself (a replay stops after the first notice)
//   UM_CLEAR_DATA     empties the view and the run table
//   UM_SET_SCHEME     payload = std::shared_ptr to a const or mutable
//                     CStyleScheme (none or null: no scheme); takes the
//                     scheme and its background, draws the end of the
//                     history at once and indexes the rest in slices
//   UM_RENDER_TEXT    payload = CPayload::Borrow(SRenderTextRequest), sent;
//                     fills its text
//
// A new scheme draws its first screen from the end of the history at once;
// the index is then built a few milliseconds per event-loop turn, and until
// it is done the view stays at the end and the scroll bar estimates. Nothing
// builds the whole index in one turn: what needs positions in the whole text
// (a jump to a record or a position, select-all, a copy past what is
// indexed) waits for the index as a pending action, and the index then gets
// more of each turn until it is done.
//
// Scrolling is by text position, not by line: a single line of many
// megabytes (hex mode without line breaks) scrolls and paints like any
// other text. Where rows wrap and characters sit is CLineLayout's business,
// the fonts of the formats CFontTable's, and drawing the rows in sight
// CDocumentPainter's; the view scrolls, selects and takes input.

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/DataStore.h"
#include "data/RenderTextRequest.h"
#include "platform/MessageChannel.h"
#include "styles/CStyleScheme.h"
#include "view/CDisplayDocument.h"
#include "view/CDisplayWindow.h"
#include "view/CLineIndex.h"
#include "view/CLineLayout.h"
#include "view/CStyledRenderer.h"
#include "view/FindMarks.h"
#include "view/PaintRows.h"
#include "view/StampColumn.h"
#include "view/TextInfo.h"
#include "view/qt/CDocumentPainter.h"
#include "view/qt/CFontTable.h"
#include "view/qt/CStampGutter.h"

class QKeyEvent;

namespace quillpad {

class CSteadyScrollBar;
class CTextInfoWnd;

class CConsoleView final : public QAbstractScrollArea, public CMessageTarget {
    Q_OBJECT
  public:
    // Offered every key before the view acts on it; true when the control
    // took the key (the view then does nothing with it).
    using KeyFilter = std::function<bool(const QKeyEvent&)>;

    // Room at the left of the text.
    static constexpr int kMargin = 2;
    // How strongly a find mark shows the selection's colour (of 255).
    static constexpr int kMarkAlpha = 120;
    // The most a copy takes to the clipboard, in displayed characters.
    static constexpr std::size_t kMaxCopy = std::size_t{32} << 20;
    // Where the view's messages to the user go (a refused copy); by default
    // a message box, opened from the event loop.
    using Notifier = std::function<void(const QString& text)>;

    CConsoleView(CMessageChannel& channel, const CDataStore& store, const SViewSettings& settings,
                 QWidget* parent = nullptr);
    ~CConsoleView() override;

    // Where pastes (UM_SEND_TEXT) and typed characters of the hover window
    // (UM_SEND_CHAR) go.
    void SetControl(MessageHandle control);
    MessageHandle Control() const { return m_control; }
    void SetKeyFilter(KeyFilter filter) { m_keyFilter = std::move(filter); }

    std::int64_t HandleMessage(SMessage& message) override;

    void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }
    void SetCopyLimit(std::size_t characters) { m_copyLimit = characters; }

    // Draws the history again in the current scheme: the end at once, the
    // index of the rest in slices.
    void Replay();
    // Whether the index of the history is still being built.
    bool IsIndexing() const { return m_building; }
    // Builds the rest of the index now, in one go: for tests and tools only
    // (the view itself never does).
    void FinishIndex();
    // Runs `action` now when the index is complete, or else once it is
    // (the index gets more of each turn meanwhile). It replaces an action
    // still waiting, with a selection or copy waiting after it; the user's
    // own scrolling and a new index (restyle, clear, load) drop it.
    void WhenIndexed(std::function<void()> action);
    bool HasPendingAction() const {
        return m_pendingJump != nullptr || m_pendingSelection || m_pendingCopy;
    }
    // Where record `record`'s text starts in the whole text (where it would
    // be, when it draws nothing), worked out around one checkpoint of the
    // index; none while the index has not got there yet.
    std::optional<std::size_t> PositionOfRecord(std::size_t record);
    // The record drawn at the top of what is shown.
    std::optional<std::size_t> TopRecord();
    // For tests: record bytes per indexing slice, slices built so far, the
    // most built in one event-loop turn or one call, and the record bytes
    // the current index has taken in (by slices or any other way).
    void SetIndexSliceBytes(std::size_t bytes) { m_sliceBytes = std::max<std::size_t>(1, bytes); }
    std::size_t IndexSliceBytes() const { return m_sliceBytes; }
    std::uint64_t IndexSlices() const { return m_slices; }
    std::size_t MostSlicesInATurn() const { return m_mostSlices; }
    std::uint64_t IndexedBytes() const { return m_index ? m_index->IndexedBytes() : 0; }
    // The most slices one turn builds, and with an action waiting.
    static constexpr std::size_t kTurnSlices = 16;
    static constexpr std::size_t kPriorityTurnSlices = 32;
    // Bumped with every new index (a replay, a clear, a load): what was
    // worked out from the old one's positions no longer holds.
    std::uint64_t IndexSerial() const { return m_indexSerial; }

    // Every record the view shows, rendered whole from its index (while it
    // is built, what is indexed so far): costly for a long history, for
    // tests and tools. The view itself never holds it.
    const CDisplayDocument& Document() const;
    // What is drawn now around the rows in sight.
    const CDisplayWindow& Window() const { return m_window; }
    // Memory of the line index, which grows with the history it covers.
    std::size_t IndexBytes() const { return m_index ? m_index->ReservedBytes() : 0; }
    // The whole displayed text's size, as indexed (while the index is built,
    // what it has covered so far).
    std::size_t TextSize();
    const CStyleScheme* Scheme() const { return m_scheme.get(); }
    QColor Background() const { return m_background; }
    const CDataStore& Store() const { return m_store; }
    const SViewSettings& Settings() const { return m_settings; }
    // The stamps shown now: their form, time base and gaps.
    SStampRequest StampRequest() const;
    // The hover window, made on first use.
    CTextInfoWnd* TextInfo();

    // Selection: [SelectionStart, SelectionEnd), empty when they are equal.
    void SetSelection(std::size_t anchor, std::size_t caret);
    void SelectAll();
    std::size_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::size_t SelectionEnd() const { return std::max(m_anchor, m_caret); }
    // The selected text as displayed: translated names as shown, each line
    // break as "\n", one character per byte; drawn from the store a piece
    // at a time.
    QString SelectedText() const;
    // Copies the selection; one of more than the limit (kMaxCopy unless
    // set) is refused
    // with a message instead (Save Buffer writes any size).
    void Copy();
    void Paste();

    // The caret position nearest to a point of the viewport (Size() past
    // the end), and the character whose cell holds the point.
    std::size_t CharacterAt(QPoint point);
    std::size_t CharacterUnder(QPoint point);
    // The caret's cell in the viewport: its left edge and the top of its
    // row. The caret is where typing and the device's next text go, the
    // end, whatever is selected. A caret out of sight gives the start of
    // the last row shown.
    QPoint CaretPoint();
    bool IsPinnedToEnd() const { return m_pinned; }
    // Shows the row holding `position` at the top; unpins unless that is the
    // end. While the index is built, once it is (WhenIndexed).
    void ScrollToPosition(std::size_t position);
    // Moves by rows (negative: back); reaching the end pins the view again.
    void ScrollRows(int rows);
    void ScrollToEnd();
    // The first character shown at the top of the window (while the index
    // is built and the end is shown, as the scroll bar estimates it).
    std::size_t TopPosition();
    int PaintCount() const { return m_paintCount; }
    // Who says which bytes to mark while painting (null: none); it must
    // outlive the view or be taken back first.
    void SetFindMarks(const IFindMarks* marks);
    const IFindMarks* FindMarks() const { return m_findMarks; }
    // The marks drawn in the rows in sight, in positions of the whole text.
    std::vector<STextRange> MarksInSight();
    // The hover window's text for a character of the whole text.
    std::string DescribeCharacter(std::size_t character);
    // Whether every format shares one fixed-pitch metric (the fast wrap).
    bool UsesUniformAdvance();

    // The settings' time stamps changed: shown at once over the whole
    // history, nothing drawn again but the rows in sight.
    void StampsChanged();
    // The stamps of the rows in sight, top first ("" for a row without).
    std::vector<std::string> RowStampsInSight();
    int StampColumnWidth() const { return m_gutter.Width(); }
    // Whether stamps mark bursts rather than lines (text without lines).
    bool UsesGapStamps() const { return m_gapStamps; }

  signals:
    void Repainted();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    // True when the record was the store's (not a stale notice).
    bool AppendRecord(SRecordRef ref);
    void ClearView();
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme);
    void ContentChanged();
    void FlushRepaint();

    // A new index of the store's records from `firstRecord` on.
    void NewIndex(std::size_t firstRecord);
    bool IndexValid() const;
    void BuildSlice();
    // Once the index is complete: up to date with the store.
    void Ready();
    // One slice of indexing, counted.
    bool IndexSlice(std::size_t& turnSlices);
    void RunPending();
    void DropPending();
    // Records that came since the index last grew: all of them, or as much
    // as a turn allows and the rest in slices.
    void CatchUp();
    void CatchUpInSlices();

    // Fonts and metrics of a drawn document's formats, and the layout told
    // of them.
    void SyncFonts(const CDisplayDocument& document, CLineLayout& layout);
    float TextWidth() const;
    int FullRows() const;
    // The document and layout the rows in sight come from, and where that
    // document starts in the whole text.
    const CDisplayDocument& ShownDocument() const;
    const CLineLayout& ShownLayout() const;
    std::size_t ShownStart() const;
    CLineLayout::SRow LocalRow(const CLineLayout::SRow& row) const;
    std::size_t HitTest(QPoint point, bool nearest);
    // The find marks in `local` rows of the shown document, in its positions.
    std::vector<STextRange> ShownMarks(std::span<const CLineLayout::SRow> local) const;
    // The size of the text the shown rows' positions count in.
    std::size_t ShownTextSize();
    bool TailHeld() const { return m_tailBack > 0 || m_tailSelection; }
    // The user's own moves: while the index is built they go where the
    // view can draw at once (ScrollToPosition waits for the index).
    void UserScrollTo(std::size_t position);
    void SelectShown(std::size_t anchor, std::size_t caret);
    // One step of indexing; true once the index is complete.
    bool BuildIndex(std::size_t byteBudget);
    void IndexDone();
    // The tail's rows and selection in positions of the whole text.
    void PlaceTail();
    // The whole text's size, estimated from what is indexed while it is built.
    std::size_t EstimatedTextSize() const;
    // Rows of the window from the top position (or, pinned, up from the end).
    void Layout();
    void LayoutRows(std::size_t wanted);
    void UpdateScrollBar();
    // SelectedText with each line's stamp before it.
    QString StampedSelectedText() const;
    // With gap stamps: the tick of the first record of the burst holding the
    // character before `position` of the indexed text, whose own tick is
    // `tickBefore`.
    std::optional<std::uint32_t> BurstTickBefore(std::size_t position,
                                                 std::optional<std::uint32_t> tickBefore) const;
    void ApplyStampStyle();
    void OnScrollAction(int action);
    std::size_t WordStart(std::size_t position) const;
    std::size_t WordEnd(std::size_t position) const;

    const CDataStore& m_store;
    const SViewSettings& m_settings;
    MessageHandle m_storeHandle;
    std::shared_ptr<const CStyleScheme> m_scheme;
    // What the index draws with: a copy taken with the scheme, since the
    // history is drawn long after and the style editor changes schemes in
    // place (a cancelled edit must not show).
    std::shared_ptr<const CStyleScheme> m_drawScheme;
    MessageHandle m_control = kNoHandle;
    KeyFilter m_keyFilter;
    Notifier m_notifier;
    const IFindMarks* m_findMarks = nullptr;
    std::size_t m_copyLimit = kMaxCopy;
    std::unique_ptr<CTextInfoWnd> m_textInfo;

    // The index of what the view shows, for the store generation it was
    // made in, and the window drawn from it.
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
    QTimer m_buildTimer;
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

    QColor m_background = Qt::white;
    QFont m_defaultFont;
    CFontTable m_fonts;
    CDocumentPainter m_painter{kMargin};
    CStampGutter m_gutter;
    bool m_gapStamps = false;
    // Whether the style gets gap stamps when stamps are shown: the formatted
    // log asks with every record.
    bool m_styleGaps = false;

    // Scrolling: the row start at the top, unless pinned to the end.
    bool m_pinned = true;
    std::size_t m_top = 0;
    // The rows in sight, from the last layout: of the whole text, or of the
    // tail while it is shown.
    std::vector<CLineLayout::SRow> m_rows;
    std::uint64_t m_layoutDrawings = static_cast<std::uint64_t>(-1);
    std::size_t m_layoutTextSize = static_cast<std::size_t>(-1);
    QSize m_layoutSize;
    bool m_layoutDirty = true;
    std::uint64_t m_scale = 1;                // text positions per scroll bar unit
    CSteadyScrollBar* m_scrollBar = nullptr;  // the area owns it
    bool m_settingScrollBar = false;
    // Wheel movement not yet a whole row: eighths of a degree, or pixels.
    int m_wheelAngle = 0;
    int m_wheelPixels = 0;

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    bool m_dragging = false;

    QTimer m_repaintTimer;
    int m_paintCount = 0;
};

}  // namespace quillpad
