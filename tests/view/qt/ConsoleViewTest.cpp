#include "view/qt/CConsoleView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "styles/BuiltinSchemes.h"
#include "tests/data/LogTestSupport.h"
#include "view/qt/CSteadyScrollBar.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

// Stands in for the control: keeps what it is sent.
class CControlDouble final : public CMessageTarget {
  public:
    explicit CControlDouble(CMessageChannel& channel) : CMessageTarget(channel) {}
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_SEND_TEXT) {
            if (const auto* text = message.payload.Get<std::string>()) {
                texts.push_back(*text);
            }
        } else if (message.id == UM_SEND_CHAR) {
            chars.push_back(static_cast<char>(message.lParam));
        }
        return 0;
    }
    std::vector<std::string> texts;
    std::string chars;
};

class ConsoleView : public ::testing::Test {
  protected:
    ConsoleView() : store(channel, clock), view(channel, store, settings), control(channel) {
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        view.SetControl(control.Handle());
        view.resize(420, 240);
        view.show();
        channel.DrainPending();  // the view registers with the store
    }
    // The history in a new scheme, indexed whole: these cases read it all.
    void SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(scheme));
        view.FinishIndex();
    }
    void Add(std::string_view bytes, bool outgoing = false) {
        outgoing ? store.AddOutgoingBytes(0, bytes) : store.AddIncomingBytes(0, bytes);
    }
    std::string Shown() const { return std::string(view.Document().Text()); }
    // Lets the coalesced repaint run.
    void Settle() {
        channel.DrainPending();
        QTest::qWait(40);
    }

    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    CControlDouble control;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
};

TEST_F(ConsoleView, RegistersAtOnceAndDrawsAnnouncedRecords) {
    ASSERT_EQ(store.Views().size(), 1u);
    {
        CConsoleView second(channel, store, settings);
        EXPECT_EQ(store.Views().size(), 2u) << "registered before anything can be missed";
    }
    EXPECT_EQ(store.Views().size(), 1u) << "and gone with the view";
    Add("hello\r\n");
    Add("world");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "hello\r\nworld") << "no scheme: bytes as they came";
    EXPECT_EQ(view.Document().SequenceAt(7), 1u);
}

TEST_F(ConsoleView, SchemeChangeReplaysEverythingInTheNewStyleAndBackground) {
    Add("AB\r\n");
    channel.DrainPending();
    SetScheme(schemes[0]);  // Normal
    EXPECT_EQ(Shown(), "AB\n");
    EXPECT_EQ(view.Background(), QColor(0, 0, 0));
    Add("C");
    channel.DrainPending();
    SetScheme(schemes[2]);  // Hex Mode: the whole history again
    EXPECT_EQ(Shown(), "[41h][42h][0Dh]\r[0Ah]\n[43h]");
    const SCharFormat& f = view.Document().Format(view.Document().RunFormat(0));
    EXPECT_EQ(f.crTextColor, 0xFFFFFFu) << "incoming in white";
    EXPECT_EQ(f.FaceName(), "Courier");
}

TEST_F(ConsoleView, ClearEmptiesTheViewAndTheRunTable) {
    Add("abc");
    channel.DrainPending();
    channel.Send(view.Handle(), UM_CLEAR_DATA);
    EXPECT_EQ(view.Document().Size(), 0u);
    EXPECT_FALSE(view.Document().SequenceAt(0));
    EXPECT_EQ(view.TextInfo()->Describe(QPoint(5, 5)), "") << "no record under the mouse";
}

TEST_F(ConsoleView, ARecordQueuedDuringAReplayIsDrawnOnce) {
    SetScheme(schemes[0]);
    Add("one ");
    Add("two ");  // both notices still queued when the scheme changes
    SetScheme(schemes[0]);
    EXPECT_EQ(Shown(), "one two ");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "one two ") << "the queued notices found their records drawn";
    Add("three");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "one two three");
}

TEST_F(ConsoleView, OtherSourcesShowOnlyWhenSwitchedOn) {
    auto setA = MakeBuiltinSchemes(EBuiltinSet::A);
    SetScheme(setA[3]);  // High Performance: everything as text
    store.AddIncomingBytes(0, "mine ");
    store.AddIncomingBytes(7, "theirs ");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "mine ");
    settings.showAllSources = true;
    SetScheme(setA[3]);
    EXPECT_EQ(Shown(), "mine theirs ");
}

