#pragma once
// The console: a scrolling window that shows every visible record in the
// current style. What it shows is its model's (CConsoleModel: the line index
// built in steps, the window onto the history, the tail of a new scheme,
// scrolling, the selection); the view turns events into calls on it, gives
// it turns, and paints the rows it lays out. It keeps no rendered copy of
// the history, never edits its own text, and hands every key to the control
// first.
//
// Messages (each returns 0 unless said otherwise):
//   UM_APPEND_RECORD  wParam = store index, lParam = store generation;
//                     returns kAppendTookAll, since the view reads the
//                     store itself (a replay stops after the first notice)
//   UM_CLEAR_DATA     empties the view and the run table
//   UM_SET_SCHEME     payload = std::shared_ptr to a const or mutable
//                     CStyleScheme (none or null: no scheme); takes the
//                     scheme and its background, draws the end of the
//                     history at once and indexes the rest in steps
//
// Where rows wrap and characters sit is CLineLayout's business, the fonts of
// the formats CFontTable's, and drawing the rows in sight CDocumentPainter's.

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
#include "data/TextLogWriter.h"
#include "platform/MessageChannel.h"
#include "styles/CStyleScheme.h"
#include "view/CConsoleModel.h"
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

class CConsoleView final : public QAbstractScrollArea, public CMessageTarget, private IConsoleHost {
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
    static constexpr std::size_t kTurnSlices = CConsoleModel::kTurnSlices;
    static constexpr std::size_t kPriorityTurnSlices = CConsoleModel::kPriorityTurnSlices;
    // Where the view's messages to the user go (a refused copy); by default
    // a message box, opened from the event loop.
    using Notifier = std::function<void(const QString& text)>;

    CConsoleView(CMessageChannel& channel, const CDataStore& store, const SViewSettings& settings,
                 QWidget* parent = nullptr);
    ~CConsoleView() override;

    CConsoleModel& Model() { return m_model; }
    const CConsoleModel& Model() const { return m_model; }

    // Where pastes (UM_SEND_TEXT) and typed characters of the hover window
    // (UM_SEND_CHAR) go.
    void SetControl(MessageHandle control);
    MessageHandle Control() const { return m_control; }
    void SetKeyFilter(KeyFilter filter) { m_keyFilter = std::move(filter); }

    std::int64_t HandleMessage(SMessage& message) override;
    // The record as this view shows it, without fonts or colours, and how
    // it stamps: the formatted log's render function (CDataStore::SetTextRenderer).
    SRenderTextStamps RenderText(const SDataRecord& record, std::string& text) const;

