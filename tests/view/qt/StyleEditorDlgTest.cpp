// The style editor: its controls, every button and field, the rule
// clipboard, OK and Cancel, and the preview of the console's last lines.

#include "view/qt/CStyleEditorDlg.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "data/DataStore.h"
#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"
#include "tests/view/qt/FakeStyleEditorUi.h"
#include "view/PatternRules.h"
#include "view/qt/CDocumentPreview.h"

namespace quillpad {
namespace {

SStyleRule MakeRule(const std::string& name, int direction, int charClass, int code,
                    std::uint32_t colour) {
    SStyleRule r;
    r.SetName(name);
    r.Direction_MatchValue = direction;
    r.CharRange_MatchValue = charClass;
    r.Format_ApplyColor = true;
    r.CharFormat.crTextColor = colour;
    r.CharFormat.yHeight = 240;
    r.CharFormat.bPitchAndFamily = 49;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = code;
    return r;
}

// Five rules, written by the program itself to `path`.
std::shared_ptr<CStyleScheme> FiveRuleFile(const std::string& path) {
    auto scheme = std::make_shared<CStyleScheme>();
    EXPECT_TRUE(scheme->Load(path, true));
    scheme->Name = "Five";
    scheme->BackgroundColor = 0;
    scheme->AppendRule(MakeRule("Incoming", 1, 0, 1, 255));
    SStyleRule ends = MakeRule("Line ends", 0, 4, 3, 65535);
    ends.SetCustomValues("0D,0A");
    scheme->AppendRule(ends);
    scheme->AppendRule(MakeRule("High", 0, 3, 2, 255));
    SStyleRule outgoing = MakeRule("Outgoing", 2, 0, 2, 16776960);
    outgoing.Format_InsertCRLFIfTranslated = true;
    scheme->AppendRule(outgoing);
    scheme->AppendRule(MakeRule("Rest", 0, 0, 1, 16777215));
    EXPECT_TRUE(scheme->Save());
    auto loaded = std::make_shared<CStyleScheme>();
    EXPECT_TRUE(loaded->Load(path, false));
    return loaded;
}

std::shared_ptr<CStyleScheme> Builtin(const std::string& name) {
    for (auto& scheme : MakeBuiltinSchemes(EBuiltinSet::A)) {
        if (scheme->Name == name) {
            return scheme;
        }
    }
    return nullptr;
}

class StyleEditorDlg : public ::testing::Test {
  protected:
    void Open(std::shared_ptr<CStyleScheme> scheme, bool showDataSource = true) {
        dlg = std::make_unique<CStyleEditorDlg>(dir.Path(), ui);
        dlg->SetScheme(std::move(scheme));
        dlg->SetShowDataSource(showDataSource);
        dlg->SetPreviewSource(&store, true);
        dlg->show();
        QApplication::processEvents();
    }
    template <class T>
    T* Child(int id) const {
        T* child = dlg->findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(child, nullptr) << id;
        return child;
    }
    QTreeWidget* List() const { return Child<QTreeWidget>(201); }
    void Click(int id) { Child<QAbstractButton>(id)->click(); }
    void Select(std::initializer_list<int> rows) {
        List()->clearSelection();
        for (const int row : rows) {
            List()->topLevelItem(row)->setSelected(true);
        }
    }
    std::vector<std::string> RuleNames() const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < dlg->Scheme()->RuleCount(); ++i) {
            names.push_back(dlg->Scheme()->Rule(i).Name);
        }
        return names;
    }
    std::vector<std::string> ListNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            names.push_back(List()->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            if (List()->topLevelItem(i)->isSelected()) {
                rows.push_back(i);
            }
        }
        return rows;
    }

    test::CTempDir dir;
    test::CFakeStyleEditorUi ui;
    CQueuedChannel channel;
    CDataStore store{channel};
    std::unique_ptr<CStyleEditorDlg> dlg;
};

TEST_F(StyleEditorDlg, OpensOnADefaultStyleWithItsWarningAndEveryControl) {
    auto scheme = Builtin("Normal");
    Open(scheme, false);
    EXPECT_EQ(dlg->windowTitle(), "Style Editor");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Warning");
    EXPECT_EQ(ui.messages[0].text,
              "This is a default style. Any changes made will not be saved outside of this "
              "session.\n\nTo create a new style, browse to a new file in the data directory. You "
              "can copy rules from this style and paste them in your new style using the right "
              "click menu in the rule list.");
    const std::vector<std::pair<int, const char*>> texts = {
        {237, "Move Up"},
        {240, "Move Down"},
        {241, "Add"},
        {242, "Remove"},
        {247, "Browse"},
        {252, "Background Color..."},
        {218, "Wrap long lines"},
        {202, "Incoming Data"},
        {203, "Outgoing Data"},
        {204, "Both"},
        {232, "Apply Font"},
        {246, "Font..."},
        {217, "Font Color..."},
        {233, "Apply Format"},
        {222, "ASCII"},
        {225, "Hide"},
        {224, "Hex (Translated)"},
        {223, "Hex"},
        {234, "Always Interpret LF,CR,BS,TB"},
        {235, "Insert real LF,CR if translated"},
        {207, "All"},
        {205, "Low (00-1F)"},
        {206, "Mid (20-7E)"},
        {208, "High (7F-FF)"},
        {209, "Other:"},
        {211, "All"},
        {212, "Quillpad(s)"},
        {213, "External Source"},
        {260, "Marks"},
        {1, "OK"},
        {2, "Cancel"}};
    for (const auto& [id, text] : texts) {
        EXPECT_EQ(Child<QAbstractButton>(id)->text().toStdString(), text) << id;
    }
    EXPECT_EQ(List()->headerItem()->text(0), "Rule Name");
    EXPECT_EQ(Child<CDocumentPreview>(244)->Document().Text(), "Sample");
    EXPECT_TRUE(Child<QLineEdit>(248)->isReadOnly());
    EXPECT_EQ(Child<QLineEdit>(248)->text(), "");
    EXPECT_EQ(Child<QLineEdit>(214)->text(), "Normal");
    // Hidden controls stay hidden; the data source group follows its switch.
    EXPECT_FALSE(Child<QCheckBox>(218)->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(231)->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(231)->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(216)->isVisible());
    EXPECT_FALSE(Child<QRadioButton>(211)->isVisible());
    EXPECT_FALSE(Child<QLabel>(253)->isVisible());

    // The first rule is selected and shown: "Hide My Outgoing(Local Echo)",
    // outgoing, own source, format hide, font flag clear.
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(Child<QLineEdit>(243)->text(), "Hide My Outgoing(Local Echo)");
    EXPECT_TRUE(Child<QRadioButton>(203)->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(207)->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(212)->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(225)->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(232)->isChecked());
    EXPECT_FALSE(Child<QPushButton>(246)->isEnabled()) << "font buttons follow Apply Font";
    EXPECT_FALSE(Child<QPushButton>(217)->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(222)->isEnabled()) << "format controls follow Apply Format";

    auto withSource = Builtin("Normal");
    dlg.reset();
    Open(withSource, true);
    EXPECT_TRUE(Child<QRadioButton>(211)->isVisible());
    EXPECT_TRUE(Child<QLabel>(253)->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(218)->isVisible());
}

