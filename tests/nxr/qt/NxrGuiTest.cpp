#include "nxr/qt/NxrGui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include "nxr/qt/CNxrSession.h"
#include "platform/Bytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

struct SShownBox {
    QString title;
    QString text;
};

SShownBox ShowStandardErrorOf(const std::string& spec) {
    CNxrSession session;
    NxrHandle handle = 0;
    EXPECT_NE(session.Open(BytesToWide(spec), {}, &handle), 0);
    SShownBox shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = {box->windowTitle(), box->text()};
        box->accept();
    });
    NxrShowStandardError(&session, nullptr, 0);
    return shown;
}

TEST(NxrGui, StandardErrorShowsTheRequestsTextCaptionedError) {
    const SShownBox shown = ShowStandardErrorOf("modem:1");
    EXPECT_EQ(shown.title, "Error");
    EXPECT_TRUE(shown.text.startsWith("bad connection spec \"modem:1\""))
        << shown.text.toStdString();

    // The spec quotes a device's file name: its bytes read as the file
    // system writes names, not one character per byte.
    const QString name = QStringLiteral("/dev/Pr\u00FCfstand-\u03A9");
    const SShownBox named = ShowStandardErrorOf("modem:" + QFile::encodeName(name).toStdString());
    EXPECT_TRUE(named.text.contains(name)) << named.text.toStdString();
}

TEST(NxrGui, HelpOpensTheUserGuideAtTheTopic) {
    QUrl opened;
    const auto old = NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    test::CTempDir docs;
    ASSERT_TRUE(test::WriteFileBytes(docs.File("USER_GUIDE.html"), "<html></html>"));
    qputenv("QUILLPAD_DOCS_DIR", docs.Path().c_str());
    EXPECT_TRUE(NxrGUIShowHelp(nullptr, 15, 1055, nullptr));
    EXPECT_TRUE(opened.isLocalFile());
    EXPECT_EQ(opened.toLocalFile(), QDir(QString::fromStdString(docs.Path())).canonicalPath() +
                                        QStringLiteral("/USER_GUIDE.html"));
    EXPECT_EQ(opened.fragment(), "topic-1055");

    // A folder named that holds no guide: the one the build rendered into
    // its own docs/ is found from the test program's folder instead.
    qputenv("QUILLPAD_DOCS_DIR", "/nonexistent-quillpad-docs");
    opened.clear();
    const QString built =
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/docs/USER_GUIDE.html";
    if (QFileInfo::exists(built)) {
        EXPECT_TRUE(NxrGUIShowHelp(nullptr, 15, 1007, nullptr));
        EXPECT_EQ(opened.toLocalFile(), QFileInfo(built).canonicalFilePath());
        EXPECT_EQ(opened.fragment(), "topic-1007");
    }

    // The window refusing to show it is a failure, not help shown.
    NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return false;
    });
    qputenv("QUILLPAD_DOCS_DIR", docs.Path().c_str());
    opened.clear();
    EXPECT_FALSE(NxrGUIShowHelp(nullptr, 15, 1055, nullptr));
    EXPECT_EQ(opened.fragment(), "topic-1055");
    qunsetenv("QUILLPAD_DOCS_DIR");
    NxrSetHelpOpener(old);
}

}  // namespace
}  // namespace quillpad
