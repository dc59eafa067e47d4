#pragma once
// The hex pane beside the console view: the same history as a hex dump
// (CHexDump), offset, 16 bytes as hex and the same 16 as text, incoming and
// outgoing bytes in colours of their own and a mark where the direction
// turns. It follows the view: the view's top row, its end and its selection
// show here, and scrolling or selecting here moves and selects the view the
// same way (through CTextByteMap). Only the rows in sight are read from the
// store; nothing of the history is drawn ahead. New records reach it by the
// store's turn notice, so it follows the history's end while the view is
// not painted (hidden behind the filter, say); the view's paints tell it
// where the view was moved or what it selected.
//
// Keys go to the control first, as the view's do; copy from here gives the
// selected bytes as hex text ("0D 0A 3E 20"). SHIFT over the pane shows the
// view's hover window for the byte or selection under the pointer.

#include <QColor>
#include <QFont>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "data/StoreNotice.h"
#include "view/CHexDump.h"
#include "view/TextBytes.h"

class QKeyEvent;

namespace quillpad {

class CConsoleView;

struct SHexColours {
    QColor background;
    QColor offset;
    QColor incoming;
    QColor outgoing;
    QColor turn;
    QColor highlight;
    QColor highlightText;
};

class CHexPane final : public QWidget, private IStoreObserver {
    Q_OBJECT
  public:
    using KeyFilter = std::function<bool(const QKeyEvent&)>;
    using Notifier = std::function<void(const QString& text)>;
    static constexpr int kMargin = 4;

    explicit CHexPane(CConsoleView& view, QWidget* parent = nullptr);
    ~CHexPane() override;

    void SetKeyFilter(KeyFilter filter) { m_keyFilter = std::move(filter); }
    void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }

    // The width that shows a whole row.
    int PreferredWidth() const;
    int RowHeight() const { return m_rowHeight; }
    int VisibleRows() const;

    // Takes the view's scroll place and selection (the view calls for it
    // after every paint).
    void SyncFromView();
    // The dump of what the view shows now.
    const CHexDump& Dump();
    std::uint64_t TopRow() const { return m_top; }
    bool IsPinnedToEnd() const { return m_pinned; }
    // Moves both panes by rows of this pane (negative: back).
    void ScrollRows(int rows);
    void ScrollToRow(std::uint64_t row);

    // The selection in bytes of the dump, [start, end).
    void SetByteSelection(std::uint64_t anchor, std::uint64_t caret);
    std::uint64_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::uint64_t SelectionEnd() const { return std::max(m_anchor, m_caret); }
    bool HasSelection() const { return m_anchor != m_caret; }
    QString SelectedHex();
    // The selection as hex text on the clipboard; a selection of more than
    // CHexDump::kMaxCopyBytes is refused with a message.
    void Copy();

    // The byte under a point, or the caret place nearest it; the dump's
    // size when past its end.
    std::uint64_t ByteAt(QPoint point, bool nearest);
    SHexColours Colours() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnStoreNotice(const SStoreNotice& notice) override;
    // A new dump and byte map when the view has a new index.
    void Refresh();
    std::uint64_t LastTop();
    void TellViewTop();
    // Runs `redo` on the pane once the view has indexed (nothing if the pane
    // has gone by then); the pane keeps its own row and selection meanwhile.
    void WaitForIndex(std::function<void(CHexPane&)> redo);
    void HoverAt(QPoint point, bool shift);

    CConsoleView& m_view;
    KeyFilter m_keyFilter;
    Notifier m_notifier;
    QFont m_font;
    int m_charWidth = 8;
    int m_rowHeight = 16;
    int m_ascent = 12;

    std::unique_ptr<CHexDump> m_dump;
    std::unique_ptr<CTextByteMap> m_map;
    std::uint64_t m_serial = static_cast<std::uint64_t>(-1);
    std::uint32_t m_generation = 0;

    bool m_pinned = true;
    // A move or selection of the pane's own waits for the view's index.
    bool m_waiting = false;
    std::uint64_t m_top = 0;
    // The view's top when this pane last moved it: while the view stays
    // there, this pane keeps the row it chose.
    std::optional<std::size_t> m_ledTop;
    int m_wheelAngle = 0;

    std::uint64_t m_anchor = 0;
    std::uint64_t m_caret = 0;
    // The view's selection last taken or given, so that only a change made
    // in the view is taken again.
    std::size_t m_viewAnchor = 0;
    std::size_t m_viewCaret = 0;
    bool m_dragging = false;
    std::uint64_t m_pressed = 0;  // the byte a drag started on
    // Last: it may call OnStoreNotice as soon as it is made.
    CStoreSubscription m_subscription;
};

}  // namespace quillpad
