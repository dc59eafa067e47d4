#pragma once
// The find bar at the bottom of the console: what to find, Previous and Next,
// "Match case", the mode (Text, Hex, Pattern) and the direction. The search
// is its session's (CFindSession: the count a step per event-loop turn, the
// kept matches, the moves, the marks); the bar holds the form, gives the
// session its turns, says how far it got, and shows a match by selecting
// where its bytes are drawn and scrolling there. While the bar is open every
// match in sight is marked (the view asks the session for the records it
// paints).
//
// Keys in the bar: Enter the next match, Shift+Enter the previous one (F3
// is a macro key, so it is not taken), Escape closes the bar.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>

#include "data/HistoryFind.h"
#include "view/CFindSession.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

namespace quillpad {

class CConsoleView;
class CDataStore;

class CFindBar final : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::size_t kKeptMatches = CFindSession::kKeptMatches;

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
    const CFindSession& Session() const { return m_session; }
    // Whether the count is still going on.
    bool Searching() const { return m_session.Searching(); }
    // Whether a Next or Previous is still looking for its match.
    bool Moving() const { return m_session.Moving(); }
    std::uint64_t MatchCount() const { return m_session.MatchCount(); }
    // The match shown, if any.
    std::optional<SFindMatch> Current() const { return m_session.Current(); }

  signals:
    void Closed();
    // The filter ticked or unticked, or its query changed while ticked.
    void FilterChanged(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Compiles what the controls say and starts counting again.
    void Restart();
    CFindSession::SFrom From() const;
    // Shows a match in the view, selected, once the view can say where it is.
    void JumpTo(const SFindMatch& match);
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
    CFindSession m_session;
    bool m_statusIsError = false;
};

}  // namespace quillpad