    void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }
    void SetCopyLimit(std::size_t characters) { m_copyLimit = characters; }

    // What the model does (CConsoleModel), for the control and the tests.
    void Replay() { m_model.Replay(); }
    bool IsIndexing() const { return m_model.IsIndexing(); }
    void FinishIndex() { m_model.FinishIndex(); }
    void WhenIndexed(std::function<void()> action) { m_model.WhenIndexed(std::move(action)); }
    bool HasPendingAction() const { return m_model.HasPendingAction(); }
    std::optional<std::size_t> PositionOfRecord(std::size_t record) {
        return m_model.PositionOfRecord(record);
    }
    std::optional<std::size_t> TopRecord() { return m_model.TopRecord(); }
    void SetIndexSliceBytes(std::size_t bytes) { m_model.SetIndexSliceBytes(bytes); }
    std::size_t IndexSliceBytes() const { return m_model.IndexSliceBytes(); }
    std::uint64_t IndexSlices() const { return m_model.IndexSlices(); }
    std::size_t MostSlicesInATurn() const { return m_model.MostSlicesInATurn(); }
    std::uint64_t IndexedBytes() const { return m_model.IndexedBytes(); }
    std::uint64_t IndexSerial() const { return m_model.IndexSerial(); }
    const CDisplayDocument& Document() const { return m_model.Document(); }
    const CDisplayWindow& Window() const { return m_model.Window(); }
    std::size_t IndexBytes() const { return m_model.IndexBytes(); }
    std::size_t TextSize() { return m_model.TextSize(); }
    const CStyleScheme* Scheme() const { return m_model.Scheme(); }
    QColor Background() const { return m_background; }
    const CDataStore& Store() const { return m_model.Store(); }
    const SViewSettings& Settings() const { return m_model.Settings(); }
    SStampRequest StampRequest() const { return m_model.StampRequest(); }
    // The hover window, made on first use.
    CTextInfoWnd* TextInfo();

    // Selection: [SelectionStart, SelectionEnd), empty when they are equal.
    void SetSelection(std::size_t anchor, std::size_t caret) {
        m_model.SetSelection(anchor, caret);
    }
    void SelectAll() { m_model.SelectAll(); }
    std::size_t SelectionStart() const { return m_model.SelectionStart(); }
    std::size_t SelectionEnd() const { return m_model.SelectionEnd(); }
    // The selected text as displayed: each line break as "\n", one
    // character per byte, stamped when stamps are shown.
    QString SelectedText() const;
    // Copies the selection; one of more than the limit (kMaxCopy unless
    // set) is refused with a message instead (Save Buffer writes any size).
    void Copy();
    void Paste();

    // The caret position nearest to a point of the viewport (Size() past
    // the end), and the character whose cell holds the point.
    std::size_t CharacterAt(QPoint point) { return HitTest(point, true); }
    std::size_t CharacterUnder(QPoint point) { return HitTest(point, false); }
    // The caret's cell in the viewport: its left edge and the top of its
    // row. The caret is where typing and the device's next text go, the
    // end, whatever is selected. A caret out of sight gives the start of
    // the last row shown.
    QPoint CaretPoint();
    bool IsPinnedToEnd() const { return m_model.IsPinnedToEnd(); }
    // Shows the row holding `position` at the top; unpins unless that is the
    // end. While the index is built, once it is (WhenIndexed).
    void ScrollToPosition(std::size_t position) { m_model.ScrollToPosition(position); }
    // Moves by rows (negative: back); reaching the end pins the view again.
    void ScrollRows(int rows) { m_model.ScrollRows(rows); }
    void ScrollToEnd() { m_model.ScrollToEnd(); }
    std::size_t TopPosition() { return m_model.TopPosition(); }
    int PaintCount() const { return m_paintCount; }
    // Who says which bytes to mark while painting (null: none); it must
    // outlive the view or be taken back first.
    void SetFindMarks(const IFindMarks* marks);
    const IFindMarks* FindMarks() const { return m_model.FindMarks(); }
    std::vector<STextRange> MarksInSight() { return m_model.MarksInSight(); }
    std::string DescribeCharacter(std::size_t character) {
        return m_model.DescribeCharacter(character);
    }
    // Whether every format shares one fixed-pitch metric (the fast wrap).
    bool UsesUniformAdvance();

    // The settings' time stamps changed: shown at once over the whole
    // history, nothing drawn again but the rows in sight.
    void StampsChanged();
    std::vector<std::string> RowStampsInSight() { return m_model.RowStampsInSight(); }
    int StampColumnWidth() const { return m_gutter.Width(); }
    bool UsesGapStamps() const { return m_model.UsesGapStamps(); }

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
    // IConsoleHost
    void SyncFormats(const CDisplayDocument& document, CLineLayout& layout) override;
    float TextWidth() const override;
    int FullRows() const override;
    SRoom Room() const override;
    void WantTurns(bool want) override;
    void RepaintSoon() override;
    void RepaintNow() override;
    void Redraw() override;
    void CopyNow() override;

    void SetScheme(std::shared_ptr<const CStyleScheme> scheme);
    void UpdateScrollBar();
    void ApplyStampStyle();
    void OnScrollAction(int action);
    std::size_t HitTest(QPoint point, bool nearest);

    MessageHandle m_storeHandle;
    MessageHandle m_control = kNoHandle;
    KeyFilter m_keyFilter;
    Notifier m_notifier;
    std::size_t m_copyLimit = kMaxCopy;
    std::unique_ptr<CTextInfoWnd> m_textInfo;

    QColor m_background = Qt::white;
    QFont m_defaultFont;
    CFontTable m_fonts;
    CDocumentPainter m_painter{kMargin};
    CStampGutter m_gutter;
    CSteadyScrollBar* m_scrollBar = nullptr;  // the area owns it
    bool m_settingScrollBar = false;
    // Wheel movement not yet a whole row: eighths of a degree, or pixels.
    int m_wheelAngle = 0;
    int m_wheelPixels = 0;
    bool m_dragging = false;

    QTimer m_buildTimer;
    QTimer m_repaintTimer;
    int m_paintCount = 0;
    // Last: it calls back into the view from its first moment.
    CConsoleModel m_model;
};

}  // namespace quillpad