TEST_F(ConsoleView, StaleNoticesAfterAStoreClearAreSkipped) {
    Add("old");
    store.ClearData();  // the queued notice names a record that is gone
    Add("new");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "new");
}

TEST_F(ConsoleView, RenderTextReplacesTheTextWithTheRecordAsShown) {
    SetScheme(schemes[2]);
    std::string out = "stale";
    SDataRecord record;
    record.direction = kDirectionIncoming;
    record.source = kSourceOwn;
    record.bytes = "A";
    view.RenderText(record, out);
    EXPECT_EQ(out, "[41h]");
}

// The scheme list may drop a scheme (a rescan, the console going) while
// the view still draws with it; the view keeps its own share.
TEST_F(ConsoleView, TheSchemeLivesWhileTheViewDrawsWithIt) {
    std::shared_ptr<CStyleScheme> hex = MakeBuiltinSchemes(EBuiltinSet::B)[2];  // sole owner
    std::weak_ptr<CStyleScheme> watch = hex;
    SetScheme(std::move(hex));
    EXPECT_FALSE(watch.expired());
    Add("A");
    channel.DrainPending();
    EXPECT_EQ(Shown(), "[41h]");
    SetScheme(nullptr);
    EXPECT_TRUE(watch.expired()) << "let go once another scheme is set";
}

TEST_F(ConsoleView, CopyTakesTranslatedNamesAsDisplayed) {
    SetScheme(schemes[2]);
    Add("A\rB");
    channel.DrainPending();
    const std::string shown = Shown();
    const std::size_t cr = shown.find("[0Dh]");
    ASSERT_NE(cr, std::string::npos);
    view.SetSelection(cr, cr + 5);
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "[0Dh]");
    view.SelectAll();
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "[41h][0Dh]\n[42h]")
        << "the line break the CR made is copied as a line break";
}

TEST_F(ConsoleView, PasteGoesToTheControlNotIntoTheView) {
    QApplication::clipboard()->setText(QString::fromUtf8("hi \xc3\xa9\xe2\x82\xac"));
    view.Paste();
    channel.DrainPending();
    ASSERT_EQ(control.texts.size(), 1u);
    EXPECT_EQ(control.texts[0], "hi \xe9?") << "one byte per character, Latin-1";
    EXPECT_EQ(view.Document().Size(), 0u);
}

TEST_F(ConsoleView, EveryKeyIsOfferedToTheControlFirst) {
    std::vector<int> offered;
    view.SetKeyFilter([&](const QKeyEvent& e) {
        offered.push_back(e.key());
        return (e.modifiers() & Qt::ControlModifier) == 0;  // swallow all but Ctrl keys
    });
    Add("xyz");
    channel.DrainPending();
    QTest::keyClick(&view, Qt::Key_A);
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(view.SelectedText(), "");
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(offered,
              (std::vector<int>{Qt::Key_A, Qt::Key_Backspace, Qt::Key_Control, Qt::Key_A}));
    EXPECT_EQ(Shown(), "xyz") << "the view never edits its text";
    EXPECT_EQ(view.SelectedText(), "xyz") << "a key passed on is the view's";
}

TEST_F(ConsoleView, MouseSelectsDoubleClickTakesAWordShiftExtends) {
    SetScheme(schemes[0]);
    Add("alpha beta gamma");
    Settle();
    const int row = 5;
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(8, row));
    EXPECT_EQ(view.SelectedText(), "alpha");
    // Drag from the start of "beta" to the end of the text.
    const auto xOf = [&](std::size_t pos) {
        for (int x = 0; x < view.viewport()->width(); ++x) {
            if (view.CharacterAt(QPoint(x, row)) >= pos) {
                return x;
            }
        }
        return -1;
    };
    const int betaX = xOf(6);
    ASSERT_GT(betaX, 0);
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(betaX, row));
    QTest::mouseMove(view.viewport(), QPoint(xOf(10), row));
    QMouseEvent move(QEvent::MouseMove, QPointF(xOf(10), row),
                     view.viewport()->mapToGlobal(QPointF(xOf(10), row)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(xOf(10), row));
    EXPECT_EQ(view.SelectedText(), "beta");
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(xOf(16), row));
    EXPECT_EQ(view.SelectedText(), "beta gamma");
}

