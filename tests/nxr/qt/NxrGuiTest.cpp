#include "nxr/qt/NxrGui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include "nxr/qt/CNxrSession.h"
#include "platform/Bytes.h"

namespace quillpad {
namespace {

TEST(NxrGui, StandardErrorShowsTheRequestsTextCaptionedError) {
    CNxrSession session;
    NxrHandle handle = 0;
    ASSERT_NE(session.Open(BytesToWide("modem:1"), {}, &handle), 0);
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    NxrShowStandardError(&session, nullptr, 0);
    EXPECT_EQ(title, "Error");
    EXPECT_TRUE(text.startsWith("bad connection spec \"modem:1\"")) << text.toStdString();
}

TEST(NxrGui, HelpOpensTheUserGuideAtTheTopic) {
    QUrl opened;
    const auto old = NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    qputenv("QUILLPAD_DOCS_DIR", QUILLPAD_SOURCE_DIR "/docs");
    EXPECT_TRUE(NxrGUIShowHelp(nullptr, 15, 1055, nullptr));
    EXPECT_TRUE(opened.isLocalFile());
    EXPECT_TRUE(opened.toLocalFile().endsWith("docs/USER_GUIDE.md"))
        << opened.toString().toStdString();
    EXPECT_EQ(opened.fragment(), "topic-1055");

    // A folder named that holds no guide: the one of the tree the program was
    // built in is found instead (make's build folders are inside the source tree).
    qputenv("QUILLPAD_DOCS_DIR", "/nonexistent-quillpad-docs");
    opened.clear();
    const QString source = QDir(QStringLiteral(QUILLPAD_SOURCE_DIR)).canonicalPath();
    if (QDir(QStringLiteral(QUILLPAD_BINARY_DIR)).canonicalPath().startsWith(source + '/')) {
        EXPECT_TRUE(NxrGUIShowHelp(nullptr, 15, 1007, nullptr));
        EXPECT_EQ(opened.toLocalFile(), source + QStringLiteral("/docs/USER_GUIDE.md"));
        EXPECT_EQ(opened.fragment(), "topic-1007");
    }

    // The desktop refusing to open it is a failure, not help shown.
    NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return false;
    });
    qputenv("QUILLPAD_DOCS_DIR", QUILLPAD_SOURCE_DIR "/docs");
    opened.clear();
    EXPECT_FALSE(NxrGUIShowHelp(nullptr, 15, 1055, nullptr));
    EXPECT_EQ(opened.fragment(), "topic-1055");
    qunsetenv("QUILLPAD_DOCS_DIR");
    NxrSetHelpOpener(old);
}

}  // namespace
}  // namespace quillpad
