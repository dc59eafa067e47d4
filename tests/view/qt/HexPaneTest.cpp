// The hex pane beside a real console view: both scroll together, a
// selection made in either covers the same bytes in the other, copy from
// each pane gives its own text, and SHIFT over the pane describes bytes.

#include "view/qt/CHexPane.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <cstdio>

#include "view/qt/CConsoleView.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

SStyleRule Rule(std::int32_t format, std::int32_t charClass = kClassAny) {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = format;
    r.CharRange_MatchValue = charClass;
    return r;
}

class HexPane : public ::testing::Test {
  protected:
    HexPane() : store(channel), view(channel, store, settings), pane(view) {
        view.resize(420, 240);
        pane.resize(pane.PreferredWidth(), 240);
        view.show();
        pane.show();
        channel.DrainPending();
    }
    void SetScheme(std::vector<SStyleRule> rules) {
        auto scheme = std::make_shared<CStyleScheme>();
        for (const SStyleRule& r : rules) {
            scheme->AppendRule(r);
        }
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0,
                     CPayload::Make(std::shared_ptr<const CStyleScheme>(scheme)));
        view.FinishIndex();
    }
    // Lets the view repaint; the pane follows it.
    void Settle() {
        channel.DrainPending();
        view.viewport()->repaint();
        QApplication::processEvents();
    }
    void AddLines(int count) {
        for (int i = 0; i < count; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "line %04d\n", i);
            store.AddIncomingBytes(0, line);
        }
    }

    CQueuedChannel channel;
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    CHexPane pane;
};

TEST_F(HexPane, FollowsTheViewAndMovesItToo) {
    AddLines(400);  // 4000 bytes, a line every 10
    Settle();
    ASSERT_TRUE(view.IsPinnedToEnd());
    const std::uint64_t rows = pane.Dump().RowCount();
    ASSERT_EQ(rows, 250u);
    EXPECT_TRUE(pane.IsPinnedToEnd());
    EXPECT_EQ(pane.TopRow(), rows - static_cast<std::uint64_t>(pane.VisibleRows()));

    // The view scrolls: the pane shows the row of the view's first byte.
    view.ScrollToPosition(2005);
    Settle();
    ASSERT_EQ(view.TopPosition(), 2000u);
    EXPECT_FALSE(pane.IsPinnedToEnd());
    EXPECT_EQ(pane.TopRow(), 2000u / 16);
    view.ScrollToPosition(0);
    Settle();
    EXPECT_EQ(pane.TopRow(), 0u);

    // The pane scrolls: the view's top line holds the pane's first byte,
    // and the pane keeps the row it chose when the view repaints.
    pane.ScrollRows(37);
    Settle();
    EXPECT_EQ(pane.TopRow(), 37u);
    EXPECT_EQ(view.TopPosition(), (37u * 16 / 10) * 10);
    pane.ScrollRows(1);
    Settle();
    EXPECT_EQ(pane.TopRow(), 38u) << "a row smaller than the view's line still moves";
    EXPECT_EQ(view.TopPosition(), (38u * 16 / 10) * 10);

    // The wheel over the pane: three rows a notch, back.
    QWheelEvent wheel(QPointF(10, 10), pane.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&pane, &wheel);
    Settle();
    EXPECT_EQ(pane.TopRow(), 35u);
    EXPECT_EQ(view.TopPosition(), (35u * 16 / 10) * 10);

    // To the end of the pane: both pinned, and new data shows in both.
    pane.ScrollToRow(rows);
    Settle();
    EXPECT_TRUE(view.IsPinnedToEnd());
    AddLines(20);
    Settle();
    EXPECT_TRUE(pane.IsPinnedToEnd());
    EXPECT_EQ(pane.TopRow(),
              pane.Dump().RowCount() - static_cast<std::uint64_t>(pane.VisibleRows()));
}