TEST_F(ConsoleView, LongLinesWrapAtTheRightEdgeAtSpaces) {
    SetScheme(schemes[0]);
    EXPECT_TRUE(view.UsesUniformAdvance()) << "the built-ins share one fixed-pitch face";
    std::string words;
    for (int i = 0; i < 40; ++i) {
        words += "word" + std::to_string(i % 10) + " ";
    }
    Add(words);
    Settle();
    // Every row starts at a word.
    const int rowHeight = QFontMetrics(QFont("Courier", 12)).height() / 2;
    std::size_t rows = 0;
    for (int y = 2; y < view.viewport()->height(); y += std::max(1, rowHeight)) {
        const std::size_t at = view.CharacterAt(QPoint(0, y));
        if (at < words.size() && at > 0) {
            EXPECT_EQ(words[at - 1], ' ') << "row starting at " << at;
            ++rows;
        }
    }
    EXPECT_GT(rows, 1u);
}

TEST_F(ConsoleView, MixedFontSizesAreMeasuredNotAssumed) {
    // Letters large and bold, everything else small: no shared advance.
    auto mixedScheme = std::make_shared<CStyleScheme>();
    CStyleScheme& mixed = *mixedScheme;
    SStyleRule big;
    big.Format_ApplyColor = true;
    big.CharRange_MatchValue = kClassMid;
    big.CharFormat.yHeight = 480;
    big.CharFormat.dwEffects = kEffectBold;
    big.CharFormat.SetFaceName("Courier");
    SStyleRule small = big;
    small.CharRange_MatchValue = kClassAny;
    small.CharFormat.yHeight = 160;
    small.CharFormat.dwEffects = 0;
    mixed.AppendRule(big);
    mixed.AppendRule(small);
    SetScheme(mixedScheme);
    std::string words;
    for (int i = 0; i < 30; ++i) {
        words += "word" + std::to_string(i % 10) + " ";
    }
    Add(words);
    Settle();
    EXPECT_FALSE(view.UsesUniformAdvance());
    // Rows are counted by where they start; every start is a word.
    std::vector<std::size_t> starts;
    for (int y = 1; y < view.viewport()->height(); ++y) {
        const std::size_t at = view.CharacterAt(QPoint(0, y));
        if (at < words.size() && (starts.empty() || at != starts.back())) {
            starts.push_back(at);
        }
    }
    ASSERT_GT(starts.size(), 2u);
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_GT(starts[i], starts[i - 1]);
        EXPECT_EQ(words[starts[i] - 1], ' ') << "row starting at " << starts[i];
    }
    // At 24 points a row holds far fewer than the 8-point rows would.
    EXPECT_LT(starts[1] - starts[0], 60u);
}

