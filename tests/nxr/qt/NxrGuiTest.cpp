#include "nxr/qt/NxrGui.h"

#include <gtest/gtest.h>

#include <QApplication>
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
    qputenv("QUILLPAD_DOCS_DIR", "/nonexistent-quillpad-docs");
    opened.clear();
    // Not found beside the test program either: the guide lives in the source tree.
    const bool found = NxrGUIShowHelp(nullptr, 15, 1007, nullptr);
    EXPECT_EQ(found, !opened.isEmpty());
    qunsetenv("QUILLPAD_DOCS_DIR");
    NxrSetHelpOpener(old);
}

}  // namespace
}  // namespace quillpad