TEST_F(HexPane, ASelectionCoversTheSameBytesInBothPanes) {
    // Every byte as a bracketed name of five characters.
    SetScheme({Rule(kFormatHex)});
    store.AddIncomingBytes(0, "AB");
    store.AddOutgoingBytes(0, "CD");
    Settle();
    ASSERT_EQ(std::string(view.Document().Text()), "[41h][42h][43h][44h]");

    view.SetSelection(5, 15);  // "[42h][43h]"
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 1u);
    EXPECT_EQ(pane.SelectionEnd(), 3u);
    EXPECT_EQ(pane.SelectedHex(), "42 43");
    view.SetSelection(8, 11);  // part of B's name and part of C's
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 1u);
    EXPECT_EQ(pane.SelectionEnd(), 3u);

    pane.SetByteSelection(2, 4);
    EXPECT_EQ(view.SelectionStart(), 10u);
    EXPECT_EQ(view.SelectionEnd(), 20u);
    EXPECT_EQ(view.SelectedText(), "[43h][44h]");
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 2u) << "its own selection is not taken back";
    EXPECT_EQ(pane.SelectionEnd(), 4u);
    // Backwards, as a drag up makes it.
    pane.SetByteSelection(1, 0);
    EXPECT_EQ(view.SelectionStart(), 0u);
    EXPECT_EQ(view.SelectionEnd(), 5u);
}

TEST_F(HexPane, HiddenBytesAreSelectedWithTheTextAroundThem) {
    SetScheme({Rule(kFormatHide, kClassLow), Rule(kFormatText)});
    store.AddIncomingBytes(0,
                           "a\x01\x02"
                           "b");
    Settle();
    ASSERT_EQ(std::string(view.Document().Text()), "ab");
    view.SetSelection(0, 2);
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 0u);
    EXPECT_EQ(pane.SelectionEnd(), 4u);
    view.SetSelection(1, 2);
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 3u) << "from the byte that drew the b";
    view.SetSelection(0, 1);
    Settle();
    EXPECT_EQ(pane.SelectionStart(), 0u);
    EXPECT_EQ(pane.SelectionEnd(), 3u) << "the hidden bytes up to the b";
    // Only hidden bytes: nothing of the text.
    pane.SetByteSelection(1, 3);
    EXPECT_EQ(view.SelectionStart(), view.SelectionEnd());
    EXPECT_EQ(view.SelectionStart(), 1u);
}

TEST_F(HexPane, CopyGivesHexFromThePaneAndTextFromTheView) {
    store.AddIncomingBytes(0, "\r\n");
    store.AddOutgoingBytes(0, "> ");
    Settle();
    pane.SetByteSelection(0, 4);
    pane.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "0D 0A 3E 20");
    view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "\n\n> ");
    // Ctrl+A in the pane takes every byte.
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(pane.SelectionEnd() - pane.SelectionStart(), 4u);
}

TEST_F(HexPane, ASelectionTooLargeToCopyIsRefusedWithAMessage) {
    const std::string chunk(std::size_t{1} << 20, 'x');
    for (std::size_t i = 0; i <= CHexDump::kMaxCopyBytes >> 20; ++i) {
        store.AddIncomingBytes(0, chunk);
    }
    Settle();
    QString told;
    pane.SetNotifier([&told](const QString& text) { told = text; });
    QApplication::clipboard()->setText("before");
    pane.SetByteSelection(0, pane.Dump().Size());
    pane.Copy();
    EXPECT_TRUE(told.contains("too large")) << told.toStdString();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
}

TEST_F(HexPane, ShiftOverThePaneDescribesTheByteUnderThePointer) {
    store.AddIncomingBytes(0, "0123456789abcdef");
    store.AddOutgoingBytes(0, "reply");
    Settle();
    pane.ScrollToRow(0);
    Settle();
    ASSERT_EQ(pane.TopRow(), 0u);
    const int x =
        CHexPane::kMargin +
        static_cast<int>(CHexDump::HexColumnOf(1)) * pane.fontMetrics().horizontalAdvance('0') + 2;
    const QPoint second(x, pane.RowHeight() + 2);  // row 1, byte 1: the 'e' of "reply"
    ASSERT_EQ(pane.ByteAt(second, false), 17u);
    QMouseEvent move(QEvent::MouseMove, QPointF(second), pane.mapToGlobal(QPointF(second)),
                     Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(&pane, &move);
    CTextInfoWnd* info = view.TextInfo();
    EXPECT_TRUE(info->isVisible());
    EXPECT_TRUE(info->Text().contains("Outgoing"));
    EXPECT_TRUE(info->Text().contains("reply"));
    QMouseEvent plain(QEvent::MouseMove, QPointF(second), pane.mapToGlobal(QPointF(second)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &plain);
    EXPECT_FALSE(info->isVisible());
}

}  // namespace
}  // namespace quillpad
