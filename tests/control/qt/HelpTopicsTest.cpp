// Every help topic the program can ask for lands on its own section of the
// user guide: the address help opens carries an anchor that the guide, as
// the build renders it and the help window reads it, puts on a heading.

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "control/qt/CLogFilesDialog.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "input/qt/CShortcutSetupDlg.h"
#include "nxr/qt/NxrGui.h"
#include "tests/support/TestPaths.h"
#include "view/qt/CStyleEditorDlg.h"

namespace quillpad {
namespace {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Topics written as numbers anywhere in the program's sources: a dialog
// added later with a topic of its own is found without being listed here.
std::set<int> TopicsInSources() {
    const std::regex topic(R"((?:kHelpTopic\s*=\s*|ShowHelp\(\s*(?:nullptr,\s*15,\s*)?)(\d{4}))");
    std::set<int> topics;
    const std::filesystem::path root(quillpad::test::SourceDir());
    for (const char* folder : {"control", "input", "view", "styles", "session", "nxr", "host"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto ext = entry.path().extension();
            if (ext != ".h" && ext != ".cpp") {
                continue;
            }
            const std::string text = ReadText(entry.path());
            for (std::sregex_iterator it(text.begin(), text.end(), topic), end; it != end; ++it) {
                topics.insert(std::stoi((*it)[1]));
            }
        }
    }
    return topics;
}

TEST(HelpTopics, EveryTopicOpensTheGuideAtAnAnchorItHolds) {
    std::set<int> topics = TopicsInSources();
    const std::set<int> known = {CQuillpad2Ctrl::kHelpTopic, CLogFilesDialog::kHelpTopic,
                                 CShortcutSetupDlg::kHelpTopic, CStyleEditorDlg::kHelpTopic};
    for (const int t : known) {
        EXPECT_TRUE(topics.count(t) == 1) << "the scan misses topic " << t;
    }
    topics.insert(known.begin(), known.end());

    const QString guidePath =
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/docs/USER_GUIDE.html";
    QFile file(guidePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the build renders the guide";
    QTextDocument guide;
    guide.setHtml(QString::fromUtf8(file.readAll()));
    // Each anchor name with the heading it is on, as QTextBrowser finds it.
    std::map<std::string, QTextBlock> anchors;
    for (QTextBlock block = guide.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            for (const QString& name : it.fragment().charFormat().anchorNames()) {
                anchors.emplace(name.toStdString(), block);
            }
        }
    }
    QUrl opened;
    const auto old = NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    qputenv("QUILLPAD_DOCS_DIR", QByteArray::fromStdString(quillpad::test::BinaryDir() + "/docs"));
    for (const int t : topics) {
        opened.clear();
        ASSERT_TRUE(NxrGUIShowHelp(nullptr, 15, t, nullptr)) << t;
        EXPECT_EQ(opened.toLocalFile(), QFileInfo(guidePath).canonicalFilePath()) << t;
        const std::string anchor = opened.fragment().toStdString();
        ASSERT_FALSE(anchor.empty()) << t;
        const auto at = anchors.find(anchor);
        ASSERT_NE(at, anchors.end()) << "the guide has no anchor " << anchor;
        // The anchor is on the heading of the topic's section.
        EXPECT_GT(at->second.blockFormat().headingLevel(), 0) << anchor;
        EXPECT_TRUE(at->second.text().contains(QString::number(t)))
            << anchor << " is on \"" << at->second.text().toStdString() << '"';
    }
    qunsetenv("QUILLPAD_DOCS_DIR");
    NxrSetHelpOpener(old);
}

}  // namespace
}  // namespace quillpad
