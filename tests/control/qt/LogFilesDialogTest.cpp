// The Log Files dialog: its texts, the proposed names, the log folder, the
// check-box defaults and its help key.

#include "control/qt/CLogFilesDialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "platform/CRegistryStore.h"
#include "tests/data/LogTestSupport.h"

namespace quillpad {
namespace {

class LogFilesDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        settings.m_logFolder = "/logs";
    }
    std::unique_ptr<CLogFilesDialog> Make() {
        SLogFilesDialogHooks hooks;
        hooks.now = [] { return std::int64_t{1'709'647'629}; };  // 2024-03-05 14:07:09 UTC
        hooks.chooseFolder = [this](QWidget*, const std::string& start) {
            browsedFrom = start;
            return folderAnswer;
        };
        hooks.showHelp = [this](int topic) { helps.push_back(topic); };
        auto dialog = std::make_unique<CLogFilesDialog>(settings, std::move(hooks));
        dialog->show();
        return dialog;
    }
    template <class W>
    static W* Get(const CLogFilesDialog& d, int id) {
        return qobject_cast<W*>(d.Control(id));
    }
    static std::string Text(const CLogFilesDialog& d, int id) {
        return Get<QLineEdit>(d, id)->text().toStdString();
    }

    test::CZoneGuard zone{"UTC0"};
    CQuillpadSettings settings;
    std::optional<std::string> folderAnswer;
    std::string browsedFrom;
    std::vector<int> helps;
};

TEST_F(LogFilesDialog, OpensWithTheDefaultsAndNamesFilesAfterTheTimeAndQuickName) {
    settings.m_logAsPlainText = true;
    settings.m_logAsFormattedText = false;
    settings.m_logAsBinaryLog = false;
    settings.m_insertTimestampsInText = true;
    auto d = Make();
    EXPECT_EQ(d->windowTitle(), "Log Files");
    EXPECT_TRUE(Get<QCheckBox>(*d, 218)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(*d, 221)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(*d, 220)->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(*d, 219)->isChecked());
    EXPECT_EQ(Get<QCheckBox>(*d, 218)->text(), "Plain Text");
    EXPECT_EQ(Get<QCheckBox>(*d, 221)->text(), "Formatted Text");
    EXPECT_EQ(Get<QCheckBox>(*d, 220)->text(), "Workbay Log");
    EXPECT_EQ(Get<QCheckBox>(*d, 219)->text(), "Insert Timestamps in text files");
    EXPECT_EQ(Get<QPushButton>(*d, 217)->text(), "&Select Folder...");
    EXPECT_EQ(Get<QPushButton>(*d, 1)->text(), "OK");
    EXPECT_EQ(Get<QPushButton>(*d, 2)->text(), "Cancel");
    QStringList labels;
    for (const QLabel* l : d->findChildren<QLabel*>()) {
        labels << l->text();
    }
    for (const char* text :
         {"Quick Name: ", "Plain text file will be generated with no modification of data.",
          "Plain text file will be generated with data hidden/shown/translated as shown in "
          "current style.",
          "Binary file will be created which can be re-loaded offline and reformatted using "
          "style."}) {
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
    }
    EXPECT_EQ(d->focusWidget(), d->Control(210));

    EXPECT_EQ(Text(*d, 251), "/logs/2024.03.05 14.07.09 - Plain.txt");
    EXPECT_EQ(Text(*d, 211), "/logs/2024.03.05 14.07.09 - Formatted.txt");
    EXPECT_EQ(Text(*d, 212), "/logs/2024.03.05 14.07.09 - .wblog");
    QTest::keyClicks(d->Control(210), "run1");
    EXPECT_EQ(Text(*d, 251), "/logs/2024.03.05 14.07.09 - run1 - Plain.txt");
    EXPECT_EQ(Text(*d, 211), "/logs/2024.03.05 14.07.09 - run1 - Formatted.txt");
    EXPECT_EQ(Text(*d, 212), "/logs/2024.03.05 14.07.09 - run1.wblog");
}

TEST_F(LogFilesDialog, SelectFolderSetsTheLogFolderAtOnceAndCancelChangesNothing) {
    auto d = Make();
    QTest::mouseClick(Get<QPushButton>(*d, 217), Qt::LeftButton);  // cancelled
    EXPECT_EQ(browsedFrom, "/logs");
    EXPECT_EQ(settings.m_logFolder, "/logs");
    folderAnswer = "/data/captures";
    QTest::mouseClick(Get<QPushButton>(*d, 217), Qt::LeftButton);
    EXPECT_EQ(settings.m_logFolder, "/data/captures") << "before OK";
    EXPECT_EQ(Text(*d, 212), "/data/captures/2024.03.05 14.07.09 - .wblog");
    d->reject();
    EXPECT_EQ(settings.m_logFolder, "/data/captures") << "Cancel keeps the folder";
}

TEST_F(LogFilesDialog, OkMakesTheRequestAndKeepsTheBoxesAsDefaultsCancelDoesNot) {
    auto d = Make();
    Get<QCheckBox>(*d, 218)->setChecked(true);
    Get<QCheckBox>(*d, 220)->setChecked(false);
    Get<QCheckBox>(*d, 219)->setChecked(false);
    Get<QLineEdit>(*d, 251)->setText(QStringLiteral("/elsewhere/mine.txt"));
    d->reject();
    EXPECT_FALSE(d->Result());
    EXPECT_FALSE(settings.m_logAsPlainText);

    d = Make();
    Get<QCheckBox>(*d, 218)->setChecked(true);
    Get<QCheckBox>(*d, 220)->setChecked(false);
    Get<QCheckBox>(*d, 219)->setChecked(false);
    QTest::keyClicks(d->Control(210), "q");
    Get<QLineEdit>(*d, 251)->setText(QStringLiteral("/elsewhere/mine.txt"));
    QTest::mouseClick(Get<QPushButton>(*d, 1), Qt::LeftButton);
    ASSERT_TRUE(d->Result());
    const SLogRequest& r = *d->Result();
    EXPECT_EQ(r.quickName, "q");
    EXPECT_TRUE(r.plainEnabled);
    EXPECT_EQ(r.plainPath, "/elsewhere/mine.txt") << "a path edited by hand is kept";
    EXPECT_FALSE(r.formattedEnabled);
    EXPECT_FALSE(r.binaryEnabled);
    EXPECT_EQ(r.binaryPath, "/logs/2024.03.05 14.07.09 - q.wblog");
    EXPECT_FALSE(r.insertTimestamps);
    EXPECT_FALSE(r.paused);
    EXPECT_TRUE(settings.m_logAsPlainText);
    EXPECT_FALSE(settings.m_logAsFormattedText);
    EXPECT_FALSE(settings.m_logAsBinaryLog);
    EXPECT_FALSE(settings.m_insertTimestampsInText);
}

TEST_F(LogFilesDialog, F1ShowsHelpTopic1055) {
    auto d = Make();
    QTest::keyClick(d->Control(210), Qt::Key_F1);
    EXPECT_EQ(helps, std::vector<int>{1055});
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// The picture in docs/screenshots/, taken by tools/take-screenshots.sh (not a test:
// it is disabled in the suite and asserts only that the picture was written).
TEST_F(LogFilesDialog, DISABLED_Screenshot) {
    const char* file = std::getenv("QUILLPAD_SCREENSHOT");
    if (file == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT to the picture's file";
    }
    settings.m_logFolder = "/home/engineer/Workbay/Quillpad Logs";
    settings.m_logAsPlainText = true;
    auto d = Make();
    QTest::keyClicks(d->Control(210), "run1");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    QTest::qWait(200);
    EXPECT_TRUE(d->grab().save(QString::fromLocal8Bit(file)));
}

}  // namespace
}  // namespace quillpad
