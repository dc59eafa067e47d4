// "Edit Styles...": the editor on the current style, and what OK and Cancel
// leave in the console.

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "control/qt/CControlMenus.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/TempDir.h"
#include "tests/view/qt/FakeStyleEditorUi.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CStyleEditorDlg.h"

namespace quillpad {
namespace {

// The editor's choosers are answered by `editorUi`; `script` plays the user
// while the editor is open and says how it ended.
class CScriptedControlUi final : public test::CQuietControlUi {
  public:
    void ShowHelp(int topic, QWidget*) override { helps.push_back(topic); }
    std::unique_ptr<IStyleEditorUi> MakeStyleEditorUi() override {
        auto ui = std::make_unique<test::CFakeStyleEditorUi>();
        editorUi = ui.get();
        return ui;
    }
    int RunStyleEditor(CStyleEditorDlg& editor) override {
        ++runs;
        editor.show();
        QApplication::processEvents();
        script(editor, *editorUi);
        return editor.result();
    }

    std::function<void(CStyleEditorDlg&, test::CFakeStyleEditorUi&)> script;
    test::CFakeStyleEditorUi* editorUi = nullptr;
    std::vector<int> helps;
    int runs = 0;
};

std::string DataDirectory() {
    return CQuillpadSettings().m_dataDirectory;
}

template <class T>
T* Child(CStyleEditorDlg& editor, int id) {
    return editor.findChild<T*>(QStringLiteral("id%1").arg(id));
}

void Select(CStyleEditorDlg& editor, std::initializer_list<int> rows) {
    auto* list = Child<QTreeWidget>(editor, 201);
    list->clearSelection();
    for (const int row : rows) {
        list->topLevelItem(row)->setSelected(true);
    }
}

class ControlStyleEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        for (const auto& e : std::filesystem::directory_iterator(DataDirectory())) {
            std::filesystem::remove_all(e.path());
        }
    }

    void Make() {
        SControlServices services;
        services.session.factory = [this] {
            return SSessionCreation{std::make_unique<test::CFakeSession>(log), {}};
        };
        services.session.ui = std::make_unique<test::CRecordingUi>(shown);
        services.session.deferred = std::make_unique<test::CManualDeferredCalls>(deferred);
        auto ui = std::make_unique<CScriptedControlUi>();
        controlUi = ui.get();
        services.ui = std::move(ui);
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->resize(400, 200);
        control->show();
        QApplication::processEvents();
    }
    // Once the view has indexed what it shows: until then it gives the part indexed.
    std::string ViewText() const {
        for (int turns = 0; control->View()->IsIndexing() && turns < 10'000; ++turns) {
            QApplication::processEvents();
        }
        return std::string(control->View()->Document().Text());
    }
    std::vector<std::string> MenuTexts() {
        std::vector<std::string> texts;
        for (QAction* a : control->Menus().StylePopup()->actions()) {
            texts.push_back(a->text().toStdString());
        }
        return texts;
    }

    std::shared_ptr<std::vector<test::SSessionCall>> log =
        std::make_shared<std::vector<test::SSessionCall>>();
    std::shared_ptr<std::vector<test::SShownBox>> shown =
        std::make_shared<std::vector<test::SShownBox>>();
    std::shared_ptr<std::vector<std::pair<std::uint32_t, std::function<void()>>>> deferred =
        std::make_shared<std::vector<std::pair<std::uint32_t, std::function<void()>>>>();
    CScriptedControlUi* controlUi = nullptr;
    std::unique_ptr<CQuillpad2Ctrl> control;
};

TEST_F(ControlStyleEditor, CopyFromABuiltinIntoANewFileMakesAStyleOnTheMenu) {
    Make();
    ASSERT_EQ(control->Schemes().Current()->Name, "Normal");
    const auto builtin = control->Schemes().Current();
    const std::string path = DataDirectory() + "/Mine.tss";
    std::size_t questions = 99;
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi& ui) {
        Select(editor, {1, 2});
        editor.CopyRules();
        ui.file = QString::fromStdString(path);
        Child<QPushButton>(editor, 247)->click();
        editor.PasteRules();
        Child<QLineEdit>(editor, 214)->setText(QStringLiteral("Mine"));
        Child<QPushButton>(editor, 1)->click();
        questions = ui.questions.size();
    };
    control->OnCommand(cmd::EditStyles);
    ASSERT_EQ(controlUi->runs, 1);
    EXPECT_EQ(questions, 0u) << "the data folder needs no question";

    CStyleScheme saved;
    ASSERT_TRUE(saved.Load(path, false));
    EXPECT_EQ(saved.Name, "Mine");
    ASSERT_EQ(saved.RuleCount(), 2u);
    EXPECT_EQ(saved.Rule(0), builtin->Rule(1));
    EXPECT_EQ(saved.Rule(1), builtin->Rule(2));
    EXPECT_EQ(control->Schemes().Current()->GetPath(), path);
    EXPECT_EQ(control->Settings().m_defaultSchemeName, "Mine");
    const std::vector<std::string> menu = MenuTexts();
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu.back(), "Mine");
    EXPECT_EQ(control->Schemes().CheckedCommand(), control->Schemes().Current()->MenuCommand);
    QApplication::processEvents();
    EXPECT_EQ(control->View()->Scheme(), control->Schemes().Current().get());
}