TEST_F(StyleEditorDlg, RemoveTakesEverySelectedRuleAndTheDeleteKeyDoesTheSame) {
    Open(FiveRuleFile(dir.File("five.tss")));
    Select({1, 2});
    Click(242);
    EXPECT_EQ(RuleNames(), (std::vector<std::string>{"Incoming", "Outgoing", "Rest"}));
    EXPECT_EQ(ListNames(), RuleNames());
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_EQ(Child<QLineEdit>(243)->text(), "") << "the placeholder is shown";

    Select({0});
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(List(), &del);
    EXPECT_TRUE(del.isAccepted());
    EXPECT_EQ(RuleNames(), (std::vector<std::string>{"Outgoing", "Rest"}));
}

TEST_F(StyleEditorDlg, AddCopiesTheSelectedRuleDeeplyOrMakesAnInertOne) {
    auto scheme = std::make_shared<CStyleScheme>();
    scheme->Name = "Mine";
    SStyleRule custom = MakeRule("Custom", 1, 4, 3, 255);
    custom.SetCustomValues("0D");
    custom.RegEx_Match = true;
    custom.RegEx_MatchValue = "x+";
    scheme->AppendRule(custom);
    Open(scheme);
    List()->clearSelection();
    Click(241);
    ASSERT_EQ(scheme->RuleCount(), 2u);
    const SStyleRule& inert = scheme->Rule(1);
    EXPECT_EQ(inert.Name, "New rule");
    EXPECT_FALSE(inert.Format_ApplyColor);
    EXPECT_FALSE(inert.Format_ApplyFormat);
    for (unsigned b = 0; b < 256; ++b) {
        ASSERT_TRUE(inert.Matches(static_cast<std::uint8_t>(b), 1, 1)) << b;
    }
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_EQ(Child<QLineEdit>(243)->text(), "New rule");

    Select({0});
    Click(241);
    ASSERT_EQ(scheme->RuleCount(), 3u);
    EXPECT_EQ(scheme->Rule(2).Name, "New rule");
    EXPECT_EQ(scheme->Rule(2).CharFormat, custom.CharFormat);
    // The copy's values are its own.
    Child<QLineEdit>(238)->setText(QStringLiteral("41-42"));
    EXPECT_EQ(*scheme->Rule(2).CustomValueSet, (std::vector<std::uint8_t>{0x41, 0x42}));
    EXPECT_EQ(*scheme->Rule(0).CharRange_CustomValues, "0D");
    EXPECT_EQ(*scheme->Rule(0).CustomValueSet, std::vector<std::uint8_t>{0x0D});
    Select({0});
    Click(242);
    EXPECT_EQ(*scheme->Rule(1).CharRange_CustomValues, "41-42");
    EXPECT_EQ(*scheme->Rule(1).RegEx_MatchValue, "x+");
}

TEST_F(StyleEditorDlg, TheRuleClipboardCopiesManyAndPastesOnce) {
    Open(FiveRuleFile(dir.File("five.tss")));
    List()->clearSelection();
    ui.popupAnswer = 0;
    dlg->ShowRuleMenu(QPoint(1, 1));
    ASSERT_EQ(ui.offered.size(), 2u);
    EXPECT_EQ(ui.offered[0].command, 2000);
    EXPECT_EQ(ui.offered[0].text, "Copy Rule(s)");
    EXPECT_FALSE(ui.offered[0].enabled);
    EXPECT_EQ(ui.offered[1].command, 2001);
    EXPECT_EQ(ui.offered[1].text, "Paste Rules(s)");
    EXPECT_FALSE(ui.offered[1].enabled);

    Select({3, 0});
    ui.popupAnswer = 2000;
    dlg->ShowRuleMenu(QPoint(1, 1));
    ASSERT_NE(dlg->RuleClipboard(), nullptr);
    ASSERT_EQ(dlg->RuleClipboard()->size(), 2u);
    EXPECT_EQ((*dlg->RuleClipboard())[0].Name, "Incoming") << "in list order";

    ui.popupAnswer = 2001;
    dlg->ShowRuleMenu(QPoint(1, 1));
    EXPECT_TRUE(ui.offered[1].enabled);
    EXPECT_EQ(RuleNames(), (std::vector<std::string>{"Incoming", "Line ends", "High", "Outgoing",
                                                     "Rest", "Incoming", "Outgoing"}));
    EXPECT_EQ(dlg->RuleClipboard(), nullptr);
    dlg->ShowRuleMenu(QPoint(1, 1));
    EXPECT_FALSE(ui.offered[1].enabled) << "one copy pastes once";
    EXPECT_EQ(RuleNames().size(), 7u);
}

TEST_F(StyleEditorDlg, MovesStopAtTheEndsAndTheSchemeFollowsTheList) {
    Open(FiveRuleFile(dir.File("five.tss")));
    const std::vector<std::string> before = RuleNames();
    Select({4});
    Click(240);
    Select({0});
    Click(237);
    EXPECT_EQ(RuleNames(), before);
    Select({1});
    Click(240);
    EXPECT_EQ(RuleNames(),
              (std::vector<std::string>{"Incoming", "High", "Line ends", "Outgoing", "Rest"}));
    EXPECT_EQ(SelectedRows(), std::vector<int>{2});
    Click(237);
    Click(237);
    EXPECT_EQ(RuleNames(),
              (std::vector<std::string>{"Line ends", "Incoming", "High", "Outgoing", "Rest"}));
    EXPECT_EQ(ListNames(), RuleNames());
}

