#include "input/qt/CShortcutSetupDlg.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

class CAnsweringUi final : public IShortcutSetupUi {
  public:
    std::optional<std::string> ChooseKeySetFile(const std::string& folder, QWidget*) override {
        folders.push_back(folder);
        return chosen;
    }
    bool ConfirmOutsideDataDirectory(QWidget*) override {
        ++questions;
        return answer;
    }
    std::optional<std::string> chosen;
    bool answer = false;
    int questions = 0;
    std::vector<std::string> folders;
};

class ShortcutSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        data = dir.File("Quillpad Data");
        std::filesystem::create_directory(data);
        path = data + "/My Keys.keyset";
        ASSERT_TRUE(test::WriteFileBytes(
            path, "[Shortcuts]\r\nF1=help\r\nF3=@DevInfo\r\nF3_Name=Device\r\nF9=\r\n"));
        ASSERT_TRUE(keySet.LoadFile(path, false, true));
    }
    int RowOf(const char* label) const {
        const auto found = dialog->List()->findItems(QString::fromLatin1(label), Qt::MatchExactly);
        return found.isEmpty() ? -1 : dialog->List()->indexOfTopLevelItem(found.front());
    }
    QTreeWidgetItem* Row(const char* label) const {
        return dialog->List()->topLevelItem(RowOf(label));
    }
    void Open() {
        dialog = std::make_unique<CShortcutSetupDlg>(data, keySet, ui);
        dialog->show();
    }

    test::CTempDir dir;
    std::string data;
    std::string path;
    CKeySet keySet;
    CAnsweringUi ui;
    std::unique_ptr<CShortcutSetupDlg> dialog;
};

TEST_F(ShortcutSetup, ShowsEveryRowAndWritesThemAllAtOk) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Shortcut Setup");
    ASSERT_EQ(dialog->List()->topLevelItemCount(), 21);
    EXPECT_EQ(dialog->List()->topLevelItem(0)->text(0), "Ctrl+F1");
    EXPECT_EQ(Row("F3")->text(1), "@DevInfo");
    EXPECT_EQ(Row("F3")->text(2), "Device");
    EXPECT_EQ(Row("F4")->text(1), "&QbusMasterReportDevices 0,true") << "missing: its default";
    EXPECT_EQ(Row("F9")->text(1), "") << "present but empty: empty";
    EXPECT_EQ(dialog->FileNameBox()->text().toStdString(), path);
    EXPECT_FALSE(dialog->SequenceBox()->isEnabled());
    const int width = dialog->List()->width();
    EXPECT_EQ(dialog->List()->columnWidth(0), width * 18 / 100);
    EXPECT_EQ(dialog->List()->columnWidth(1), width * 58 / 100);
    EXPECT_EQ(dialog->List()->columnWidth(2), width * 20 / 100);
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(
        texts.contains("\t\\xNN  = NN is a 2-digit hexadecimal number.\n\t\\r =  Carriage "
                       "Return.\n\t\\n =New Line (CR-LF).\n\t\\\\ = Backslash character ."));
    EXPECT_TRUE(texts.contains(
        "\t &Ability = Activates the ability.\n\t@AbilityGroup = Shows the group dialog."));

    // A row's macro typed into the box is stored as typed: backslash and r.
    Row("Ctrl+F3")->setSelected(true);
    EXPECT_TRUE(dialog->SequenceBox()->isEnabled());
    QTest::keyClicks(dialog->SequenceBox(), "ver\\r");
    QTest::keyClicks(dialog->DescriptionBox(), "Version");
    EXPECT_EQ(Row("Ctrl+F3")->text(1), "ver\\r");
    dialog->accept();
    EXPECT_EQ(keySet.Macro("CTRL_F3"), "ver\\r");
    EXPECT_EQ(keySet.Description("CTRL_F3"), "Version");
    EXPECT_EQ(keySet.Macro("F1"), "help") << "a key the table does not know stays";
    const SIniSection* section = keySet.FindOrCreateSection("Shortcuts");
    EXPECT_EQ(section->EntryCount(), 1u + 21u * 2u) << "every row written, F2 and F2_Name too";
    EXPECT_EQ(keySet.ReadString("Shortcuts", "F2_Name", "missing"), "");
}