TEST_F(ControlStyleEditor, BrowsingToAListedFileReplacesItsEntry) {
    {
        CStyleScheme file;
        ASSERT_TRUE(file.Load(DataDirectory() + "/Mine.tss", true));
        file.Name = "Mine";
        ASSERT_TRUE(file.Save());
    }
    Make();
    const std::size_t count = control->Schemes().Schemes().size();
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi& ui) {
        ui.file = QString::fromStdString(DataDirectory() + "/Mine.tss");
        Child<QPushButton>(editor, 247)->click();
        Child<QPushButton>(editor, 241)->click();  // Add
        Child<QPushButton>(editor, 1)->click();
    };
    control->OnCommand(cmd::EditStyles);
    EXPECT_EQ(control->Schemes().Schemes().size(), count);
    const std::vector<std::string> menu = MenuTexts();
    EXPECT_EQ(std::count(menu.begin(), menu.end(), "Mine"), 1);
    ASSERT_EQ(control->Schemes().Current()->Name, "Mine");
    EXPECT_EQ(control->Schemes().Current()->RuleCount(), 1u);
}

TEST_F(ControlStyleEditor, OkOnABuiltinWritesNoFileButTheConsoleShowsTheChange) {
    Make();
    control->Store()->AddIncomingBytes(0, "AB\r\n");
    QApplication::processEvents();
    EXPECT_EQ(ViewText(), "AB\n");
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi&) {
        Select(editor, {3});  // "All Other": font only
        Child<QAbstractButton>(editor, 233)->click();
        Child<QAbstractButton>(editor, 223)->click();  // Hex
        Child<QLineEdit>(editor, 214)->setText(QStringLiteral("Normal, edited"));
        Child<QPushButton>(editor, 1)->click();
    };
    control->OnCommand(cmd::EditStyles);
    QApplication::processEvents();
    for (const auto& e : std::filesystem::directory_iterator(DataDirectory())) {
        EXPECT_NE(e.path().extension(), ".tss") << "a default style writes no file";
    }
    EXPECT_EQ(ViewText(), "[41h][42h]\n");
    EXPECT_EQ(MenuTexts().front(), "Normal, edited");
    // The default style follows the new name, so the next console finds it.
    EXPECT_EQ(control->Settings().m_defaultSchemeName, "Normal, edited");
}

TEST_F(ControlStyleEditor, CancelKeepsTheChangeUnsavedAndUnshownAndDropsABrowsedStyle) {
    Make();
    control->Store()->AddIncomingBytes(0, "AB\r\n");
    QApplication::processEvents();
    const auto current = control->Schemes().Current();
    const std::size_t styles = control->Schemes().Schemes().size();
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi& ui) {
        Select(editor, {3});
        Child<QAbstractButton>(editor, 233)->click();
        Child<QAbstractButton>(editor, 223)->click();
        ui.file = QString::fromStdString(DataDirectory() + "/Other.tss");
        Child<QPushButton>(editor, 247)->click();
        Child<QPushButton>(editor, 2)->click();
    };
    control->OnCommand(cmd::EditStyles);
    QApplication::processEvents();
    EXPECT_EQ(control->Schemes().Current(), current);
    EXPECT_EQ(control->Schemes().Schemes().size(), styles);
    EXPECT_TRUE(current->Rule(3).Format_ApplyFormat) << "kept in memory";
    EXPECT_EQ(ViewText(), "AB\n") << "not re-rendered";
    EXPECT_EQ(control->Settings().m_defaultSchemeName, "Normal");
}

TEST_F(ControlStyleEditor, ChangedCustomValuesShowAfterOkWithoutAReload) {
    {
        CStyleScheme file;
        ASSERT_TRUE(file.Load(DataDirectory() + "/Custom.tss", true));
        file.Name = "Custom";
        SStyleRule rule;
        rule.SetName("Named");
        rule.CharRange_MatchValue = kClassCustom;
        rule.SetCustomValues("41");
        rule.Format_ApplyFormat = true;
        rule.Format_CharacterFormat = kFormatHexTranslated;
        file.AppendRule(rule);
        ASSERT_TRUE(file.Save());
    }
    CQuillpadSettings settings;
    settings.m_defaultSchemeName = "Custom";
    settings.SaveToRegistry();
    Make();
    ASSERT_EQ(control->Schemes().Current()->Name, "Custom");
    control->Store()->AddIncomingBytes(0, "AB");
    QApplication::processEvents();
    EXPECT_EQ(ViewText(), "[41h]B");
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi&) {
        Child<QLineEdit>(editor, 238)->setText(QStringLiteral("42"));
        Child<QPushButton>(editor, 1)->click();
    };
    control->OnCommand(cmd::EditStyles);
    QApplication::processEvents();
    EXPECT_EQ(ViewText(), "A[42h]");
    CStyleScheme saved;
    ASSERT_TRUE(saved.Load(DataDirectory() + "/Custom.tss", false));
    EXPECT_EQ(*saved.Rule(0).CharRange_CustomValues, "42");
}

TEST_F(ControlStyleEditor, WithoutACurrentStyleTheEditorDoesNotOpen) {
    CQuillpadSettings settings;
    settings.m_defaultSchemeName = "Nobody's";
    settings.SaveToRegistry();
    Make();
    ASSERT_EQ(control->Schemes().Current(), nullptr);
    control->OnCommand(cmd::EditStyles);
    EXPECT_EQ(controlUi->runs, 0);
    EXPECT_EQ(control->LastStatusText(), "Select a style to edit first.");
}

TEST_F(ControlStyleEditor, TheEditorAsksTheMakersHelpThroughTheControl) {
    Make();
    controlUi->script = [&](CStyleEditorDlg& editor, test::CFakeStyleEditorUi&) {
        editor.reject();
    };
    control->OnCommand(cmd::EditStyles);
    // The real editor ui hands help to the control's ShowHelp.
    const auto ui = controlUi->IControlUi::MakeStyleEditorUi();
    ui->ShowHelp(CStyleEditorDlg::kHelpTopic, control.get());
    EXPECT_EQ(controlUi->helps, std::vector<int>{1054});
}

}  // namespace
}  // namespace quillpad
