#include "input/qt/CHistoryPopup.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTest>

namespace quillpad {
namespace {

CCommandHistory HistoryOf(std::vector<ByteString> entries) {
    CCommandHistory history;
    history.SetEntries(std::move(entries));
    return history;
}

TEST(HistoryPopup, OpensAboveTheCaretOrAtTheTopOfTheScreen) {
    CCommandHistory history = HistoryOf({"ver", "status"});
    CHistoryPopup above(history, QPoint(120, 500));
    above.show();
    EXPECT_EQ(above.frameGeometry().bottom() + 1, 500) << "its bottom touches the caret";
    EXPECT_EQ(above.frameGeometry().left(), 120);
    EXPECT_EQ(above.List()->currentItem()->text(), "status") << "the newest is selected";
    EXPECT_EQ(above.Edit()->text(), "status");
    EXPECT_TRUE(above.List()->hasFocus());

    const int top = QGuiApplication::primaryScreen()->geometry().top();
    CHistoryPopup nearTop(history, QPoint(40, 30));
    nearTop.show();
    EXPECT_EQ(nearTop.frameGeometry().top(), top);
    EXPECT_EQ(nearTop.frameGeometry().left(), 40);

    CCommandHistory none;
    CHistoryPopup empty(none, QPoint(40, 300));
    empty.show();
    EXPECT_EQ(empty.List()->count(), 0);
    EXPECT_TRUE(empty.Edit()->text().isEmpty());
    QTest::keyClick(empty.List(), Qt::Key_Return);
    EXPECT_EQ(empty.Result(), ByteString()) << "OK with nothing chosen ends the line only";
}

TEST(HistoryPopup, TypingSearchesFromTheSecondEntryAndOtherKeysForgetThePrefix) {
    CCommandHistory history = HistoryOf({"verbose", "status", "Version", "stop"});
    CHistoryPopup popup(history, QPoint(10, 400));
    popup.show();
    QTest::keyClick(popup.List(), Qt::Key_V);
    EXPECT_EQ(popup.List()->currentRow(), 2) << "from the second entry, case-insensitive";
    EXPECT_EQ(popup.Edit()->text(), "V") << "the edit box shows the prefix";
    QTest::keyClicks(popup.List(), "erb");
    EXPECT_EQ(popup.List()->currentRow(), 0) << "wrapping round to the first";
    EXPECT_EQ(popup.SearchPrefix(), "VERB");
    QTest::keyClick(popup.List(), Qt::Key_X);  // no match: the selection stays
    EXPECT_EQ(popup.List()->currentRow(), 0);
    QTest::keyClick(popup.List(), Qt::Key_Down);
    EXPECT_TRUE(popup.SearchPrefix().isEmpty());
    EXPECT_EQ(popup.List()->currentRow(), 1) << "the list moves as usual";
    EXPECT_EQ(popup.Edit()->text(), "status");
    QTest::keyClick(popup.List(), Qt::Key_Return);
    EXPECT_EQ(popup.Result(), ByteString("status"));
}

TEST(HistoryPopup, DeleteIsForGoodAndTheEditBoxCanChangeTheLine) {
    CCommandHistory history = HistoryOf({"ver", "rm -rf", "status"});
    {
        CHistoryPopup popup(history, QPoint(10, 400));
        popup.show();
        QTest::keyClick(popup.List(), Qt::Key_Up);
        QTest::keyClick(popup.List(), Qt::Key_Delete);
        EXPECT_EQ(popup.List()->count(), 2);
        EXPECT_EQ(history.Entries(), (std::vector<ByteString>{"ver", "status"}));
        QTest::keyClick(popup.List(), Qt::Key_Escape);
        EXPECT_FALSE(popup.Result().has_value()) << "Escape sends nothing";
    }
    CHistoryPopup popup(history, QPoint(10, 400));
    popup.show();
    popup.Edit()->setFocus();
    popup.Edit()->end(false);
    popup.Edit()->insert(QString::fromLatin1(" -v \xe9"));
    QTest::keyClick(popup.Edit(), Qt::Key_Return);
    EXPECT_EQ(popup.Result(), ByteString("status -v \xe9")) << "one byte per character";
}

}  // namespace
}  // namespace quillpad