TEST_F(StyleEditorDlg, ClicksTakeTheControlsAndEmptyFieldsKeepOldValues) {
    auto scheme = FiveRuleFile(dir.File("five.tss"));
    Open(scheme);
    Select({1});  // "Line ends": class 4, "0D,0A"
    EXPECT_TRUE(Child<QRadioButton>(209)->isChecked());
    EXPECT_EQ(Child<QLineEdit>(238)->text(), "0D,0A");
    Child<QLineEdit>(238)->clear();
    Click(205);
    const SStyleRule& rule = scheme->Rule(1);
    EXPECT_EQ(rule.CharRange_MatchValue, 1);
    EXPECT_EQ(*rule.CharRange_CustomValues, "0D,0A");
    EXPECT_EQ(*rule.CustomValueSet, (std::vector<std::uint8_t>{0x0D, 0x0A}));

    Click(233);  // Apply Format off
    EXPECT_FALSE(rule.Format_ApplyFormat);
    EXPECT_FALSE(Child<QRadioButton>(222)->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(234)->isEnabled());
    Click(232);  // Apply Font off
    EXPECT_FALSE(rule.Format_ApplyColor);
    EXPECT_FALSE(Child<QPushButton>(246)->isEnabled());
    Click(204);
    EXPECT_EQ(rule.Direction_MatchValue, 0);
    Click(213);
    EXPECT_EQ(rule.Owner_MatchValue, 2);
    Child<QLineEdit>(243)->setText(QStringLiteral("Renamed"));
    EXPECT_EQ(rule.Name, "Renamed");
    EXPECT_EQ(List()->topLevelItem(1)->text(0), "Renamed");
    Child<QLineEdit>(214)->setText(QString());
    EXPECT_EQ(scheme->Name, "");

    // A rule with an unknown format code shows no format button checked; a
    // click elsewhere then takes the code as 1.
    scheme->Rule(2).Format_CharacterFormat = 9;
    Select({2});
    EXPECT_EQ(Child<QRadioButton>(222)->group()->checkedId(), -1);
    Click(234);
    EXPECT_EQ(scheme->Rule(2).Format_CharacterFormat, 1);

    // With nothing selected the controls change nothing.
    List()->clearSelection();
    std::vector<SStyleRule> snapshot;
    for (std::size_t i = 0; i < scheme->RuleCount(); ++i) {
        snapshot.push_back(scheme->Rule(i));
    }
    Click(202);
    Click(232);
    Child<QLineEdit>(238)->setText(QStringLiteral("7F"));
    Child<QLineEdit>(243)->setText(QStringLiteral("Nobody"));
    for (std::size_t i = 0; i < scheme->RuleCount(); ++i) {
        EXPECT_EQ(scheme->Rule(i), snapshot[i]) << i;
    }
}

// The highest and lowest rows of an image that hold a pixel of another
// colour than its corner's.
std::pair<int, int> InkRows(const QImage& image) {
    const QColor background = image.pixelColor(image.width() / 2, 3);
    int top = image.height();
    int bottom = -1;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x) {
            if (image.pixelColor(x, y) != background) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {top, bottom};
}

TEST_F(StyleEditorDlg, TheSampleRisesByTheRulesOffset) {
    auto scheme = FiveRuleFile(dir.File("five.tss"));
    scheme->Rule(1).CharFormat.yHeight = 240;
    scheme->Rule(1).CharFormat.yOffset = -60;  // 3 points below a 12 point baseline
    scheme->Rule(1).CharFormat.crTextColor = scheme->Rule(0).CharFormat.crTextColor;
    Open(scheme);
    auto* sample = Child<CDocumentPreview>(244);
    Select({0});
    const auto level = InkRows(sample->grab().toImage());
    Select({1});
    const auto lowered = InkRows(sample->grab().toImage());
    ASSERT_LT(level.first, level.second) << "the sample is drawn";
    const int drop = -CFontTable::OffsetPixels(-60, sample->logicalDpiY());
    ASSERT_GT(drop, 0);
    EXPECT_EQ(lowered.first - level.first, drop) << "the rule's offset, in the console's pixels";
    EXPECT_EQ(lowered.second - level.second, drop);
}

TEST_F(StyleEditorDlg, FontAndColourChoosersWriteIntoTheRuleAndTheScheme) {
    auto scheme = FiveRuleFile(dir.File("five.tss"));
    Open(scheme);
    Select({0});
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSizeF(10.5);
    chosen.setBold(true);
    chosen.setItalic(true);
    chosen.setUnderline(true);
    chosen.setStrikeOut(true);
    chosen.setStyleHint(QFont::Serif);
    ui.font = SFontChoice{chosen, QColor(1, 2, 3)};
    Click(246);
    ASSERT_EQ(ui.fontInitials.size(), 1u);
    ASSERT_TRUE(ui.fontInitials[0]);
    EXPECT_EQ(ui.fontInitials[0]->font.pointSizeF(), 12.0) << "from the rule's 240 twips";
    EXPECT_EQ(ui.fontInitials[0]->colour, QColor(255, 0, 0));
    const SCharFormat& f = scheme->Rule(0).CharFormat;
    EXPECT_EQ(f.FaceName(), "DejaVu Serif");
    EXPECT_EQ(f.yHeight, 210);
    EXPECT_EQ(f.dwEffects, 0xFu);
    EXPECT_EQ(f.crTextColor, 0x030201u);
    EXPECT_EQ(f.bPitchAndFamily, 0x12) << "variable pitch, roman";
    EXPECT_EQ(f.bCharSet, 0);
    EXPECT_EQ(f.cbSize, 60u);
    EXPECT_EQ(f.dwMask, 0xF800000Fu);
    auto* sample = Child<CDocumentPreview>(244);
    EXPECT_EQ(sample->Fonts().Entry(sample->Document().RunFormat(0)).colour, QColor(1, 2, 3))
        << "the sample was refreshed";

    // A fixed-pitch face is written as fixed pitch, modern family.
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFixedPitch(true);
    mono.setPointSize(9);
    ui.font = SFontChoice{mono, QColor(1, 2, 3)};
    Select({1});
    Click(246);
    EXPECT_EQ(scheme->Rule(1).CharFormat.bPitchAndFamily, 49);
    EXPECT_EQ(scheme->Rule(1).CharFormat.yHeight, 180);
    EXPECT_EQ(scheme->Rule(1).CharFormat.dwEffects, 0u);
    Select({0});

    ui.colour = QColor(0x10, 0x20, 0x30);
    Click(217);
    ASSERT_EQ(ui.colourInitials.size(), 1u);
    EXPECT_EQ(ui.colourInitials[0], QColor(1, 2, 3)) << "opens on the colour the font chooser gave";
    EXPECT_EQ(f.crTextColor, 0x302010u);
    Click(217);
    ASSERT_EQ(ui.colourInitials.size(), 2u);
    EXPECT_EQ(ui.colourInitials[1], QColor(0x10, 0x20, 0x30)) << "and on the one just chosen";
    scheme->BackgroundColor = 0x0C0B5A;
    Click(252);
    ASSERT_EQ(ui.colourInitials.size(), 3u);
    EXPECT_EQ(ui.colourInitials[2], QColor(0x5A, 0x0B, 0x0C)) << "the background's on its own";
    EXPECT_EQ(scheme->BackgroundColor, 0x302010u);
    EXPECT_EQ(sample->Background(), QColor(0x10, 0x20, 0x30));
    const QImage shown = sample->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() - 4, shown.height() / 2), QColor(0x10, 0x20, 0x30))
        << "and drawn";

    // Nothing selected: the font buttons are disabled with the placeholder's
    // flag; asked anyway, the chooser opens on no font and its answer is dropped.
    List()->clearSelection();
    EXPECT_FALSE(Child<QPushButton>(246)->isEnabled());
    const SCharFormat before = f;
    dlg->ChooseFont();
    ASSERT_EQ(ui.fontInitials.size(), 3u);
    EXPECT_FALSE(ui.fontInitials[2]);
    EXPECT_EQ(f, before);
    ui.colour.reset();
    Click(252);
    EXPECT_EQ(scheme->BackgroundColor, 0x302010u) << "Cancel keeps the background";
}