TEST_F(ShortcutSetup, AnEscapeThatIsNotSentAsItSeemsIsNotedUnderTheBox) {
    keySet.WriteString("Shortcuts", "F5", "go\\{wait:99999}");
    Open();
    QLabel* note = dialog->EscapeNote();
    Row("F5")->setSelected(true);
    EXPECT_EQ(note->text(),
              "\"\\{wait:99999}\" waits longer than 10000 ms: the macro is not sent.");
    EXPECT_FALSE(note->isHidden());
    dialog->SequenceBox()->clear();
    EXPECT_TRUE(note->isHidden());
    QTest::keyClicks(dialog->SequenceBox(), "\\xZZ\\");
    EXPECT_EQ(note->text(),
              "\"\\x\" is not a complete escape: it is sent as written.\n"
              "\"\\\" at the end is not a complete escape: it is sent as written.");
    EXPECT_EQ(Row("F5")->text(1), "\\xZZ\\") << "kept as typed";
    dialog->SequenceBox()->setText("&Ability\\x");
    EXPECT_TRUE(note->isHidden()) << "an ability's text is no byte macro";
}

TEST_F(ShortcutSetup, SetDefaultsResetsEveryRowButNotTheKeySet) {
    Open();
    Row("F3")->setSelected(true);
    dialog->SetDefaults();
    EXPECT_EQ(Row("F3")->text(1), "@DevInfo");
    EXPECT_EQ(Row("F3")->text(2), "") << "descriptions go";
    EXPECT_EQ(Row("F9")->text(1), "");
    EXPECT_EQ(Row("F4")->text(1), "&QbusMasterReportDevices 0,true");
    EXPECT_TRUE(dialog->SequenceBox()->text().isEmpty());
    EXPECT_FALSE(dialog->SequenceBox()->isEnabled());
    EXPECT_FALSE(dialog->DescriptionBox()->isEnabled());
    EXPECT_EQ(keySet.Description("F3"), "Device") << "untouched until OK";
    dialog->reject();
    EXPECT_EQ(keySet.Description("F3"), "Device") << "Cancel writes nothing";
}

TEST_F(ShortcutSetup, BrowseReplacesTheKeySetAtOnce) {
    Open();
    // A new name in the data directory: made, filled with the defaults.
    Row("F3")->setSelected(true);
    QTest::keyClicks(dialog->DescriptionBox(), " edited");
    ui.chosen = data + "/Bench.keyset";
    dialog->Browse();
    EXPECT_EQ(ui.folders, std::vector<std::string>{data});
    EXPECT_EQ(ui.questions, 0);
    EXPECT_TRUE(std::filesystem::exists(*ui.chosen));
    EXPECT_EQ(keySet.GetPath(), *ui.chosen);
    EXPECT_EQ(dialog->FileNameBox()->text().toStdString(), *ui.chosen);
    EXPECT_EQ(Row("F5")->text(1), "@Firmware");
    EXPECT_EQ(Row("F3")->text(2), "");

    // Another folder asks first; No keeps the key set but drops list edits.
    Row("F5")->setSelected(true);
    QTest::keyClicks(dialog->DescriptionBox(), "lost");
    ui.chosen = dir.File("elsewhere.keyset");
    dialog->Browse();
    EXPECT_EQ(ui.questions, 1);
    EXPECT_EQ(keySet.GetPath(), data + "/Bench.keyset");
    EXPECT_FALSE(std::filesystem::exists(*ui.chosen));
    EXPECT_EQ(Row("F5")->text(2), "");
    // Yes takes it; a cancelled chooser changes nothing.
    ui.answer = true;
    dialog->Browse();
    EXPECT_EQ(keySet.GetPath(), *ui.chosen);
    ui.chosen.reset();
    dialog->Browse();
    EXPECT_EQ(keySet.GetPath(), dir.File("elsewhere.keyset"));

    // A file that cannot be made leaves an empty key set without a path.
    ui.chosen = data + "/no/such/folder/x.keyset";
    dialog->Browse();
    EXPECT_TRUE(keySet.GetPath().empty());
    EXPECT_TRUE(dialog->FileNameBox()->text().isEmpty());
    EXPECT_EQ(Row("F7")->text(1), "@Program");
}

TEST_F(ShortcutSetup, F1AsksForItsHelpTopic) {
    Open();
    QSignalSpy help(dialog.get(), &CShortcutSetupDlg::HelpRequested);
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help.front().front().toInt(), 1038);
}

}  // namespace
}  // namespace quillpad
