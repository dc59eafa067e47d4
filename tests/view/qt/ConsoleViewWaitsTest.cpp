// The console view's part in what waits for the index of a new scheme (the
// waiting itself is the model's, tests/view/ConsoleModelTest.cpp): its keys,
// the wheel, the clipboard and the hex pane's moves reach the model, and
// the event loop gives the index its turns.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <functional>
#include <string>
#include <utility>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeRender.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

constexpr int kLines = 6000;  // about 120 KB of records
// Small slices: the index takes hundreds of them.
constexpr std::size_t kSlice = 256;

using test::AsCopied;

QString CopiedText(std::string_view text) {
    return QString::fromLatin1(AsCopied(text));
}
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

TEST_F(ConsoleViewWaits, KeysWheelAndClipboardReachWhatWaitsForTheIndex) {
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    // Ctrl+Home shows the start at once and stays there.
    Restyle();
    EXPECT_LE(IndexedBy([&] { QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier); }),
              OneTurn());
    EXPECT_EQ(view.TopPosition(), 0u);
    UntilIndexed();
    EXPECT_EQ(view.TopPosition(), 0u);
    EXPECT_FALSE(view.IsPinnedToEnd());

    // Ctrl+A and a copy wait, and the clipboard gets the whole text.
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText("before");
    Restyle();
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    view.Copy();
    EXPECT_EQ(clipboard->text(), "before");
    UntilIndexed();
    EXPECT_EQ(clipboard->text(), CopiedText(whole.Text()));

    // The wheel is the user's own move: the jump waiting goes.
    view.ScrollToEnd();
    Restyle();
    view.ScrollToPosition(whole.LineStart(3000));
    QWheelEvent wheel(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_FALSE(view.HasPendingAction());
    UntilIndexed();
    EXPECT_FALSE(view.IsPinnedToEnd());
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

}  // namespace
}  // namespace quillpad