TEST_F(StyleEditorDlg, BrowseAsksOutsideTheDataFolderAndSwitchesToTheFile) {
    auto builtin = Builtin("Hex Mode");
    Open(builtin);
    ui.file.clear();
    Click(247);
    EXPECT_EQ(ui.fileDirectories, std::vector<QString>{QString::fromStdString(dir.Path())});
    EXPECT_EQ(dlg->Scheme(), builtin) << "Cancel in the chooser";

    test::CTempDir elsewhere;
    ui.file = QString::fromStdString(elsewhere.File("away.tss"));
    ui.yes = false;
    Click(247);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].caption, "Continue?");
    EXPECT_EQ(ui.questions[0].text,
              "Only style files found in the Quillpad Data directory will be listed on the menu "
              "for selection.\n\nDo you want to continue with this file?");
    EXPECT_EQ(dlg->Scheme(), builtin);

    // In the data folder: no question.
    ui.file = QString::fromStdString(dir.File("new.tss"));
    Click(247);
    EXPECT_EQ(ui.questions.size(), 1u);
    ASSERT_NE(dlg->Scheme(), builtin);
    EXPECT_EQ(dlg->Scheme()->GetPath(), dir.File("new.tss"));
    EXPECT_EQ(dlg->Scheme()->RuleCount(), 0u);
    EXPECT_EQ(Child<QLineEdit>(248)->text().toStdString(), dir.File("new.tss"));
    EXPECT_EQ(builtin->RuleCount(), 4u) << "the style shown before is unchanged";
    EXPECT_FALSE(test::ReadFileBytes(dir.File("new.tss")).size() > 0);
}

// File names are the file system's bytes (UTF-8 here), not one character
// per byte: a data folder named in other scripts is still the data folder.
TEST_F(StyleEditorDlg, BrowseKeepsNonAsciiFolderNamesByteForByte) {
    const std::string data = dir.File("Daten \xC3\x9C\xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC");
    std::filesystem::create_directory(data);
    const std::string path = data +
                             "/\xC3\x9C"
                             "bersicht.tss";
    dlg = std::make_unique<CStyleEditorDlg>(data, ui);
    dlg->SetScheme(Builtin("Normal"));
    dlg->show();
    QApplication::processEvents();
    ui.file = QString::fromUtf8(path);
    Click(247);
    ASSERT_EQ(ui.fileDirectories.size(), 1u);
    EXPECT_EQ(ui.fileDirectories[0], QString::fromUtf8(data)) << "the chooser opens in the folder";
    EXPECT_TRUE(ui.questions.empty()) << "a file in the data folder needs no question";
    EXPECT_EQ(dlg->Scheme()->GetPath(), path);
    EXPECT_EQ(Child<QLineEdit>(248)->text(), QString::fromUtf8(path));
    ASSERT_TRUE(std::filesystem::exists(path)) << "Load made the file under its own name";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data),
                            std::filesystem::directory_iterator()),
              1);

    // A failed save names the folder as it is called.
    dlg->Scheme()->Name = "Mine";
    std::filesystem::remove_all(data);
    ui.messages.clear();
    Click(1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QString::fromUtf8(path)))
        << ui.messages[0].text.toStdString();
}

// The real chooser, run once: what it offers, and the path it hands back.
TEST(QtStyleEditorUi, TheColourChooserOpensOnTheColourItIsGiven) {
    CQtStyleEditorUi ui;
    QWidget owner;
    QColor shownFirst;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (chooser == nullptr) {
            return;
        }
        answer.stop();
        shownFirst = chooser->currentColor();
        chooser->setCurrentColor(QColor(9, 8, 7));
        QMetaObject::invokeMethod(chooser, "accept");
    });
    answer.start();
    const auto chosen = ui.ChooseColour(QColor(0x12, 0x34, 0x56), &owner);
    EXPECT_EQ(shownFirst, QColor(0x12, 0x34, 0x56));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, QColor(9, 8, 7));
}

