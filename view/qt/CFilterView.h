#pragma once
// The console's lines that hold a match, alone: a read-only view over the
// history like grep, shown in the console's place while the find bar's
// "Filter" is on. It draws the lines in sight from the console's own line
// index, in the console's scheme, one row a line (a long line is cut at the
// right edge), with the console's time stamps beside them while they are
// shown; it keeps the matching lines' numbers, never their text.
//
// The lines are found in slices of a few milliseconds, one per event-loop
// turn, and the view tells how far it got ("filtering… 35%", then
// "N lines"). While it is shown it takes in the records the store tells of
// (its turn notice), once the console has indexed them. It scrolls, selects whole lines (click,
// Shift click, Ctrl+A) and copies them (Ctrl+C); Escape asks to close.

#include <QAbstractScrollArea>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/StoreNotice.h"
#include "pattern/BytePattern.h"
#include "view/CDisplayDocument.h"
#include "view/CLineFilter.h"
#include "view/CLineLayout.h"
#include "view/qt/CDocumentPainter.h"
#include "view/qt/CFontTable.h"
#include "view/qt/CStampGutter.h"

namespace quillpad {

class CConsoleView;

class CFilterView final : public QAbstractScrollArea, private IStoreObserver {
    Q_OBJECT
  public:
    // Keys that are not the filter's own (Escape, copy, select all, the
    // scroll keys) go to the console first, as typed into it.
    using KeyFilter = std::function<bool(const QKeyEvent&)>;
    void SetKeyFilter(KeyFilter filter) { m_keyFilter = std::move(filter); }
    // The most lines a copy takes to the clipboard.
    static constexpr std::size_t kMaxCopyLines = 100'000;
    using Notifier = std::function<void(const QString& text)>;

    explicit CFilterView(CConsoleView& console, QWidget* parent = nullptr);
    ~CFilterView() override;

    // Filters the console's lines by `query` from the start.
    void Start(const SFindQuery& query);
    // Stops filtering and forgets the lines.
    void Stop();
    // One slice of filtering, or of taking in what the console indexed since.
    void Slice();
    bool Filtering() const;
    // "filtering… 35%", "N lines" or why nothing is filtered.
    QString StatusText() const { return m_status; }
    // The matching lines, as line numbers of the console's text.
    std::vector<std::uint64_t> Lines() const;
    // The text of filtered lines [first, last), each ended by "\n".
    QString LinesText(std::size_t first, std::size_t last);

    // Rows: the first filtered line at the top, and how many fit.
    std::size_t TopLine() const;
    void ScrollToLine(std::size_t line);
    int VisibleRows() const;
    // Selection of whole filtered lines [SelectionStart, SelectionEnd).
    void SelectLines(std::size_t anchor, std::size_t caret);
    std::size_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::size_t SelectionEnd() const {
        return std::max(m_anchor, m_caret) + (m_hasSelection ? 1 : 0);
    }
    void Copy();
    void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }
    void SetCopyLimit(std::size_t lines) { m_copyLimit = lines; }

  signals:
    void StatusChanged(const QString& text);
    void EscapePressed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void OnStoreNotice(const SStoreNotice& notice) override;
    // Draws filtered lines [first, last) into `out`, each ended by a line break.
    // With `stamps`, each line's stamp as the console's column shows it.
    void DrawLines(std::size_t first, std::size_t last, CDisplayDocument& out,
                   std::vector<std::string>* stamps = nullptr);
    // The range for the lines kept; `toEnd` takes the view to the last
    // of them in the same change.
    void UpdateScrollBar(bool toEnd = false);
    void SetStatus(const QString& text);
    std::size_t LineAt(int y) const;
    // The rows' height in the style's fonts as last painted; before the
    // first paint, in the widget's font.
    int RowHeight() const;
    bool IndexCurrent() const;

    CConsoleView& m_console;
    std::unique_ptr<CBytePattern> m_pattern;
    std::unique_ptr<CLineFilter> m_filter;
    std::uint64_t m_indexSerial = 0;
    QTimer m_timer;
    QString m_status;
    Notifier m_notifier;
    std::size_t m_copyLimit = kMaxCopyLines;

    // The rows in sight, drawn for the last paint.
    CDisplayDocument m_shown;
    CLineLayout m_layout{m_shown};
    CFontTable m_fonts;
    CDocumentPainter m_painter;
    CStampGutter m_gutter;
    // The stretch of the console's text drawn last, reused for the next lines.
    CDisplayDocument m_stretch;
    SWindowPlace m_place;
    bool m_stretchValid = false;

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    bool m_hasSelection = false;
    KeyFilter m_keyFilter;
    CStoreSubscription m_subscription;
};

}  // namespace quillpad