TEST_F(ConsoleView, PinnedToTheEndUntilTheUserScrollsBack) {
    SetScheme(schemes[0]);
    for (int i = 0; i < 200; ++i) {
        Add("line " + std::to_string(i) + "\r\n");
    }
    Settle();
    EXPECT_TRUE(view.IsPinnedToEnd());
    const std::size_t endTop = view.TopPosition();
    EXPECT_GT(endTop, 0u);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

    view.ScrollRows(-20);
    EXPECT_FALSE(view.IsPinnedToEnd());
    const std::size_t back = view.TopPosition();
    EXPECT_LT(back, endTop);
    for (int i = 0; i < 50; ++i) {
        Add("more\r\n");
    }
    Settle();
    EXPECT_EQ(view.TopPosition(), back) << "the user's place is kept";
    EXPECT_FALSE(view.IsPinnedToEnd());

    view.ScrollRows(1000);
    EXPECT_TRUE(view.IsPinnedToEnd()) << "reaching the end pins again";
    Add("last\r\n");
    Settle();
    EXPECT_GT(view.TopPosition(), back);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

    // Fine wheels and touchpads send steps far below a notch: they add up.
    const std::size_t lastTop = view.TopPosition();
    view.ScrollRows(-3);
    const std::size_t threeBack = view.TopPosition();
    view.ScrollToEnd();
    const auto wheel = [&](QPoint pixels, QPoint angle) {
        const QPointF at(50, 50);
        QWheelEvent event(at, view.viewport()->mapToGlobal(at), pixels, angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    };
    for (int i = 0; i < 6; ++i) {
        wheel({}, {0, 20});
    }
    EXPECT_EQ(view.TopPosition(), threeBack) << "six sixths of a notch are three rows";
    for (int i = 0; i < 6; ++i) {
        wheel({}, {0, -20});
    }
    EXPECT_TRUE(view.IsPinnedToEnd());
    for (int i = 0; i < 60; ++i) {
        wheel({0, 1}, {0, 8});
    }
    EXPECT_LT(view.TopPosition(), lastTop) << "pixels by the row's height";
}

TEST_F(ConsoleView, AFloodAtTheEndOfALongHistoryLeavesTheScrollBarAlone) {
    // The window's activation repaints it all in the active colours, when
    // the platform gets to it: that is before the count.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    SetScheme(schemes[0]);
    const std::string line = std::string(1000, 'x') + "\r\n";
    for (int i = 0; i < 3000; ++i) {
        Add(line);
    }
    const auto settleIndexed = [&] {
        Settle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsIndexing(); }, 60000));
        Settle();
    };
    settleIndexed();
    auto* bar = dynamic_cast<CSteadyScrollBar*>(view.verticalScrollBar());
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(view.IsPinnedToEnd());
    EXPECT_LE(bar->maximum(), 1 << 19) << "in units the styles place in whole pixels";
    // On a busy machine a paint may still be to come: it comes now.
    view.repaint();
    const int paints = bar->Paints();
    ASSERT_GT(paints, 0);
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 50; ++i) {
            Add(line);
        }
        Settle();
    }
    settleIndexed();
    EXPECT_EQ(bar->Paints(), paints) << "the handle stayed where it was, at the end";
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ConsoleView, OneHugeLineScrollsAndPaintsByChunks) {
    // 200 KB without a line break, as hex mode without inserted breaks gives.
    std::string line;
    for (int i = 0; line.size() < 200000; ++i) {
        line += "w" + std::to_string(i) + " ";
    }
    Add(line);
    Settle();
    EXPECT_TRUE(view.IsPinnedToEnd());
    EXPECT_GT(view.TopPosition(), line.size() - 4000) << "the end of the line is in sight";

    view.ScrollToPosition(100000);
    const std::size_t top = view.TopPosition();
    EXPECT_LE(top, 100000u);
    EXPECT_GT(top + 200, 100000u) << "the row holding the position is at the top";
    EXPECT_EQ(view.CharacterAt(QPoint(0, 2)), top);
    view.ScrollRows(-3);
    view.ScrollRows(3);
    EXPECT_EQ(view.TopPosition(), top) << "rows back and forth come to the same place";

    // A chunk edge starts a row of its own, and rows step across it.
    view.ScrollToPosition(CLineLayout::kChunk);
    EXPECT_EQ(view.TopPosition(), CLineLayout::kChunk);
    view.ScrollRows(-1);
    EXPECT_LT(view.TopPosition(), CLineLayout::kChunk);
    view.ScrollRows(1);
    EXPECT_EQ(view.TopPosition(), CLineLayout::kChunk);

    // What is painted is what is laid out: one row further down, every
    // painted row moves up by one row's height.
    const auto paint = [&] {
        QImage image(view.viewport()->size(), QImage::Format_ARGB32);
        view.viewport()->render(&image);
        return image;
    };
    const QImage before = paint();
    int rowHeight = 1;
    while (view.CharacterAt(QPoint(CConsoleView::kMargin, rowHeight)) == CLineLayout::kChunk) {
        ++rowHeight;
    }
    const int width = before.width();
    const int rows = before.height() / rowHeight;
    ASSERT_GT(rows, 2);
    for (int y = 0; y < before.height(); ++y) {
        ASSERT_EQ(before.pixelColor(0, y), view.Background()) << "the margin at " << y;
    }
    for (int row = 0; row < rows; ++row) {
        int dark = 0;
        for (int y = row * rowHeight; y < (row + 1) * rowHeight; ++y) {
            for (int x = 0; x < width; ++x) {
                dark += before.pixelColor(x, y).lightness() < 128 ? 1 : 0;
            }
        }
        EXPECT_GT(dark, 20) << "glyphs on row " << row;
    }
    view.ScrollRows(1);
    const QImage after = paint();
    EXPECT_EQ(after.copy(0, 0, width, (rows - 1) * rowHeight),
              before.copy(0, rowHeight, width, (rows - 1) * rowHeight));
    EXPECT_NE(after.copy(0, 0, width, rowHeight), before.copy(0, 0, width, rowHeight));

    view.ScrollRows(1000000);
    EXPECT_TRUE(view.IsPinnedToEnd());
}

