// quillpad-guide-html IN.md OUT.html
// Renders a guide from docs/ to the HTML the help window shows, with Qt's
// own Markdown reader, so that what the browser shows is what Qt parsed.
// Every heading gets the anchor its Markdown links use (GitHub's rule), plus
// the "topic-NNNN" anchor written on the line before it; links to another
// guide's .md go to its .html.

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtGlobal>

#include <cstdio>

namespace {

// GitHub's heading anchor: lower case, punctuation dropped, blanks to "-".
QString Slug(const QString& heading) {
    QString slug;
    for (const QChar c : heading.toLower()) {
        if (c.isLetterOrNumber() || c == '-' || c == '_') {
            slug += c;
        } else if (c == ' ') {
            slug += '-';
        }
    }
    return slug;
}

// A .md target becomes the .html the build renders beside it.
QString HtmlTarget(const QString& href) {
    static const QRegularExpression md(QStringLiteral(R"(^([^:#]+)\.md(#.*)?$)"));
    const auto match = md.match(href);
    return match.hasMatch() ? match.captured(1) + QStringLiteral(".html") + match.captured(2)
                            : href;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: quillpad-guide-html IN.md OUT.html\n", stderr);
        return 1;
    }
    // Fonts need a GUI application; no display is needed to lay out text.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QFile in(QFile::decodeName(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quillpad-guide-html: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString source = QString::fromUtf8(in.readAll());

    // The "<a id>" lines name the heading below them; Qt would keep them as
    // empty paragraphs, so they are taken out and put on the heading itself.
    static const QRegularExpression anchorLine(QStringLiteral(R"re(^<a id="([^"]+)"></a>\s*$)re"));
    static const QRegularExpression atxHeading(QStringLiteral(R"(^#{1,6}\s)"));
    QStringList lines = source.split('\n');
    QList<QStringList> headingIds;  // ids for the n-th heading, in order
    QStringList pending;
    QStringList kept;
    bool fenced = false;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("```"))) {
            fenced = !fenced;
        }
        if (!fenced) {
            if (const auto m = anchorLine.match(line); m.hasMatch()) {
                pending << m.captured(1);
                continue;
            }
            if (atxHeading.match(line).hasMatch()) {
                headingIds << pending;
                pending.clear();
            }
        }
        kept << line;
    }

    QTextDocument document;
    document.setMarkdown(kept.join('\n'), QTextDocument::MarkdownDialectGitHub);
    int heading = 0;
    QStringList slugs;
    QHash<QString, QStringList> extraIds;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        // Links first: a heading's anchor must not be mistaken for one.
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                const QString target = HtmlTarget(format.anchorHref());
                if (target != format.anchorHref()) {
                    QTextCursor cursor(&document);
                    cursor.setPosition(fragment.position());
                    cursor.setPosition(fragment.position() + fragment.length(),
                                       QTextCursor::KeepAnchor);
                    format.setAnchorHref(target);
                    cursor.setCharFormat(format);
                }
            }
        }
        if (block.blockFormat().headingLevel() == 0) {
            continue;
        }
        if (block.text().isEmpty()) {
            // Qt's reader took something before it for HTML, say a bare "<CR>".
            std::fprintf(stderr, "quillpad-guide-html: %s: heading %d came out empty\n", argv[1],
                         heading + 1);
            return 1;
        }
        // A repeated heading's anchor gets "-1", "-2", ... as on GitHub.
        const QString base = Slug(block.text());
        QString slug = base;
        for (int n = 1; slugs.contains(slug); ++n) {
            slug = base + '-' + QString::number(n);
        }
        slugs << slug;
        if (heading < headingIds.size()) {
            extraIds.insert(slug, headingIds[heading]);
        }
        ++heading;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setAnchor(true);
        format.setAnchorNames({slug});
        cursor.mergeCharFormat(format);
    }
    if (heading != headingIds.size() || !pending.isEmpty()) {
        std::fprintf(stderr, "quillpad-guide-html: %s: an anchor line with no heading below it\n",
                     argv[1]);
        return 1;
    }
    const QTextBlock first = document.begin();
    document.setMetaInformation(QTextDocument::DocumentTitle, first.text());

    // Qt writes one name per anchor; the others go before it as empty
    // anchors, which a QTextBrowser joins to the text that follows.
    QString html = document.toHtml();
    for (auto it = extraIds.cbegin(); it != extraIds.cend(); ++it) {
        const QString own = QStringLiteral("<a name=\"%1\"></a>").arg(it.key());
        QString all;
        for (const QString& id : it.value()) {
            all += QStringLiteral("<a name=\"%1\"></a>").arg(id.toHtmlEscaped());
        }
        html.replace(own, all + own);
    }

    QFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(html.toUtf8()) < 0 ||
        !out.flush()) {
        std::fprintf(stderr, "quillpad-guide-html: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
