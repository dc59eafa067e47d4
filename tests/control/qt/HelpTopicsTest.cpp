// Every help topic the program can ask for lands on its own section of the
// user guide: the address help opens carries an anchor that the guide in
// the source tree holds.

#include <gtest/gtest.h>
#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "control/qt/CLogFilesDialog.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "input/qt/CShortcutSetupDlg.h"
#include "nxr/qt/NxrGui.h"
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
    const std::filesystem::path root(QUILLPAD_SOURCE_DIR);
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

    const std::string guidePath = QUILLPAD_SOURCE_DIR "/docs/USER_GUIDE.md";
    const std::string guide = ReadText(guidePath);
    ASSERT_FALSE(guide.empty());
    QUrl opened;
    const auto old = NxrSetHelpOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    qputenv("QUILLPAD_DOCS_DIR", QUILLPAD_SOURCE_DIR "/docs");
    for (const int t : topics) {
        opened.clear();
        ASSERT_TRUE(NxrGUIShowHelp(nullptr, 15, t, nullptr)) << t;
        EXPECT_EQ(std::filesystem::path(opened.toLocalFile().toStdString()),
                  std::filesystem::canonical(guidePath))
            << t;
        const std::string anchor = opened.fragment().toStdString();
        ASSERT_FALSE(anchor.empty()) << t;
        const std::size_t at = guide.find("<a id=\"" + anchor + "\"></a>");
        EXPECT_NE(at, std::string::npos) << "the guide has no anchor " << anchor;
        // A section follows the anchor: a heading naming the topic.
        if (at != std::string::npos) {
            const std::size_t line = guide.find('\n', at);
            EXPECT_EQ(guide.compare(line + 1, 1, "#"), 0) << anchor;
            const std::size_t headingEnd = guide.find('\n', line + 1);
            EXPECT_NE(guide.substr(line + 1, headingEnd - line - 1).find(std::to_string(t)),
                      std::string::npos)
                << anchor;
        }
    }
    qunsetenv("QUILLPAD_DOCS_DIR");
    NxrSetHelpOpener(old);
}

}  // namespace
}  // namespace quillpad