TEST_F(ConsoleView, AppendingKeepsTheSelection) {
    Add("keep this");
    channel.DrainPending();
    view.SetSelection(5, 9);
    Add(" and more");
    channel.DrainPending();
    EXPECT_EQ(view.SelectedText(), "this");
}

TEST_F(ConsoleView, RepaintsAtMostOncePerFrame) {
    SetScheme(schemes[0]);
    Settle();
    const int before = view.PaintCount();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 2000; ++i) {
        Add("x");
        channel.DrainPending();
        QApplication::processEvents();
    }
    QTest::qWait(40);
    const int paints = view.PaintCount() - before;
    EXPECT_GE(paints, 1);
    EXPECT_LE(paints, static_cast<int>(timer.elapsed() / 16) + 2);
}

TEST_F(ConsoleView, HoverDescribesTheRecordUnderThePointerAndTheSelection) {
    SetScheme(schemes[0]);
    clock.Advance(1500);
    Add("first ");
    clock.Advance(2000);
    Add("second");
    Settle();
    CTextInfoWnd& info = *view.TextInfo();
    settings.textInfo.showAbsoluteTime = false;
    EXPECT_EQ(info.Describe(QPoint(4, 5)), " 0d 00:00:01 500ms\n Incoming\nfirst ");
    // The first character of a run counts to its own record.
    int x = 0;
    while (view.CharacterUnder(QPoint(x, 5)) < 6) {
        ++x;
    }
    EXPECT_EQ(info.Describe(QPoint(x, 5)), " 0d 00:00:03 500ms\n Incoming\nsecond");
    settings.textInfo.showRelativeTime = false;
    view.SetSelection(2, 9);
    EXPECT_EQ(info.Describe(QPoint(x, 5)), " Delta:  0d 00:00:02 000ms");

    // Shown with SHIFT, measured with the font that draws it: nothing cut.
    view.SetSelection(0, 0);
    settings.textInfo = STextInfoSwitches{};
    info.MouseMoved(QPoint(x, 5), true);
    ASSERT_TRUE(info.isVisible());
    EXPECT_GE(info.LabelFont().pointSizeF(), 9.0);
    const QFontMetrics metrics(info.LabelFont());
    for (const QString& line : info.Text().split('\n')) {
        EXPECT_LE(metrics.horizontalAdvance(line), info.contentsRect().width())
            << line.toStdString();
    }
    EXPECT_GE(info.contentsRect().height(), metrics.lineSpacing() * 4);
    const auto* label = info.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->height(), label->sizeHint().height()) << "the last line is cut";
    // SHIFT let go takes it away without a move of the mouse.
    QTest::keyRelease(&view, Qt::Key_Shift);
    EXPECT_FALSE(info.isVisible());
    info.MouseMoved(QPoint(x, 5), true);

    // Typing while it shows hides it until the mouse moves without SHIFT.
    QTest::keyClick(&info, Qt::Key_Q, Qt::NoModifier);
    channel.DrainPending();
    EXPECT_FALSE(info.isVisible());
    EXPECT_TRUE(info.IsDismissed());
    EXPECT_EQ(control.chars, "q");
    info.MouseMoved(QPoint(x, 5), true);
    EXPECT_FALSE(info.isVisible());
    info.MouseMoved(QPoint(x, 5), false);
    EXPECT_FALSE(info.IsDismissed());
    info.MouseMoved(QPoint(x, 5), true);
    EXPECT_TRUE(info.isVisible());
    info.MouseMoved(QPoint(x, 5), false);
    EXPECT_FALSE(info.isVisible());

    // A load clears the store's views: no row describes a record now gone.
    settings.textInfo.showAbsoluteTime = settings.textInfo.showRelativeTime = false;
    settings.textInfo.showDataDirection = false;
    ASSERT_EQ(info.Describe(QPoint(4, 5)), "first ");
    const std::string bytes = test::LogHeader(1700000000, 0) +
                              test::LogRecord(1, 0, 10, 0, kDirectionIncoming, 1, "loaded");
    CMemoryByteSource log(bytes);
    ASSERT_TRUE(store.LoadLog(log).accepted);
    EXPECT_NE(info.Describe(QPoint(4, 5)), "first ");
    view.Replay();
    EXPECT_EQ(info.Describe(QPoint(4, 5)), "loaded");
}

}  // namespace
}  // namespace quillpad
