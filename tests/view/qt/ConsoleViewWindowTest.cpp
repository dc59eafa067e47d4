// The console view over a history far larger than what it draws: it holds a
// small window of the text, and scrolling, selecting, copying and the hover
// window still see the whole history, spilled to disk or not, exactly as the
// whole render has it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <string>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeRender.h"
#include "view/RenderRecordOf.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

constexpr int kLines = 6000;

using test::AsCopied;

QString CopiedText(std::string_view text) {
    return QString::fromLatin1(AsCopied(text));
}
using test::WholeRender;

class ConsoleViewWindow : public ::testing::Test {
  protected:
    ConsoleViewWindow() : store(channel, clock), view(channel, store, settings) {
        // A small budget: most of the history lives in the spill file.
        store.SetHistoryBudget(32 << 10, dir.File("cache"));
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        view.resize(420, 240);
        view.show();
        channel.DrainPending();
    }
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(scheme));
    }
    // Short numbered lines, each its own record, some in two records.
    void AddLines(int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::string line = "line " + std::to_string(i) + " of the log\r\n";
            if (i % 7 == 0) {
                store.AddIncomingBytes(0, line.substr(0, 4));
                clock.Advance(1);
                store.AddIncomingBytes(0, line.substr(4));
            } else {
                store.AddIncomingBytes(0, line);
            }
            clock.Advance(1);
        }
    }
    void Settle() {
        channel.DrainPending();
        QTest::qWait(40);
    }

    test::CTempDir dir;
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
};

TEST_F(ConsoleViewWindow, ScrollsByRowsAndPagesThroughAHistoryItNeverHoldsWhole) {
    AddLines(0, kLines);
    SetScheme(schemes[0]);
    view.FinishIndex();
    Settle();
    ASSERT_FALSE(store.SpillPath().empty()) << "the history went to disk";
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    ASSERT_EQ(view.TextSize(), whole.Size());
    // Short lines: a row is a line, so rows can be checked against lines.
    EXPECT_TRUE(view.IsPinnedToEnd());
    EXPECT_LT(view.Window().Document().Size(), whole.Size() / 8) << "only a window is drawn";

    // Rows in sight, from the end: the text ends with a break, so its last
    // row is the empty line after it.
    const std::size_t endTop = view.TopPosition();
    const std::size_t rows = whole.LineCount() - whole.LineOf(endTop);
    ASSERT_GT(rows, 3u);

    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.TopPosition(), 0u);
    EXPECT_FALSE(view.IsPinnedToEnd());
    EXPECT_LT(view.Window().Document().Size(), 32u << 10) << "only a window is drawn";
    view.ScrollRows(3000);
    EXPECT_EQ(view.TopPosition(), whole.LineStart(3000));
    QTest::keyClick(&view, Qt::Key_PageUp);
    EXPECT_EQ(view.TopPosition(), whole.LineStart(3000 - (rows - 1)));
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.TopPosition(), whole.LineStart(3000)) << "page down undoes page up";

    // The wheel: a notch is three rows, back.
    QWheelEvent wheel(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_EQ(view.TopPosition(), whole.LineStart(2997));

    // A drag of the scroll bar to any point shows the row holding it.
    const std::size_t target = whole.LineStart(4321) + 5;
    view.ScrollToPosition(target);
    EXPECT_EQ(view.TopPosition(), whole.LineStart(4321));

    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(view.IsPinnedToEnd());
    EXPECT_EQ(view.TopPosition(), endTop);
}

TEST_F(ConsoleViewWindow, FollowsTheEndAndKeepsAPlaceScrolledBackWhileRecordsArrive) {
    AddLines(0, kLines);
    SetScheme(schemes[0]);
    view.FinishIndex();
    Settle();
    const std::size_t endTop = view.TopPosition();
    AddLines(kLines, kLines + 50);
    Settle();
    EXPECT_TRUE(view.IsPinnedToEnd());
    EXPECT_GT(view.TopPosition(), endTop) << "pinned: the end is followed";

    view.ScrollToPosition(1000);
    const std::size_t back = view.TopPosition();
    AddLines(kLines + 50, kLines + 400);
    Settle();
    EXPECT_FALSE(view.IsPinnedToEnd());
    EXPECT_EQ(view.TopPosition(), back) << "the user's place is kept";
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    EXPECT_EQ(view.TextSize(), whole.Size()) << "and every record is taken in";
}

