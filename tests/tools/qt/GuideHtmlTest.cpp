// The guides as the build renders them for the help window: every link
// inside and between them lands on an anchor or a file that is there, and
// the renderer refuses Markdown that Qt would read as HTML.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>

#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

// A function, not a constant: the test main names the tree after statics are made.
QString Docs() {
    return QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/docs";
}

struct SPage {
    QSet<QString> anchors;
    QStringList links;   // hrefs
    QStringList images;  // sources
};

SPage Read(const QString& path) {
    SPage page;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return page;
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString& name : format.anchorNames()) {
                page.anchors.insert(name);
            }
            if (!format.anchorHref().isEmpty()) {
                page.links << format.anchorHref();
            }
            if (format.isImageFormat()) {
                page.images << format.toImageFormat().name();
            }
        }
    }
    return page;
}

TEST(GuideHtml, EveryLinkOfTheRenderedGuidesLands) {
    for (const char* name : {"USER_GUIDE.html", "CONNECTIONS.html"}) {
        SCOPED_TRACE(name);
        const SPage page = Read(Docs() + '/' + QLatin1String(name));
        ASSERT_FALSE(page.anchors.isEmpty()) << "the build renders the guide";
        for (const QString& link : page.links) {
            if (link.startsWith(QStringLiteral("http"))) {
                continue;
            }
            EXPECT_FALSE(link.contains(QStringLiteral(".md"))) << link.toStdString();
            const QString file = link.section('#', 0, 0);
            const QString fragment = link.section('#', 1);
            if (!file.isEmpty()) {
                EXPECT_TRUE(QFileInfo::exists(Docs() + '/' + file)) << link.toStdString();
            }
            if (!fragment.isEmpty()) {
                const SPage target = file.isEmpty() ? page : Read(Docs() + '/' + file);
                EXPECT_TRUE(target.anchors.contains(fragment))
                    << link.toStdString() << " names no anchor there";
            }
        }
        for (const QString& image : page.images) {
            EXPECT_TRUE(QFileInfo::exists(Docs() + '/' + image)) << image.toStdString();
        }
    }
    // The guide's own section links use GitHub's heading anchors.
    const SPage guide = Read(Docs() + QStringLiteral("/USER_GUIDE.html"));
    EXPECT_TRUE(guide.anchors.contains(QStringLiteral("logging-and-review")));
    EXPECT_TRUE(guide.anchors.contains(QStringLiteral("transfers-and-break-from-the-menus")));
    EXPECT_TRUE(guide.anchors.contains(QStringLiteral("the-log-files-dialog-topic-1055")));
}

int Render(const std::string& markdown, const QString& out, QString* errors = nullptr) {
    test::CTempDir dir;
    test::WriteFileBytes(dir.File("in.md"), markdown);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(env);
    process.start(
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/tools/quillpad-guide-html",
        {QString::fromStdString(dir.File("in.md")), out});
    process.waitForFinished(30000);
    if (errors != nullptr) {
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(GuideHtml, TheRendererPutsEveryAnchorOnItsHeadingAndRefusesStrayHtml) {
    test::CTempDir dir;
    const QString out = QString::fromStdString(dir.File("out.html"));
    ASSERT_EQ(Render("# Guide\n\nSee [B](#b-part) and [other](OTHER.md#x).\n\n"
                     "<a id=\"topic-1\"></a>\n## B part\n\ntext\n\n"
                     "```\n<a id=\"not-an-anchor\"></a>\n# not a heading\n```\n\n"
                     "## B part\n",
                     out),
              0);
    const SPage page = Read(out);
    EXPECT_TRUE(page.anchors.contains(QStringLiteral("guide")));
    EXPECT_TRUE(page.anchors.contains(QStringLiteral("b-part")));
    EXPECT_TRUE(page.anchors.contains(QStringLiteral("topic-1")));
    EXPECT_TRUE(page.anchors.contains(QStringLiteral("b-part-1"))) << "a repeated heading";
    EXPECT_FALSE(page.anchors.contains(QStringLiteral("not-an-anchor")));
    EXPECT_TRUE(page.links.contains(QStringLiteral("OTHER.html#x")));

    // A bare "<CR>" is HTML to Qt's reader, and swallows the heading below.
    QString errors;
    EXPECT_NE(Render("# Guide\n\nOutgoing <CR> to <CR><LF>.\n\n## Next\n\ntext\n", out, &errors),
              0);
    EXPECT_TRUE(errors.contains(QStringLiteral("came out empty"))) << errors.toStdString();
    // An anchor line with no heading below it names nothing.
    EXPECT_NE(Render("# Guide\n\n<a id=\"topic-2\"></a>\n", out), 0);
}

}  // namespace
}  // namespace quillpad
