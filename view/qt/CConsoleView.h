#pragma once
// The console: a scrolling window that shows the display document of every
// visible record in the current style. It paints only the rows in sight,
// wraps at its right edge, never edits its own text, and hands every key to
// the control first.
//
// Messages (each returns 0):
//   UM_APPEND_RECORD  wParam = store index, lParam = store generation
//   UM_CLEAR_DATA     empties the view and the run table
//   UM_SET_SCHEME     payload = std::shared_ptr to a const or mutable
//                     CStyleScheme (none or null: no scheme); clears, takes
//                     the scheme and its background, replays
//   UM_RENDER_TEXT    payload = CPayload::Borrow(SRenderTextRequest), sent;
//                     fills its text
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
#include <vector>

#include "data/DataStore.h"
#include "data/RenderTextRequest.h"
#include "platform/MessageChannel.h"
#include "styles/CStyleScheme.h"
#include "view/CDisplayDocument.h"
#include "view/CLineLayout.h"
#include "view/CStyledRenderer.h"
#include "view/TextInfo.h"
#include "view/qt/CDocumentPainter.h"
#include "view/qt/CFontTable.h"

class QKeyEvent;

namespace quillpad {

class CTextInfoWnd;

class CConsoleView final : public QAbstractScrollArea, public CMessageTarget {
    Q_OBJECT
  public:
    // Offered every key before the view acts on it; true when the control
    // took the key (the view then does nothing with it).
    using KeyFilter = std::function<bool(const QKeyEvent&)>;

    // Room at the left of the text.
    static constexpr int kMargin = 2;

    CConsoleView(CMessageChannel& channel, const CDataStore& store, const SViewSettings& settings,
                 QWidget* parent = nullptr);
    ~CConsoleView() override;

    // Where pastes (UM_SEND_TEXT) and typed characters of the hover window
    // (UM_SEND_CHAR) go.
    void SetControl(MessageHandle control);
    MessageHandle Control() const { return m_control; }
    void SetKeyFilter(KeyFilter filter) { m_keyFilter = std::move(filter); }

    std::int64_t HandleMessage(SMessage& message) override;

    // Clears and has the store send every record again, with the wait
    // cursor up; nothing is painted until it is done.
    void Replay();

    const CDisplayDocument& Document() const { return m_document; }
    const CStyleScheme* Scheme() const { return m_renderer.Scheme(); }
    QColor Background() const { return m_background; }
    const CDataStore& Store() const { return m_store; }
    const SViewSettings& Settings() const { return m_settings; }
    // The hover window, made on first use.
    CTextInfoWnd* TextInfo();

    // Selection: [SelectionStart, SelectionEnd), empty when they are equal.
    void SetSelection(std::size_t anchor, std::size_t caret);
    void SelectAll();
    std::size_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::size_t SelectionEnd() const { return std::max(m_anchor, m_caret); }
    // The selected text as displayed: translated names as shown, each line
    // break as "\n", one character per byte.
    QString SelectedText() const;
    void Copy();
    void Paste();

    // The caret position nearest to a point of the viewport (Size() past
    // the end), and the character whose cell holds the point.
    std::size_t CharacterAt(QPoint point);
    std::size_t CharacterUnder(QPoint point);
    // The caret's cell in the viewport: its left edge and the top of its
    // row. With nothing selected the caret is where the device's next text
    // goes, the end. A caret out of sight gives the start of the last row shown.
    QPoint CaretPoint();
    bool IsPinnedToEnd() const { return m_pinned; }
    // Shows the row holding `position` at the top; unpins unless that is the end.
    void ScrollToPosition(std::size_t position);
    // Moves by rows (negative: back); reaching the end pins the view again.
    void ScrollRows(int rows);
    void ScrollToEnd();
    // The first character shown at the top of the window.
    std::size_t TopPosition();
    int PaintCount() const { return m_paintCount; }
    // Whether every format shares one fixed-pitch metric (the fast wrap).
    bool UsesUniformAdvance();

  signals:
    void Repainted();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    void AppendRecord(SRecordRef ref);
    void ClearView(bool keepCapacity = false);
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme);
    void ContentChanged();
    void FlushRepaint();

    // Fonts and metrics of the document's formats, built as formats appear,
    // and the layout told of them and of the width.
    void SyncFonts();
    void SyncLayout();
    int FullRows() const;
    std::size_t HitTest(QPoint point, bool nearest);
    // Rows of the window from the top position (or, pinned, up from the end).
    void Layout();
    void UpdateScrollBar();
    void OnScrollAction(int action);
    std::size_t WordStart(std::size_t position) const;
    std::size_t WordEnd(std::size_t position) const;

    const CDataStore& m_store;
    const SViewSettings& m_settings;
    MessageHandle m_storeHandle;
    CDisplayDocument m_document;
    CLineLayout m_layout{m_document};
    std::shared_ptr<const CStyleScheme> m_scheme;  // the renderer draws with it
    CStyledRenderer m_renderer;
    MessageHandle m_control = kNoHandle;
    KeyFilter m_keyFilter;
    std::unique_ptr<CTextInfoWnd> m_textInfo;

    // Records already drawn in this generation, so a notice still queued
    // when a replay drew its record is not drawn again.
    std::uint32_t m_drawnGeneration = 0;
    std::optional<std::uint32_t> m_highestDrawn;

    QColor m_background = Qt::white;
    QFont m_defaultFont;
    CFontTable m_fonts;
    CDocumentPainter m_painter{kMargin};

    // Scrolling: the row start at the top, unless pinned to the end.
    bool m_pinned = true;
    std::size_t m_top = 0;
    std::vector<CLineLayout::SRow> m_rows;  // the rows in sight, from the last layout
    std::uint64_t m_layoutRevision = static_cast<std::uint64_t>(-1);
    QSize m_layoutSize;
    bool m_layoutDirty = true;
    std::uint64_t m_scale = 1;  // text positions per scroll bar unit
    bool m_settingScrollBar = false;
    // Wheel movement not yet a whole row: eighths of a degree, or pixels.
    int m_wheelAngle = 0;
    int m_wheelPixels = 0;

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    bool m_dragging = false;

    QTimer m_repaintTimer;
    int m_paintCount = 0;
    bool m_replaying = false;
};

}  // namespace quillpad