TEST_F(ConsoleViewWindow, SelectionAndCopySpanMoreThanTheWindowAndTheHoverFindsBothEnds) {
    AddLines(0, kLines);
    SetScheme(schemes[2]);  // hex mode: every byte a bracketed name
    view.FinishIndex();
    Settle();
    const CDisplayDocument whole = WholeRender(store, schemes[2].get());
    ASSERT_EQ(view.TextSize(), whole.Size());
    const std::size_t from = whole.LineStart(10) + 3;
    const std::size_t to = whole.Size() - 17;
    view.SetSelection(from, to);
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), CopiedText(whole.Text().substr(from, to - from)));

    // The hover over the selection spans the records of both ends, far apart.
    settings.textInfo.showAbsoluteTime = false;
    settings.textInfo.showRelativeTime = true;
    const std::string span = view.DescribeCharacter(from + 1);
    const auto first = store.Find(*whole.RecordAt(from));
    const auto last = store.Find(*whole.RecordAt(to - 1));
    ASSERT_TRUE(first && last);
    EXPECT_NE(span.find(FormatSpan(last->tick - first->tick)), std::string::npos) << span;

    // Outside the selection: the record under the character, found on disk.
    view.SetSelection(0, 0);
    settings.textInfo = {false, false, false, true};
    const std::size_t at = whole.LineStart(4000) + 7;  // two display lines a line in hex
    const std::string one = view.DescribeCharacter(at);
    EXPECT_NE(one.find("line 2000 of"), std::string::npos) << one;
}

TEST_F(ConsoleViewWindow, ACopyLargerThanTheLimitIsRefusedWithAMessageAndNoFreeze) {
    AddLines(0, 200);
    SetScheme(schemes[0]);
    Settle();
    std::vector<QString> told;
    view.SetNotifier([&](const QString& text) { told.push_back(text); });
    QApplication::clipboard()->setText("before");
    view.SelectAll();
    ASSERT_LE(view.SelectionEnd(), CConsoleView::kMaxCopy) << "a small selection is copied";
    view.Copy();
    EXPECT_TRUE(told.empty());
    EXPECT_NE(QApplication::clipboard()->text(), "before");

    view.SetCopyLimit(100);
    QApplication::clipboard()->setText("before");
    view.Copy();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].contains("too large to copy")) << told[0].toStdString();
    EXPECT_EQ(QApplication::clipboard()->text(), "before") << "nothing half copied";
}

TEST_F(ConsoleViewWindow, ANewSchemeShowsTheEndAtOnceAndIndexesTheRestInTurns) {
    AddLines(0, kLines * 4);
    SetScheme(schemes[0]);
    view.FinishIndex();
    Settle();
    const int paints = view.PaintCount();
    SetScheme(schemes[2]);
    ASSERT_TRUE(view.IsIndexing()) << "a long history is not indexed inside the command";
    view.TextInfo()->MouseMoved(QPoint(5, 5), true);
    EXPECT_TRUE(view.IsIndexing()) << "the hover window does not hold the console meanwhile";
    // The event loop goes on; the index completes by itself.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.IsIndexing(); }, 60000));
    EXPECT_GT(view.PaintCount(), paints);
    Settle();
    const CDisplayDocument whole = WholeRender(store, schemes[2].get());
    EXPECT_EQ(view.TextSize(), whole.Size());
    EXPECT_EQ(view.Document().Text(), whole.Text());
}

// A drag with the left button held, from one point of the view to another.
void Drag(CConsoleView& view, QPoint from, QPoint to) {
    QWidget* port = view.viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), port->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &move);
    QTest::mouseRelease(port, Qt::LeftButton, {}, to);
}

