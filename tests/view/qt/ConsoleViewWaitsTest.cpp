// What needs the whole text's positions while the console view is still
// indexing a new scheme: each call returns within one bounded turn (counted
// in record bytes indexed, never timed), and once the index is complete the
// view ends where the same call made afterwards puts it. A newer waiting
// action replaces an older one; a restyle, a clear and the user's own moves
// drop it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <functional>
#include <string>
#include <utility>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"
#include "tests/view/qt/WholeRender.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

constexpr int kLines = 6000;  // about 120 KB of records
// Small slices: the index takes hundreds of them.
constexpr std::size_t kSlice = 256;

using test::AsCopied;
using test::WholeRender;

class ConsoleViewWaits : public ::testing::Test {
  protected:
    ConsoleViewWaits() : store(channel, clock), view(channel, store, settings) {
        store.SetHistoryBudget(32 << 10, dir.File("cache"));
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        view.resize(420, 240);
        view.show();
        view.SetIndexSliceBytes(kSlice);
        channel.DrainPending();
        for (int i = 0; i < kLines; ++i) {
            store.AddIncomingBytes(0, "line " + std::to_string(i) + " of the log\r\n");
            clock.Advance(1);
        }
        SetScheme(schemes[2]);
        view.FinishIndex();
        Settle();
    }
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(scheme));
    }
    void Settle() {
        channel.DrainPending();
        QApplication::processEvents();
    }
    // A restyle: the end is shown at once, the index starts from nothing.
    void Restyle() {
        SetScheme(schemes[0]);
        ASSERT_TRUE(view.IsIndexing());
        ASSERT_GT(store.TotalBytes(true), 4 * OneTurn()) << "the index takes many turns";
    }
    // The most record bytes one turn of indexing takes in: its slices, the
    // last running over by at most a piece of one record.
    static std::uint64_t OneTurn() {
        return CConsoleView::kPriorityTurnSlices * kSlice + SLineIndexSpacing{}.pieceBytes;
    }
    // Record bytes indexed inside `call`.
    std::uint64_t IndexedBy(const std::function<void()>& call) {
        const std::uint64_t before = view.IndexedBytes();
        call();
        return view.IndexedBytes() - before;
    }
    // The event loop runs until the index is complete.
    void UntilIndexed() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsIndexing(); }, 60000));
        Settle();
        EXPECT_LE(view.MostSlicesInATurn(), CConsoleView::kPriorityTurnSlices);
    }

    test::CTempDir dir;
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
};

TEST_F(ConsoleViewWaits, AJumpOrCtrlHomeWhileIndexingLandsWhereItDoesAfterwards) {
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    const std::size_t target = whole.LineStart(4321) + 5;

    // A jump to a position (as a find match or Go to Time makes) waits.
    Restyle();
    EXPECT_LE(IndexedBy([&] { view.ScrollToPosition(target); }), OneTurn());
    EXPECT_TRUE(view.IsIndexing()) << "the index is not finished inside the call";
    EXPECT_TRUE(view.HasPendingAction());
    UntilIndexed();
    const std::size_t waited = view.TopPosition();
    view.ScrollToEnd();
    view.ScrollToPosition(target);
    EXPECT_EQ(waited, view.TopPosition());
    EXPECT_LE(waited, target);
    EXPECT_EQ(whole.LineOf(waited), 4321u);
    EXPECT_FALSE(view.IsPinnedToEnd());

    // Ctrl+Home shows the start at once, from a turn's worth of index.
    view.ScrollToEnd();
    Restyle();
    EXPECT_LE(IndexedBy([&] { QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier); }),
              OneTurn());
    EXPECT_TRUE(view.IsIndexing());
    EXPECT_EQ(view.TopPosition(), 0u);
    UntilIndexed();
    EXPECT_EQ(view.TopPosition(), 0u);
    EXPECT_FALSE(view.IsPinnedToEnd());
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.TopPosition(), 0u);
}

