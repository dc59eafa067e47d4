// The help window on a guide of its own making: it opens at the asked
// anchor, goes back and forward through what was shown, and finds text
// round the page. The real window, offscreen.

#include "nxr/qt/CNxrHelpWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>

#include <cstdlib>
#include <string>

#include "nxr/qt/NxrGui.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

// Two topics far down a long page, a word that occurs twice.
std::string GuideHtml() {
    std::string html = "<html><body><h1><a name=\"top\"></a>Guide</h1>";
    const auto filler = [&html] {
        for (int i = 0; i < 80; ++i) {
            html += "<p>Filler line " + std::to_string(i) + ".</p>";
        }
    };
    filler();
    html += "<h2><a name=\"topic-2001\"></a>First topic</h2><p>A needle here.</p>";
    filler();
    html += "<h2><a name=\"topic-2002\"></a>Second topic</h2><p>Another needle.</p>";
    filler();
    return html + "</body></html>";
}

class HelpWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::WriteFileBytes(docs.File("USER_GUIDE.html"), GuideHtml()));
        window.resize(600, 400);
    }
    QUrl At(const char* anchor) const {
        QUrl url = QUrl::fromLocalFile(QString::fromStdString(docs.File("USER_GUIDE.html")));
        url.setFragment(QString::fromLatin1(anchor));
        return url;
    }
    // The text of the block at the top of what the browser shows. (Read
    // without painting: Qt paints a window this size on its thread pool,
    // whose locks ThreadSanitizer cannot see.)
    QString TopLine() { return window.Browser()->cursorForPosition(QPoint(4, 4)).block().text(); }

    test::CTempDir docs;
    CNxrHelpWindow window;
};

TEST_F(HelpWindow, OpensAtTheAnchorAndGoesBackAndForward) {
    ASSERT_TRUE(window.Open(At("topic-2002")));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(TopLine(), "Second topic");
    ASSERT_TRUE(window.FindText("needle"));
    EXPECT_EQ(window.Browser()->textCursor().block().text(), "Another needle.");
    EXPECT_FALSE(window.BackButton()->isEnabled()) << "nothing shown before";

    ASSERT_TRUE(window.Open(At("topic-2001")));
    EXPECT_EQ(TopLine(), "First topic");
    // Find starts at the topic shown.
    ASSERT_TRUE(window.FindText("needle"));
    EXPECT_EQ(window.Browser()->textCursor().block().text(), "A needle here.");
    ASSERT_TRUE(window.BackButton()->isEnabled());
    EXPECT_FALSE(window.ForwardButton()->isEnabled());

    window.BackButton()->click();
    EXPECT_EQ(window.Browser()->source().fragment(), "topic-2002");
    EXPECT_EQ(TopLine(), "Second topic");
    ASSERT_TRUE(window.ForwardButton()->isEnabled());
    window.ForwardButton()->click();
    EXPECT_EQ(window.Browser()->source().fragment(), "topic-2001");
    EXPECT_EQ(TopLine(), "First topic");
}

TEST_F(HelpWindow, FindGoesRoundThePageAndSaysWhenThereIsNothing) {
    ASSERT_TRUE(window.Open(At("top")));
    const auto selectedBlock = [&] { return window.Browser()->textCursor().block().text(); };
    ASSERT_TRUE(window.FindText("needle"));
    EXPECT_EQ(selectedBlock(), "A needle here.");
    EXPECT_EQ(window.Browser()->textCursor().selectedText(), "needle");
    ASSERT_TRUE(window.FindText("needle"));
    EXPECT_EQ(selectedBlock(), "Another needle.");
    ASSERT_TRUE(window.FindText("needle")) << "past the last one, round to the first";
    EXPECT_EQ(selectedBlock(), "A needle here.");
    ASSERT_TRUE(window.FindText("needle", true)) << "backward, round to the last";
    EXPECT_EQ(selectedBlock(), "Another needle.");

    // Typed into the field: Enter finds, a miss says so and keeps the place.
    window.FindField()->setText(QStringLiteral("Second"));
    QTest::keyClick(window.FindField(), Qt::Key_Return);
    EXPECT_EQ(selectedBlock(), "Second topic");
    EXPECT_EQ(window.FindStatus(), "");
    window.FindField()->setText(QStringLiteral("haystack"));
    QTest::keyClick(window.FindField(), Qt::Key_Return);
    EXPECT_EQ(window.FindStatus(), "Not found");
    EXPECT_EQ(window.Browser()->textCursor().selectedText(), "Second");
    window.FindField()->setText(QStringLiteral("hay"));
    EXPECT_EQ(window.FindStatus(), "") << "a new text clears the old miss";
}

// F1 in a modal dialog: the window is the dialog's while it is open, so it
// takes input and stays above it, and outlives it; Escape closes it.
TEST_F(HelpWindow, FromAModalDialogItComesUpAboveItAndStaysWhenItCloses) {
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    ASSERT_TRUE(window.Open(At("topic-2001")));
    EXPECT_EQ(window.parentWidget(), &dialog);
    EXPECT_TRUE(window.isWindow() && window.isVisible());
    dialog.accept();
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_TRUE(window.isVisible()) << "hidden once the dialog closed";
    EXPECT_EQ(window.Browser()->source().fragment(), "topic-2001");
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(HelpWindow, AGuideThatCannotBeReadIsNotShown) {
    EXPECT_FALSE(window.Open(QUrl::fromLocalFile(QStringLiteral("/nonexistent/USER_GUIDE.html"))));
    EXPECT_FALSE(window.isVisible());
}

// What F1 reaches by default: one help window for the program, shown again
// at each new topic.
TEST_F(HelpWindow, HelpShowsTheProgramsOneWindowAtTheTopic) {
    qputenv("QUILLPAD_DOCS_DIR", docs.Path().c_str());
    ASSERT_TRUE(NxrGUIShowHelp(nullptr, 15, 2002, nullptr));
    CNxrHelpWindow* const shown = CNxrHelpWindow::Instance();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->Browser()->source().fragment(), "topic-2002");
    shown->close();
    ASSERT_TRUE(NxrGUIShowHelp(nullptr, 15, 2001, nullptr));
    EXPECT_EQ(CNxrHelpWindow::Instance(), shown);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->Browser()->source().fragment(), "topic-2001");
    EXPECT_FALSE(shown->testAttribute(Qt::WA_QuitOnClose));
    qunsetenv("QUILLPAD_DOCS_DIR");
    delete shown;
}

// The picture of the guide's help window (tools/take-screenshots.sh).
TEST(HelpWindowPicture, DISABLED_Screenshot) {
    const char* picture = std::getenv("QUILLPAD_SCREENSHOT");
    if (picture == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT to the picture's file";
    }
    const QString guide =
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/docs/USER_GUIDE.html";
    ASSERT_TRUE(QFileInfo::exists(guide)) << "build the docs first";
    CNxrHelpWindow window;
    window.resize(820, 560);
    QUrl url = QUrl::fromLocalFile(guide);
    url.setFragment(QStringLiteral("topic-1055"));
    ASSERT_TRUE(window.Open(url));
    window.FindField()->setText(QStringLiteral("Plain Text"));
    QTest::keyClick(window.FindField(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(picture)));
}

}  // namespace
}  // namespace quillpad