TEST_F(ConsoleViewWindow, WhileANewSchemeIsIndexedTheTailScrollsSelectsAndHoversAtOnce) {
    AddLines(0, kLines * 10);
    SetScheme(schemes[2]);
    view.FinishIndex();
    Settle();
    SetScheme(schemes[0]);
    ASSERT_TRUE(view.IsIndexing());
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(&view, Qt::Key_PageUp);
    }
    QWheelEvent wheel(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_FALSE(view.IsPinnedToEnd());
    // From the start of the top row to the start of the bottom one.
    Drag(view, QPoint(3, 2), QPoint(3, view.viewport()->height() - 4));
    const QString picked = view.SelectedText();
    ASSERT_TRUE(picked.startsWith("line ")) << picked.toStdString();
    ASSERT_GE(picked.count('\n'), 3);
    EXPECT_FALSE(picked.contains(QString("line %1 ").arg(kLines * 10 - 1)))
        << "three pages and a notch back from the end";
    settings.textInfo = {false, false, false, true};
    view.TextInfo()->MouseMoved(QPoint(40, 2), true);
    EXPECT_TRUE(view.TextInfo()->isVisible()) << "the hover describes the tail";
    EXPECT_TRUE(view.IsIndexing()) << "none of it waited for the index";

    // Data arriving meanwhile leaves the tail where the user put it.
    const std::string top = view.DescribeCharacter(view.CharacterUnder(QPoint(40, 2)));
    AddLines(kLines * 10, kLines * 10 + 40);
    channel.DrainPending();
    EXPECT_EQ(view.DescribeCharacter(view.CharacterUnder(QPoint(40, 2))), top);
    EXPECT_EQ(view.SelectedText(), picked);

    // Once the index is done the same text is selected and at the top, now
    // in positions of the whole text.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsIndexing(); }, 60000));
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    ASSERT_EQ(view.TextSize(), whole.Size());
    EXPECT_EQ(view.SelectedText(), picked);
    EXPECT_EQ(CopiedText(whole.Text().substr(view.SelectionStart(),
                                             view.SelectionEnd() - view.SelectionStart())),
              picked);
    EXPECT_FALSE(view.IsPinnedToEnd());
    EXPECT_EQ(view.TopPosition(), view.SelectionStart());
    EXPECT_EQ(view.DescribeCharacter(view.CharacterUnder(QPoint(40, 2))), top);
}

TEST_F(ConsoleViewWindow, WhileANewSchemeIsIndexedTheStartAndTheIndexedPartAreThereAtOnce) {
    AddLines(0, kLines * 10);
    SetScheme(schemes[0]);
    view.FinishIndex();
    Settle();
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_PageDown);
    const std::size_t expected = view.TopPosition();
    ASSERT_GT(expected, 0u);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);

    SetScheme(schemes[0]);  // the same style again: a new index all the same
    ASSERT_TRUE(view.IsIndexing());
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_PageDown);
    Drag(view, QPoint(3, 2), QPoint(3, view.viewport()->height() - 4));
    const QString picked = view.SelectedText();
    ASSERT_TRUE(picked.startsWith("line ")) << picked.toStdString();
    // The scroll bar dragged past what is indexed goes as far as the index has got.
    QScrollBar* bar = view.verticalScrollBar();
    bar->setSliderPosition(bar->maximum() / 2);
    EXPECT_FALSE(view.DescribeCharacter(view.CharacterUnder(QPoint(40, 2))).empty());
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_TRUE(view.IsIndexing()) << "none of it waited for the index";

    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsIndexing(); }, 60000));
    const CDisplayDocument whole = WholeRender(store, schemes[0].get());
    EXPECT_EQ(view.TopPosition(), expected) << "the place in the indexed part is the same place";
    EXPECT_EQ(view.SelectionStart(), expected);
    EXPECT_EQ(view.SelectedText(), picked);
    EXPECT_EQ(CopiedText(whole.Text().substr(expected, static_cast<std::size_t>(picked.size()))),
              picked);
}

}  // namespace
}  // namespace quillpad