TEST_F(ConsoleViewWaits, SelectAllAndCopyWhileIndexingCopyTheWholeTextOnceItIsThere) {
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText("before");
    Restyle();
    EXPECT_LE(IndexedBy([&] {
                  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
                  view.Copy();
              }),
              OneTurn());
    EXPECT_TRUE(view.IsIndexing());
    EXPECT_EQ(clipboard->text(), "before") << "nothing copied of a text not known yet";
    UntilIndexed();
    const QString waited = clipboard->text();
    EXPECT_EQ(view.SelectionStart(), 0u);
    EXPECT_EQ(view.SelectionEnd(), whole.Size());
    EXPECT_EQ(waited, AsCopied(whole.Text()));

    clipboard->setText("before");
    view.SetSelection(0, 0);
    view.SelectAll();
    view.Copy();
    EXPECT_EQ(clipboard->text(), waited);

    // A selection set from outside, then copied: the same text as afterwards.
    const std::size_t from = whole.LineStart(17) + 3;
    const std::size_t to = whole.LineStart(5000) + 2;
    clipboard->setText("before");
    Restyle();
    EXPECT_LE(IndexedBy([&] {
                  view.SetSelection(from, to);
                  view.Copy();
              }),
              OneTurn());
    EXPECT_EQ(clipboard->text(), "before");
    UntilIndexed();
    EXPECT_EQ(clipboard->text(), AsCopied(whole.Text().substr(from, to - from)));
    EXPECT_EQ(view.SelectionStart(), from);
    EXPECT_EQ(view.SelectionEnd(), to);

    // What the user selects in the end shown meanwhile is copied at once.
    Restyle();
    QWidget* port = view.viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, QPoint(3, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 20), port->mapToGlobal(QPointF(60, 20)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &move);
    QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(60, 20));
    const QString word = view.SelectedText();
    ASSERT_TRUE(word.startsWith("line ")) << word.toStdString();
    EXPECT_LE(IndexedBy([&] { view.Copy(); }), OneTurn());
    EXPECT_EQ(clipboard->text(), word);
    EXPECT_FALSE(view.HasPendingAction());
    UntilIndexed();
}

TEST_F(ConsoleViewWaits, TextSizeAndDocumentGiveWhatIsIndexedWithoutFinishingIt) {
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    Restyle();
    for (int turns = 0; turns < 3; ++turns) {
        QApplication::processEvents();
    }
    ASSERT_TRUE(view.IsIndexing());
    std::size_t size = 0;
    std::string text;
    EXPECT_LE(IndexedBy([&] {
                  size = view.TextSize();
                  text = std::string(view.Document().Text());
              }),
              OneTurn());
    EXPECT_TRUE(view.IsIndexing());
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, whole.Size());
    EXPECT_EQ(text.size(), size);
    EXPECT_EQ(text, whole.Text().substr(0, size)) << "what is indexed is the whole text's start";
    UntilIndexed();
    EXPECT_EQ(view.TextSize(), whole.Size());
    EXPECT_EQ(view.Document().Text(), whole.Text());
}

TEST_F(ConsoleViewWaits, TheHexPanesMovesWhileIndexingTakeTheViewWhereTheyDoAfterwards) {
    CHexPane pane(view);
    pane.resize(pane.PreferredWidth(), 240);
    pane.show();
    Settle();
    const std::uint64_t row = 2500;  // 40000 bytes in, far from either end
    const std::uint64_t anchor = row * 16 + 3;
    const std::uint64_t caret = anchor + 700;

    Restyle();
    EXPECT_LE(IndexedBy([&] {
                  pane.ScrollToRow(row);
                  pane.SetByteSelection(anchor, caret);
              }),
              OneTurn());
    EXPECT_TRUE(view.IsIndexing());
    EXPECT_EQ(pane.TopRow(), row) << "the pane goes there at once";
    UntilIndexed();
    const std::size_t top = view.TopPosition();
    const std::pair<std::size_t, std::size_t> selected{view.SelectionStart(), view.SelectionEnd()};
    const QString text = view.SelectedText();
    EXPECT_EQ(pane.TopRow(), row);
    EXPECT_EQ(pane.SelectionStart(), anchor);
    EXPECT_EQ(pane.SelectionEnd(), caret);

    view.ScrollToEnd();
    view.SetSelection(0, 0);
    Settle();
    pane.ScrollToRow(row);
    pane.SetByteSelection(anchor, caret);
    Settle();
    EXPECT_EQ(view.TopPosition(), top);
    EXPECT_EQ(view.SelectionStart(), selected.first);
    EXPECT_EQ(view.SelectionEnd(), selected.second);
    EXPECT_EQ(view.SelectedText(), text);
    EXPECT_FALSE(view.IsPinnedToEnd());
    EXPECT_GT(text.size(), 600) << "the 700 bytes as the text shows them";
}