TEST(QtStyleEditorUi, TheStyleFileChooserOpensInTheFolderAndGivesItsPathByteForByte) {
    test::CTempDir dir;
    const std::string data = dir.File("\xE6\x97\xA5\xE6\x9C\xAC \xC3\x9C");
    std::filesystem::create_directory(data);
    CQtStyleEditorUi ui;
    QWidget owner;
    QString title;
    QStringList filters;
    QString suffix;
    QString folder;
    bool saveKind = false;
    bool confirmsOverwrite = true;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (chooser == nullptr) {
            return;
        }
        answer.stop();
        title = chooser->windowTitle();
        filters = chooser->nameFilters();
        suffix = chooser->defaultSuffix();
        folder = chooser->directory().absolutePath();
        saveKind = chooser->acceptMode() == QFileDialog::AcceptSave;
        confirmsOverwrite = !chooser->testOption(QFileDialog::DontConfirmOverwrite);
        chooser->selectFile(
            QString::fromUtf8("\xC3\x9C"
                              "bersicht"));
        QMetaObject::invokeMethod(chooser, "accept");
    });
    answer.start();
    const QString chosen = ui.ChooseStyleFile(QString::fromUtf8(data), &owner);
    EXPECT_EQ(title, "Save As");
    EXPECT_EQ(filters, QStringList{QStringLiteral("Workbay Console Style Sheets (*.tss)")});
    EXPECT_EQ(suffix, "tss");
    EXPECT_EQ(folder, QString::fromUtf8(data));
    EXPECT_TRUE(saveKind);
    EXPECT_FALSE(confirmsOverwrite);
    EXPECT_EQ(QFile::encodeName(chosen).toStdString(), data +
                                                           "/\xC3\x9C"
                                                           "bersicht.tss");
}

TEST_F(StyleEditorDlg, OkWantsANameSavesFilesOnlyAndCancelUndoesNothing) {
    auto builtin = Builtin("Normal");
    Open(builtin);
    Child<QLineEdit>(214)->setText(QString());
    Click(1);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].caption, "Style Name");
    EXPECT_EQ(ui.messages[1].text,
              "Please assign a name to this style which will be shown on the menu for selection.");
    EXPECT_TRUE(dlg->isVisible());
    Child<QLineEdit>(214)->setText(QStringLiteral("Renamed"));
    Click(1);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(builtin->GetPath().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "a default style writes no file";

    const std::string path = dir.File("five.tss");
    auto file = FiveRuleFile(path);
    const std::string onDisk = test::ReadFileBytes(path);
    Open(file);
    Select({0});
    Click(204);
    Click(2);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(file->Rule(0).Direction_MatchValue, 0) << "the change stays in memory";
    EXPECT_EQ(test::ReadFileBytes(path), onDisk) << "and is not saved";
}

TEST_F(StyleEditorDlg, OkWritesAThreeRuleStyleOverItsFiveRuleFileByteForByte) {
    const std::string path = dir.File("five.tss");
    auto scheme = FiveRuleFile(path);
    Open(scheme);
    Select({1, 2});
    Click(242);
    Click(1);
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    const std::string rest =
        "Owner_MatchValue=0\r\nRegEx_Match=FALSE\r\nFormat_ApplyColor=TRUE\r\n";
    const std::string font =
        "Format_FontEffects=0\r\nFormat_FontSize=240\r\nFormat_FontOffset=0\r\n"
        "Format_FontFaceName=Courier\r\nFormat_FontCharSet=0\r\nFormat_FontPitchAndFamily=49\r\n"
        "Format_ApplyFormat=TRUE\r\n";
    // Rule 2's section keeps the custom values of the rule that stood there
    // before: its class is no longer 4, so reading ignores them.
    EXPECT_EQ(test::ReadFileBytes(path),
              "[Scheme1.Info]\r\nName=Five\r\nDescription=\r\nBackgroundColor=0\r\n"
              "LineWrap=TRUE\r\n\r\n"
              "[Scheme1.Rule1]\r\nName=Incoming\r\nDirection_MatchValue=1\r\n"
              "CharRange_MatchValue=0\r\n" +
                  rest + "Format_FontColor=255\r\n" + font +
                  "Format_CharacterFormat=1\r\nFormat_AlwaysInterpretCRLFBSTB=FALSE\r\n"
                  "Format_InsertCRLFIfTranslated=FALSE\r\n\r\n"
                  "[Scheme1.Rule2]\r\nName=Outgoing\r\nDirection_MatchValue=2\r\n"
                  "CharRange_MatchValue=0\r\nCharRange_CustomValues=0D,0A\r\n" +
                  rest + "Format_FontColor=16776960\r\n" + font +
                  "Format_CharacterFormat=2\r\nFormat_AlwaysInterpretCRLFBSTB=FALSE\r\n"
                  "Format_InsertCRLFIfTranslated=TRUE\r\n\r\n"
                  "[Scheme1.Rule3]\r\nName=Rest\r\nDirection_MatchValue=0\r\n"
                  "CharRange_MatchValue=0\r\n" +
                  rest + "Format_FontColor=16777215\r\n" + font +
                  "Format_CharacterFormat=1\r\nFormat_AlwaysInterpretCRLFBSTB=FALSE\r\n"
                  "Format_InsertCRLFIfTranslated=FALSE\r\n\r\n"
                  "[Scheme1.Rule4]\r\n\r\n[Scheme1.Rule5]\r\n\r\n[Scheme1.Rule6]\r\n\r\n");
    CStyleScheme again;
    ASSERT_TRUE(again.Load(path, false));
    EXPECT_EQ(again.RuleCount(), 3u);
    EXPECT_FALSE(again.Rule(1).CharRange_CustomValues);
}

TEST_F(StyleEditorDlg, AFailedSaveIsSaidAndTheDialogStillCloses) {
    const std::string folder = dir.File("sub");
    std::filesystem::create_directory(folder);
    auto scheme = FiveRuleFile(folder + "/five.tss");
    std::filesystem::remove_all(folder);
    Open(scheme);
    ui.messages.clear();
    Click(1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_TRUE(ui.messages[0].text.startsWith(
        QStringLiteral("The style could not be saved to %1").arg(QString::fromStdString(folder))))
        << ui.messages[0].text.toStdString();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

TEST_F(StyleEditorDlg, F1AsksForHelpTopic1054) {
    Open(FiveRuleFile(dir.File("five.tss")));
    QTest::keyClick(Child<QLineEdit>(214), Qt::Key_F1);
    QTest::keyClick(List(), Qt::Key_F1);
    EXPECT_EQ(ui.helps, (std::vector<int>{1054, 1054}));
}

QString PreviewLines(const CStyleEditorDlg& dlg) {
    const std::string_view text =
        dlg.findChild<CDocumentPreview*>(QStringLiteral("preview"))->Document().Text();
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

TEST_F(StyleEditorDlg, ThePreviewShowsTheLastLinesThroughTheStyleBeingEdited) {
    for (int i = 0; i < 30; ++i) {
        store.AddIncomingBytes(0, "line " + std::to_string(i) + "\r\n");
    }
    store.AddOutgoingBytes(0, "AT\r");
    auto scheme = FiveRuleFile(dir.File("five.tss"));
    Open(scheme);
    // "Incoming" writes incoming bytes as text (CR a break); the outgoing
    // CR is named by "Line ends", the letters by "Outgoing".
    QString text = PreviewLines(*dlg);
    QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 20) << text.toStdString();
    EXPECT_EQ(lines.front(), "line 11");
    EXPECT_EQ(lines[18], "line 29");
    EXPECT_EQ(lines.back(), "[41h][54h][CR]");
    auto* preview = dlg->findChild<CDocumentPreview*>(QStringLiteral("preview"));
    EXPECT_EQ(preview->Background(), QColor(0, 0, 0));
    // The last lines are the rows in sight, the newest at the bottom.
    const std::vector<SPaintRow> rows = preview->RowsInSight();
    ASSERT_GT(rows.size(), 3u);
    std::string last;
    for (const SPaintPiece& piece : rows.back().pieces) {
        last += piece.text;
    }
    EXPECT_EQ(last, "[41h][54h][CR]");
    // Its scroll bar looks further back; a redraw brings it to the end again.
    ASSERT_NE(preview->ScrollBar(), nullptr);
    ASSERT_GT(preview->ScrollBar()->maximum(), 0) << "twenty lines do not fit";
    preview->ScrollBar()->setValue(0);
    const std::vector<SPaintRow> back = preview->RowsInSight();
    ASSERT_FALSE(back.empty());
    ASSERT_FALSE(back.front().pieces.empty());
    EXPECT_EQ(back.front().pieces.front().text, "line 11");
    dlg->RefreshPreviewNow();
    EXPECT_EQ(preview->RowsInSight().back().pieces.back().text, "[CR]");

    // Without its format flag "Incoming" leaves the line ends to "Line
    // ends": the whole history is one line, read back to its start.
    Select({0});
    const int before = dlg->PreviewRefreshes();
    Click(233);
    Click(204);
    EXPECT_EQ(dlg->PreviewRefreshes(), before) << "changes wait for one redraw";
    QTRY_VERIFY_WITH_TIMEOUT(dlg->PreviewRefreshes() == before + 1, 2000);
    text = PreviewLines(*dlg);
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(text.startsWith(QStringLiteral("line 0[CR][LF]line 1[CR][LF]")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("line 29[CR][LF][41h][54h][CR]")));

    // Data that arrives while the editor is open shows too.
    store.AddIncomingBytes(0, "late\r\n");
    // The store tells the editor, as it tells a view: no polling.
    const int beforeLate = dlg->PreviewRefreshes();
    QTest::qWait(300);
    EXPECT_EQ(dlg->PreviewRefreshes(), beforeLate) << "nothing is redrawn before the notice comes";
    channel.DrainPending();
    QTRY_VERIFY_WITH_TIMEOUT(PreviewLines(*dlg).endsWith(QStringLiteral("late[CR][LF]")), 3000);
    EXPECT_EQ(store.RecordCount(), 32u) << "the preview reads, never adds";
    // A clear is told too.
    const int beforeClear = dlg->PreviewRefreshes();
    channel.Send(store.Handle(), UM_CLEAR_DATA);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->PreviewRefreshes() == beforeClear + 1, 2000);
    EXPECT_EQ(PreviewLines(*dlg), "");
}

// ---- the style's options: pattern rules and time stamps

// Two rules: "Errors" hides what it matches, "Text" writes the rest.
std::shared_ptr<CStyleScheme> ErrorsFile(const std::string& path) {
    auto scheme = std::make_shared<CStyleScheme>();
    EXPECT_TRUE(scheme->Load(path, true));
    scheme->Name = "Errors";
    SStyleRule errors = MakeRule("Errors", 0, 0, 0, 255);
    scheme->AppendRule(errors);
    scheme->AppendRule(MakeRule("Text", 0, 0, 1, 0));
    EXPECT_TRUE(scheme->Save());
    auto loaded = std::make_shared<CStyleScheme>();
    EXPECT_TRUE(loaded->Load(path, false));
    return loaded;
}

TEST_F(StyleEditorDlg, UseRegularExpressionsShowsThePatternControlsAndTheyTakeIntoTheRule) {
    Open(FiveRuleFile(dir.File("five.tss")));
    auto* optIn = dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"));
    ASSERT_NE(optIn, nullptr);
    auto* label = dlg->findChild<QLabel*>(QStringLiteral("patternLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(optIn->text(), "Use Regular Expressions");
    EXPECT_FALSE(optIn->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(231)->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(231)->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(216)->isVisible());

    optIn->click();
    EXPECT_TRUE(dlg->Scheme()->PatternRules);
    EXPECT_TRUE(Child<QCheckBox>(231)->isVisible());
    EXPECT_TRUE(Child<QCheckBox>(231)->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(216)->isVisible());
    EXPECT_EQ(label->text(), "Regular Expression:");
    EXPECT_TRUE(label->isVisible());

    // The field follows the check box; a click takes both into the rule.
    Select({2});
    EXPECT_FALSE(Child<QLineEdit>(216)->isEnabled());
    Click(231);
    EXPECT_TRUE(dlg->Scheme()->Rule(2).RegEx_Match);
    EXPECT_TRUE(Child<QLineEdit>(216)->isEnabled());
    Child<QLineEdit>(216)->setText(QStringLiteral("ERR\\d+"));
    EXPECT_EQ(dlg->Scheme()->Rule(2).RegEx_MatchValue, std::optional<std::string>("ERR\\d+"));
    // An emptied field keeps the pattern, through a click too.
    Child<QLineEdit>(216)->clear();
    Click(206);
    EXPECT_EQ(dlg->Scheme()->Rule(2).RegEx_MatchValue, std::optional<std::string>("ERR\\d+"));
    EXPECT_EQ(dlg->Scheme()->Rule(2).CharRange_MatchValue, 2);
    // Shown from the rule when it is selected again; other rules show theirs.
    Select({0});
    EXPECT_FALSE(Child<QCheckBox>(231)->isChecked());
    EXPECT_EQ(Child<QLineEdit>(216)->text(), "");
    Select({2});
    EXPECT_TRUE(Child<QCheckBox>(231)->isChecked());
    EXPECT_EQ(Child<QLineEdit>(216)->text(), "ERR\\d+");

    // Off again: hidden as before; the rule keeps its pattern.
    optIn->click();
    EXPECT_FALSE(dlg->Scheme()->PatternRules);
    EXPECT_FALSE(Child<QCheckBox>(231)->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(231)->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(216)->isVisible());
    EXPECT_FALSE(label->isVisible());
    EXPECT_TRUE(dlg->Scheme()->Rule(2).RegEx_Match);
}

TEST_F(StyleEditorDlg, APatternThatDoesNotCompileSaysWhyAndTheRuleMatchesNothing) {
    store.AddIncomingBytes(0, "ok ERR42 done\r\n");
    Open(ErrorsFile(dir.File("errors.tss")));
    auto* error = dlg->findChild<QLabel*>(QStringLiteral("patternError"));
    ASSERT_NE(error, nullptr);
    // Without patterns "Errors" hides every byte.
    EXPECT_EQ(PreviewLines(*dlg), "");

    dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->click();
    Select({0});
    Click(231);
    // A flag without a pattern matches nothing, and says so.
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text().toStdString(), PatternRuleError(dlg->Scheme()->Rule(0)));
    dlg->RefreshPreviewNow();
    EXPECT_EQ(PreviewLines(*dlg), "ok ERR42 done\n");

    Child<QLineEdit>(216)->setText(QStringLiteral("ERR("));
    const std::string why = PatternRuleError(dlg->Scheme()->Rule(0));
    EXPECT_FALSE(why.empty());
    EXPECT_NE(why, PatternRuleError(SStyleRule{})) << "the compiler's reason, not 'no pattern'";
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text().toStdString(), why);
    dlg->RefreshPreviewNow();
    EXPECT_EQ(PreviewLines(*dlg), "ok ERR42 done\n");

    // The preview follows the pattern as it is typed.
    Child<QLineEdit>(216)->setText(QStringLiteral("ERR\\d+"));
    EXPECT_FALSE(error->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(PreviewLines(*dlg), QStringLiteral("ok  done\n"), 2000);
    // The flag cleared: no reason, and the rule hides everything again.
    Click(231);
    EXPECT_FALSE(error->isVisible());
    dlg->RefreshPreviewNow();
    EXPECT_EQ(PreviewLines(*dlg), "");
    // With the option off a bad pattern says nothing: it takes no part.
    Click(231);
    Child<QLineEdit>(216)->setText(QStringLiteral("(("));
    EXPECT_TRUE(error->isVisible());
    dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->click();
    EXPECT_FALSE(error->isVisible());
}

TEST_F(StyleEditorDlg, ThePreviewColoursWhatAPatternRuleFindsWhileTheRuleIsEdited) {
    store.AddIncomingBytes(0, "ok ERR42 done\r\n");
    Open(ErrorsFile(dir.File("errors.tss")));
    dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->click();
    Select({0});
    Click(233);  // "Errors" colours only
    Click(231);
    Child<QLineEdit>(216)->setText(QStringLiteral("ERR\\d+"));
    dlg->RefreshPreviewNow();
    auto* preview = dlg->findChild<CDocumentPreview*>(QStringLiteral("preview"));
    std::string red;
    for (const SPaintRow& row : preview->RowsInSight()) {
        for (const SPaintPiece& piece : row.pieces) {
            if (preview->Document().Format(piece.format).crTextColor == 255) {
                red += piece.text;
            }
        }
    }
    EXPECT_EQ(red, "ERR42") << PreviewLines(*dlg).toStdString();
}

TEST_F(StyleEditorDlg, OkWritesTheOptInAndTheRulesPatternAndTheyReadBack) {
    const std::string path = dir.File("errors.tss");
    Open(ErrorsFile(path));
    dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->click();
    Select({0});
    Click(231);
    Child<QLineEdit>(216)->setText(QStringLiteral("ERR(OR)?:\\s+\\d+"));
    dlg->accept();
    const std::string text = test::ReadFileBytes(path);
    EXPECT_NE(text.find("PatternRules=TRUE\r\n"), std::string::npos) << text;
    // A key the section did not have goes at its end, as the sheet's writer
    // always adds keys.
    EXPECT_NE(text.find("RegEx_Match=TRUE\r\n"), std::string::npos) << text;
    EXPECT_NE(
        text.find("Format_InsertCRLFIfTranslated=FALSE\r\nRegEx_MatchValue=ERR(OR)?:\\s+\\d+\r\n"),
        std::string::npos)
        << text;

    CStyleScheme again;
    ASSERT_TRUE(again.Load(path, false));
    EXPECT_TRUE(again.PatternRules);
    ASSERT_EQ(again.RuleCount(), 2u);
    EXPECT_EQ(again.Rule(0).RegEx_MatchValue, std::optional<std::string>("ERR(OR)?:\\s+\\d+"));
    EXPECT_FALSE(again.Rule(1).RegEx_Match);

    // Opened again, the editor shows the option and the pattern.
    auto reloaded = std::make_shared<CStyleScheme>();
    ASSERT_TRUE(reloaded->Load(path, false));
    Open(reloaded);
    EXPECT_TRUE(dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->isChecked());
    EXPECT_TRUE(Child<QLineEdit>(216)->isVisible());
    EXPECT_EQ(Child<QLineEdit>(216)->text(), "ERR(OR)?:\\s+\\d+");
    // Turned off and saved, the key says so rather than vanishing.
    dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"))->click();
    dlg->accept();
    EXPECT_NE(test::ReadFileBytes(path).find("PatternRules=FALSE\r\n"), std::string::npos);
}

TEST_F(StyleEditorDlg, AStyleWithoutTheOptionsIsWrittenByteForByteAsItWas) {
    const std::string path = dir.File("five.tss");
    Open(FiveRuleFile(path));
    const std::string before = test::ReadFileBytes(path);
    auto* optIn = dlg->findChild<QCheckBox*>(QStringLiteral("patternRules"));
    auto* stamps = dlg->findChild<QCheckBox*>(QStringLiteral("ownStamps"));
    ASSERT_NE(stamps, nullptr);
    EXPECT_FALSE(stamps->isChecked());
    // Switched on and off again before OK: nothing of them reaches the file.
    optIn->click();
    optIn->click();
    stamps->click();
    stamps->click();
    dlg->accept();
    EXPECT_EQ(test::ReadFileBytes(path), before);
    EXPECT_EQ(before.find("PatternRules"), std::string::npos);
    EXPECT_EQ(before.find("Stamps"), std::string::npos);
}

TEST_F(StyleEditorDlg, TheStampControlsMakeChangeAndRemoveTheStyleStamps) {
    const std::string path = dir.File("five.tss");
    Open(FiveRuleFile(path));
    auto* own = dlg->findChild<QCheckBox*>(QStringLiteral("ownStamps"));
    auto* fontButton = dlg->findChild<QPushButton*>(QStringLiteral("stampFont"));
    auto* colourButton = dlg->findChild<QPushButton*>(QStringLiteral("stampColour"));
    auto* sample = dlg->findChild<QLabel*>(QStringLiteral("stampSample"));
    ASSERT_TRUE(own && fontButton && colourButton && sample);
    EXPECT_FALSE(fontButton->isEnabled());
    EXPECT_FALSE(colourButton->isEnabled());
    EXPECT_FALSE(sample->isVisible());
    // Without stamps the buttons ask nothing.
    fontButton->click();
    colourButton->click();
    EXPECT_TRUE(ui.fontInitials.empty());
    EXPECT_TRUE(ui.colourInitials.empty());

    own->click();
    ASSERT_TRUE(dlg->Scheme()->Stamps.has_value());
    EXPECT_EQ(*dlg->Scheme()->Stamps, SStampFormat{});
    EXPECT_TRUE(fontButton->isEnabled());
    EXPECT_TRUE(sample->isVisible());

    // Cancelled choosers change nothing; the chooser opens on the stamps' colour.
    fontButton->click();
    colourButton->click();
    EXPECT_EQ(*dlg->Scheme()->Stamps, SStampFormat{});
    ASSERT_EQ(ui.colourInitials.size(), 1u);
    EXPECT_EQ(ui.colourInitials[0], QColor(0x80, 0x80, 0x80));
    ASSERT_EQ(ui.fontInitials.size(), 1u);
    ASSERT_TRUE(ui.fontInitials[0].has_value());
    EXPECT_EQ(ui.fontInitials[0]->font.pointSize(), 12) << "the first rule's 240 twips";

    QFont mono(QStringLiteral("Mono Sans"));
    mono.setPointSize(9);
    ui.font = SFontChoice{mono, QColor(0x80, 0x80, 0x80)};
    fontButton->click();
    ui.colour = QColor(255, 0, 0);
    colourButton->click();
    EXPECT_EQ(*dlg->Scheme()->Stamps, (SStampFormat{"Mono Sans", 9, 0x0000FF}));
    EXPECT_EQ(sample->font().pointSize(), 9);
    EXPECT_EQ(sample->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(ui.colourInitials.back(), QColor(0x80, 0x80, 0x80));
    dlg->accept();

    auto reloaded = std::make_shared<CStyleScheme>();
    ASSERT_TRUE(reloaded->Load(path, false));
    EXPECT_EQ(reloaded->Stamps, (SStampFormat{"Mono Sans", 9, 0x0000FF}));
    EXPECT_EQ(reloaded->RuleCount(), 5u);

    // Opened again it shows them; taken away, the sheet reads without.
    Open(reloaded);
    own = dlg->findChild<QCheckBox*>(QStringLiteral("ownStamps"));
    EXPECT_TRUE(own->isChecked());
    EXPECT_TRUE(dlg->findChild<QPushButton*>(QStringLiteral("stampColour"))->isEnabled());
    own->click();
    EXPECT_FALSE(dlg->Scheme()->Stamps.has_value());
    dlg->accept();
    CStyleScheme without;
    ASSERT_TRUE(without.Load(path, false));
    EXPECT_FALSE(without.Stamps.has_value());
    EXPECT_EQ(test::ReadFileBytes(path).find("FaceName=Mono Sans"), std::string::npos);
}

// The pictures of the guide (tools/take-screenshots.sh).
TEST_F(StyleEditorDlg, DISABLED_OptionsScreenshots) {
    const char* folder = std::getenv("QUILLPAD_SCREENSHOT_DIR");
    if (folder == nullptr) {
        FAIL() << "set QUILLPAD_SCREENSHOT_DIR to the pictures' folder";
    }
    const QString out = QString::fromLocal8Bit(folder);
    for (int i = 0; i < 12; ++i) {
        store.AddOutgoingBytes(0, "status\r");
        store.AddIncomingBytes(0, "axis 2 ready, temp 41.5 C\r\n");
        if (i % 4 == 1) {
            store.AddIncomingBytes(0, "motor ERROR: " + std::to_string(4700 + i) + " stalled\r\n");
        }
    }
    const std::string path = dir.File("alarms.tss");
    auto scheme = std::make_shared<CStyleScheme>();
    ASSERT_TRUE(scheme->Load(path, true));
    scheme->Name = "Alarms";
    SStyleRule echo = MakeRule("Hide my outgoing", 2, 0, 0, 0);
    scheme->AppendRule(echo);
    SStyleRule alarm = MakeRule("Error numbers", 0, 0, 1, 0x0000C0);
    alarm.CharFormat.dwEffects = 1;  // bold
    alarm.RegEx_Match = true;
    alarm.RegEx_MatchValue = "ERR(OR)?:\\s+\\d+";
    scheme->AppendRule(alarm);
    scheme->AppendRule(MakeRule("Text", 0, 0, 1, 0));
    scheme->PatternRules = true;
    ASSERT_TRUE(scheme->Save());
    Open(scheme);
    dlg->resize(980, 720);
    Select({1});
    dlg->RefreshPreviewNow();
    QTest::qWait(100);
    EXPECT_TRUE(dlg->grab().save(out + QStringLiteral("/style-editor-patterns.png")));

    Child<QLineEdit>(216)->setText(QStringLiteral("ERR(OR?:\\s+\\d+"));
    dlg->RefreshPreviewNow();
    QTest::qWait(100);
    EXPECT_TRUE(dlg->grab().save(out + QStringLiteral("/style-editor-pattern-error.png")));

    Child<QLineEdit>(216)->setText(QStringLiteral("ERR(OR)?:\\s+\\d+"));
    dlg->findChild<QCheckBox*>(QStringLiteral("ownStamps"))->click();
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPointSize(9);
    ui.font = SFontChoice{mono, QColor(0x80, 0x80, 0x80)};
    dlg->findChild<QPushButton*>(QStringLiteral("stampFont"))->click();
    ui.colour = QColor(0, 0x70, 0x30);
    dlg->findChild<QPushButton*>(QStringLiteral("stampColour"))->click();
    dlg->RefreshPreviewNow();
    QTest::qWait(100);
    EXPECT_TRUE(dlg->grab().save(out + QStringLiteral("/style-editor-stamps.png")));
}

}  // namespace
}  // namespace quillpad