TEST_F(ConsoleViewWaits, ANewerActionReplacesAWaitingOneAndARestyleAClearOrTheUserDropsIt) {
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    const std::size_t first = whole.LineStart(1000);
    const std::size_t second = whole.LineStart(3000);

    // The newer jump wins.
    Restyle();
    view.ScrollToPosition(first);
    view.ScrollToPosition(second);
    UntilIndexed();
    EXPECT_EQ(view.TopPosition(), second);

    // A restyle: the positions asked for were the old text's.
    view.ScrollToEnd();
    Restyle();
    view.ScrollToPosition(first);
    view.SetSelection(first, second);
    ASSERT_TRUE(view.HasPendingAction());
    Restyle();
    EXPECT_FALSE(view.HasPendingAction());
    UntilIndexed();
    EXPECT_TRUE(view.IsPinnedToEnd());
    EXPECT_EQ(view.SelectionStart(), view.SelectionEnd());

    // The user's own scrolling: the wheel, a page, the scroll bar.
    const auto userMoves = std::vector<std::function<void()>>{
        [&] {
            QWheelEvent wheel(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(view.viewport(), &wheel);
        },
        [&] { QTest::keyClick(&view, Qt::Key_PageUp); },
        [&] {
            // Once a turn has indexed some, the scroll bar has a length.
            QScrollBar* bar = view.verticalScrollBar();
            ASSERT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > 0; }, 5000));
            ASSERT_TRUE(view.IsIndexing());
            bar->setSliderPosition(bar->maximum() / 10);
        },
    };
    for (std::size_t i = 0; i < userMoves.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& move = userMoves[i];
        view.ScrollToEnd();
        Restyle();
        view.ScrollToPosition(second);
        move();
        EXPECT_FALSE(view.HasPendingAction());
        UntilIndexed();
        EXPECT_NE(whole.LineOf(view.TopPosition()), 3000u) << "the jump was dropped";
        EXPECT_FALSE(view.IsPinnedToEnd()) << "the user's move stays";
    }

    // A clear: nothing is left to jump to.
    view.ScrollToEnd();
    Restyle();
    view.ScrollToPosition(second);
    store.ClearData();
    Settle();
    EXPECT_FALSE(view.HasPendingAction());
    EXPECT_FALSE(view.IsIndexing());
    EXPECT_EQ(view.TextSize(), 0u);
}

// A flood brings more between two repaints than a turn indexes: the repaint
// takes in one turn's worth, the rest follows in slices, and the view, which
// follows the end, ends on the flood's last line with the whole text indexed.
TEST_F(ConsoleViewWaits, AFloodIsTakenInInSlicesAndTheViewEndsOnItsLastLine) {
    ASSERT_FALSE(view.IsIndexing());
    for (int i = 0; i < 3000; ++i) {
        store.AddIncomingBytes(0, "flood " + std::to_string(i) + " of the burst\r\n");
    }
    channel.DrainPending();
    EXPECT_LE(IndexedBy([&] { view.ScrollToEnd(); }), OneTurn());
    EXPECT_TRUE(view.IsIndexing()) << "the rest of the flood is indexed in slices";
    UntilIndexed();
    const CDisplayDocument whole = WholeRender(store, schemes[2].get());
    EXPECT_EQ(view.TextSize(), whole.Size());
    const std::string_view text = view.Document().Text();
    EXPECT_EQ(text, whole.Text());
    const QScrollBar* bar = view.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the view still follows the end";
}

}  // namespace
}  // namespace quillpad
