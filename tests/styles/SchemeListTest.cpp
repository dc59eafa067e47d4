#include "styles/CSchemeList.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;

void WriteStyleSheet(const CTempDir& dir, const std::string& file, const std::string& name) {
    ASSERT_TRUE(test::WriteFileBytes(
        dir.File(file),
        "[Scheme1.Info]\r\nName=" + name + "\r\n\r\n[Scheme1.Rule1]\r\nName=r\r\n\r\n"));
}

std::vector<std::string> Names(const CSchemeList& list) {
    std::vector<std::string> names;
    for (const auto& scheme : list.Schemes()) {
        names.push_back(scheme->Name);
    }
    return names;
}

std::vector<std::string> BuiltinNames(EBuiltinSet set) {
    std::vector<std::string> names;
    for (const auto& scheme : MakeBuiltinSchemes(set)) {
        names.push_back(scheme->Name);
    }
    return names;
}

std::uint16_t CommandOf(const CSchemeList& list, const std::string& text) {
    for (const auto& entry : list.MenuEntries()) {
        if (entry.text == text) {
            return entry.command;
        }
    }
    return 0;
}

TEST(SchemeListRescan, BuiltinsComeFirstThenFilesInByteOrder) {
    CTempDir dir;
    WriteStyleSheet(dir, "b.tss", "Bee");
    WriteStyleSheet(dir, "a.tss", "Ay");
    WriteStyleSheet(dir, "B.tss", "Big Bee");
    CSchemeList list;
    for (EBuiltinSet set : {EBuiltinSet::A, EBuiltinSet::B}) {
        list.Rescan(dir.Path(), set == EBuiltinSet::A);
        std::vector<std::string> expected = BuiltinNames(set);
        const std::size_t builtins = expected.size();
        expected.insert(expected.end(), {"Big Bee", "Ay", "Bee"});
        EXPECT_EQ(Names(list), expected);

        const auto entries = list.MenuEntries();
        ASSERT_EQ(entries.size(), expected.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].command, CSchemeList::kFirstMenuCommand + i);
            EXPECT_EQ(entries[i].text, expected[i]);
            EXPECT_EQ(list.Schemes()[i]->IsBuiltIn(), i < builtins);
        }
        EXPECT_EQ(list.HiddenCount(), 0u);
    }
    EXPECT_NE(BuiltinNames(EBuiltinSet::A).size(), BuiltinNames(EBuiltinSet::B).size());
}

TEST(SchemeListRescan, ReadsOnlyRegularFilesEndingInTss) {
    CTempDir dir;
    WriteStyleSheet(dir, "UPPER.TSS", "Upper");
    WriteStyleSheet(dir, "x.tss.bak", "Backup");
    WriteStyleSheet(dir, "plaintss", "No dot");
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("y.tss")));
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    std::vector<std::string> expected = BuiltinNames(EBuiltinSet::B);
    expected.push_back("Upper");
    EXPECT_EQ(Names(list), expected);
    EXPECT_TRUE(list.Skipped().empty()) << "a folder is no failed style sheet";
}

TEST(SchemeListRescan, UnreadableFileIsSkippedAndReported) {
    CTempDir dir;
    WriteStyleSheet(dir, "big.tss", "Big");
    WriteStyleSheet(dir, "good.tss", "Good");
    const std::string big = dir.File("big.tss");
    ASSERT_EQ(::truncate(big.c_str(), CIniDocument::kMaxFileBytes + 1), 0);
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    EXPECT_EQ(Names(list).back(), "Good");
    EXPECT_EQ(list.Schemes().size(), BuiltinNames(EBuiltinSet::B).size() + 1);

    CIniDocument document;
    ASSERT_FALSE(document.LoadFile(big, false, true));
    ASSERT_EQ(list.Skipped().size(), 1u);
    EXPECT_EQ(list.Skipped()[0].path, big);
    EXPECT_EQ(list.Skipped()[0].reason, document.LastError());

    std::filesystem::remove(big);
    list.Rescan(dir.Path(), false);
    EXPECT_TRUE(list.Skipped().empty()) << "each rescan reports only its own failures";
}

TEST(SchemeListRescan, AFileWithoutASchemeIsSkippedAndANamelessOneGoesByItsFileName) {
    CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("binary.tss"), std::string("\0\x01[x]\n\xff=1", 10)));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("other.tss"), "[Scheme2.Info]\r\nName=Two\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("nameless.tss"),
                                     "[Scheme1.Info]\r\nBackgroundColor=255\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("rules.tss"), "[Scheme1.Rule1]\r\nName=r\r\n"));
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    std::vector<std::string> expected = BuiltinNames(EBuiltinSet::B);
    expected.insert(expected.end(), {"nameless.tss", "rules.tss"});
    EXPECT_EQ(Names(list), expected);
    EXPECT_EQ(list.Schemes()[expected.size() - 2]->BackgroundColor, 255u);
    EXPECT_EQ(list.Schemes().back()->RuleCount(), 1u);
    ASSERT_EQ(list.Skipped().size(), 2u);
    EXPECT_EQ(list.Skipped()[0].path, dir.File("binary.tss"));
    EXPECT_EQ(list.Skipped()[1].path, dir.File("other.tss"));
    EXPECT_NE(list.Skipped()[0].reason.find("Scheme"), std::string::npos);
    // Chosen by the name it is listed under.
    EXPECT_TRUE(list.SelectByCommand(CommandOf(list, "nameless.tss")));
    EXPECT_EQ(list.Current()->BackgroundColor, 255u);
}

TEST(SchemeListRefresh, TakesInTheFolderAndKeepsTheCurrentScheme) {
    CTempDir dir;
    WriteStyleSheet(dir, "a.tss", "Ay");
    WriteStyleSheet(dir, "c.tss", "Cee");
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    ASSERT_TRUE(list.SelectByName("Cee"));
    const auto current = list.Current();
    current->AppendRule(SStyleRule());  // edited in place, not saved
    ASSERT_TRUE(list.SelectByName("Ay"));
    const auto ay = list.Current();
    ASSERT_TRUE(list.ToggleHexMode());
    ASSERT_TRUE(list.ToggleHexMode());
    ASSERT_TRUE(list.SelectByName("Cee"));
    ASSERT_EQ(list.Current(), current);

    EXPECT_FALSE(list.Refresh(dir.Path(), false)) << "nothing changed";
    EXPECT_EQ(list.Current(), current);
    EXPECT_EQ(list.Current()->RuleCount(), 2u);

    WriteStyleSheet(dir, "b.tss", "Bee");
    EXPECT_TRUE(list.Refresh(dir.Path(), false));
    std::vector<std::string> expected = BuiltinNames(EBuiltinSet::B);
    expected.insert(expected.end(), {"Ay", "Bee", "Cee"});
    EXPECT_EQ(Names(list), expected);
    EXPECT_EQ(list.Current(), current) << "the same scheme, edits and all";
    EXPECT_EQ(list.CheckedCommand(), CommandOf(list, "Cee"));
    ASSERT_TRUE(list.SelectByName("Ay"));
    EXPECT_EQ(list.Current(), ay) << "an own copy of an unchanged file stays";

    // The file of the current scheme changes on disk: it stays in use as it is.
    ASSERT_TRUE(list.SelectByName("Cee"));
    WriteStyleSheet(dir, "c.tss", "Cee, changed on disk");
    EXPECT_FALSE(list.Refresh(dir.Path(), false)) << "the menu shows the same";
    EXPECT_EQ(list.Current(), current);
    EXPECT_EQ(Names(list).back(), "Cee");
    // Removed, it stays listed while in use; a file not in use goes.
    std::filesystem::remove(dir.File("c.tss"));
    std::filesystem::remove(dir.File("a.tss"));
    EXPECT_TRUE(list.Refresh(dir.Path(), false));
    expected = BuiltinNames(EBuiltinSet::B);
    expected.insert(expected.end(), {"Bee", "Cee"});
    EXPECT_EQ(Names(list), expected);
    EXPECT_EQ(list.Current(), current);
    EXPECT_EQ(list.CheckedCommand(), CommandOf(list, "Cee"));

    // The Hex Mode toggle still returns to the scheme before it; the removed
    // file, no longer in use, leaves the list.
    ASSERT_TRUE(list.SelectByName("Bee"));
    ASSERT_TRUE(list.ToggleHexMode());
    EXPECT_TRUE(list.Refresh(dir.Path(), false));
    EXPECT_EQ(Names(list).back(), "Bee");
    ASSERT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Bee");
}

TEST(SchemeListRescan, ListsShareNoSchemeAndAChangedFileIsReadAgain) {
    CTempDir dir;
    WriteStyleSheet(dir, "mine.tss", "Mine");
    CSchemeList first;
    CSchemeList second;
    first.Rescan(dir.Path(), false);
    second.Rescan(dir.Path(), false);
    ASSERT_TRUE(first.SelectByName("Mine"));
    ASSERT_TRUE(second.SelectByName("Mine"));
    EXPECT_NE(first.Current(), second.Current());
    first.Current()->Rule(0).SetName("edited in one console");
    first.Current()->AppendRule(SStyleRule());
    EXPECT_EQ(second.Current()->Rule(0).Name, "r") << "an edit stays in its own console";
    EXPECT_EQ(second.Current()->RuleCount(), 1u);
    CSchemeList afterwards;
    afterwards.Rescan(dir.Path(), false);
    EXPECT_EQ(afterwards.Schemes().back()->Rule(0).Name, "r") << "nor reaches a later console";
    EXPECT_EQ(second.Current()->GetPath(), dir.File("mine.tss"))
        << "a copy still saves to its file";

    // Rewritten (the size changes), the sheet is read again.
    WriteStyleSheet(dir, "mine.tss", "Mine, renamed");
    CSchemeList third;
    third.Rescan(dir.Path(), false);
    EXPECT_EQ(Names(third).back(), "Mine, renamed");
    // Rewritten with the same size, only the time tells.
    WriteStyleSheet(dir, "mine.tss", "Mine, RENAMED");
    const auto later =
        std::filesystem::last_write_time(dir.File("mine.tss")) + std::chrono::seconds(2);
    std::filesystem::last_write_time(dir.File("mine.tss"), later);
    third.Rescan(dir.Path(), false);
    EXPECT_EQ(Names(third).back(), "Mine, RENAMED");
}

// The name the listed sheet read from that file has; empty when none is.
std::string NameFrom(const std::string& folder, const std::string& file) {
    CSchemeList list;
    list.Rescan(folder, false);
    for (const auto& scheme : list.Schemes()) {
        if (scheme->GetPath() == folder + "/" + file) {
            return scheme->Name;
        }
    }
    return "";
}

// Rescans do not look at every sheet's time again while nothing in the
// folder changes; whichever way a sheet changes, the next rescan sees it.
TEST(SchemeListRescan, ASheetChangedOnDiskIsReadAgainHoweverItIsReached) {
    CTempDir root;
    const std::string folder = root.File("home/data");
    std::filesystem::create_directories(folder);
    const auto write = [](const std::string& path, const std::string& name) {
        ASSERT_TRUE(test::WriteFileBytes(path, "[Scheme1.Info]\r\nName=" + name + "\r\n"));
    };
    write(folder + "/plain.tss", "Plain");
    write(root.File("elsewhere.tss"), "Linked");
    ASSERT_EQ(::symlink(root.File("elsewhere.tss").c_str(), (folder + "/linked.tss").c_str()), 0);
    write(root.File("other-name.tss"), "Twin");
    std::filesystem::create_hard_link(root.File("other-name.tss"), folder + "/twin.tss");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(NameFrom(folder, "plain.tss"), "Plain");
        EXPECT_EQ(NameFrom(folder, "linked.tss"), "Linked");
        EXPECT_EQ(NameFrom(folder, "twin.tss"), "Twin");
    }

    // Appended to in place.
    std::ofstream(folder + "/plain.tss", std::ios::app) << "[Scheme1.Rule1]\r\nName=r\r\n";
    EXPECT_EQ(NameFrom(folder, "plain.tss"), "Plain") << "still the sheet it was";
    {
        std::ofstream(folder + "/plain.tss", std::ios::app) << "\r\n";
        std::fstream sheet(folder + "/plain.tss", std::ios::in | std::ios::out);
        sheet.seekp(std::string_view("[Scheme1.Info]\r\nName=").size());
        sheet << "Plum!";
    }
    EXPECT_EQ(NameFrom(folder, "plain.tss"), "Plum!") << "overwritten in place";

    // Changed through a link's target or a second name, in another folder.
    write(root.File("elsewhere.tss"), "Linked, changed");
    EXPECT_EQ(NameFrom(folder, "linked.tss"), "Linked, changed");
    {
        std::fstream twin(root.File("other-name.tss"), std::ios::in | std::ios::out);
        twin.seekp(std::string_view("[Scheme1.Info]\r\nName=").size());
        twin << "Tw1n";
    }
    EXPECT_EQ(NameFrom(folder, "twin.tss"), "Tw1n");

    // Sheets added, renamed and removed, in a folder of plain files only.
    const std::string only = root.File("only");
    std::filesystem::create_directories(only);
    write(only + "/first.tss", "First");
    EXPECT_EQ(NameFrom(only, "first.tss"), "First");
    EXPECT_EQ(NameFrom(only, "added.tss"), "");
    write(only + "/added.tss", "Added");
    EXPECT_EQ(NameFrom(only, "added.tss"), "Added");
    EXPECT_EQ(NameFrom(only, "added.tss"), "Added");
    std::filesystem::rename(only + "/added.tss", only + "/renamed.tss");
    EXPECT_EQ(NameFrom(only, "added.tss"), "");
    EXPECT_EQ(NameFrom(only, "renamed.tss"), "Added");
    std::filesystem::remove(only + "/renamed.tss");
    EXPECT_EQ(NameFrom(only, "renamed.tss"), "");
    EXPECT_EQ(NameFrom(only, "first.tss"), "First");

    // A link's target gone: no sheet, nor a sheet that could not be read.
    std::filesystem::remove(root.File("elsewhere.tss"));
    EXPECT_EQ(NameFrom(folder, "linked.tss"), "");
    CSchemeList list;
    list.Rescan(folder, false);
    EXPECT_TRUE(list.Skipped().empty());

    // Another folder now stands at the path: its parent was moved away.
    std::filesystem::rename(root.File("home"), root.File("moved"));
    std::filesystem::create_directories(folder);
    write(folder + "/plain.tss", "Plum?");
    EXPECT_EQ(NameFrom(folder, "plain.tss"), "Plum?");
    EXPECT_EQ(NameFrom(root.File("moved/data"), "plain.tss"), "Plum!");
}

TEST(SchemeListRescan, MissingFolderGivesTheBuiltinsAndForgetsTheSelection) {
    CTempDir dir;
    CSchemeList list;
    list.Rescan(dir.File("absent"), false);
    EXPECT_EQ(Names(list), BuiltinNames(EBuiltinSet::B));
    ASSERT_TRUE(list.SelectByName("Normal"));
    ASSERT_TRUE(list.ToggleHexMode());
    ASSERT_EQ(list.PreviousName(), "Normal");

    list.Rescan(dir.Path(), true);
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_EQ(list.PreviousName(), "");
    EXPECT_EQ(list.CheckedCommand(), 0);
}

TEST(SchemeListSelect, ASheetNamedLikeABuiltinGoesByItsFileNameAndTheBuiltinStaysReachable) {
    CTempDir dir;
    WriteStyleSheet(dir, "normal.tss", "Normal");
    WriteStyleSheet(dir, "hex.tss", "Hex Mode");
    // Cut short as a write stops: in a line, or after a rule said it applies
    // a format but not which (it would hide every byte).
    const std::string head = "[Scheme1.Info]\r\nName=Normal\r\n\r\n[Scheme1.Rule1]\r\nName=All\r\n";
    ASSERT_TRUE(test::WriteFileBytes(dir.File("cut.tss"), head + "Format_ApplyFormat=TR"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("cut2.tss"), head + "Format_ApplyFormat=TRUE\r\n"));
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    std::vector<std::string> expected = BuiltinNames(EBuiltinSet::B);
    expected.insert(expected.end(), {"hex.tss", "normal.tss"});
    EXPECT_EQ(Names(list), expected);
    ASSERT_EQ(list.Skipped().size(), 2u);
    EXPECT_EQ(list.Skipped()[0].path, dir.File("cut.tss"));
    EXPECT_EQ(list.Skipped()[0].reason, "it is cut short (its last line has no line end)");
    EXPECT_EQ(list.Skipped()[1].reason,
              "it is cut short (rule 1 applies a format without saying which)");

    ASSERT_TRUE(list.SelectByName("Normal"));
    EXPECT_TRUE(list.Current()->IsBuiltIn());
    ASSERT_TRUE(list.SelectByCommand(CommandOf(list, "normal.tss")));
    const auto file = list.Current();
    EXPECT_EQ(file->GetPath(), dir.File("normal.tss"));
    EXPECT_EQ(list.CheckedCommand(), CSchemeList::CommandAt(list.Schemes().size() - 1));

    // Deleted while in use: it stays in use, and "Normal" is still the built-in.
    std::filesystem::remove(dir.File("normal.tss"));
    list.Refresh(dir.Path(), false);
    EXPECT_EQ(list.Current(), file);
    ASSERT_TRUE(list.SelectByName("Normal"));
    EXPECT_TRUE(list.Current()->IsBuiltIn());
    EXPECT_TRUE(list.SelectByName("Hex Mode"));
    EXPECT_TRUE(list.Current()->IsBuiltIn());

    EXPECT_FALSE(list.SelectByName("normal"));
    EXPECT_FALSE(list.SelectByName("Nothing"));
    EXPECT_TRUE(list.Current()->IsBuiltIn()) << "an unknown name changes nothing";
}

TEST(SchemeListSelect, CheckedCommandFollowsTheCurrentScheme) {
    CSchemeList list;
    list.Rescan("", true);
    EXPECT_EQ(list.CheckedCommand(), 0);
    for (const auto& entry : list.MenuEntries()) {
        ASSERT_TRUE(list.SelectByCommand(entry.command));
        EXPECT_EQ(list.CheckedCommand(), entry.command);
        EXPECT_EQ(list.Current()->Name, entry.text);
    }
    const auto last = list.Current();
    EXPECT_FALSE(list.SelectByCommand(CSchemeList::kFirstMenuCommand + 99));
    EXPECT_EQ(list.Current(), last);
}

TEST(SchemeListToggle, NormalAndHexModeAlternate) {
    CSchemeList list;
    list.Rescan("", false);
    ASSERT_TRUE(list.SelectByName("Normal"));
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Hex Mode");
    EXPECT_EQ(list.PreviousName(), "Normal");
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Normal");
    EXPECT_EQ(list.PreviousName(), "");
}

TEST(SchemeListToggle, HexModeFromTheMenuGoesBackToNormal) {
    CSchemeList list;
    list.Rescan("", true);
    ASSERT_TRUE(list.SelectByCommand(CommandOf(list, "Normal (Local Echo)")));
    ASSERT_TRUE(list.SelectByCommand(CommandOf(list, "Hex Mode")));
    EXPECT_EQ(list.PreviousName(), "") << "a menu choice is no toggle";
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Normal");
}

TEST(SchemeListToggle, ReturnsToTheUserSchemeAfterAMenuChoice) {
    CTempDir dir;
    WriteStyleSheet(dir, "mine.tss", "Mine");
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    ASSERT_TRUE(list.SelectByName("Mine"));
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Hex Mode");
    ASSERT_TRUE(list.SelectByCommand(CommandOf(list, "Normal (Local Echo)")));
    EXPECT_EQ(list.PreviousName(), "Mine");
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Mine");
    EXPECT_EQ(list.PreviousName(), "");
}

TEST(SchemeListToggle, WithoutACurrentSchemeSelectsNormal) {
    CSchemeList list;
    list.Rescan("", false);
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current()->Name, "Normal");
    EXPECT_EQ(list.PreviousName(), "");
}

TEST(SchemeListToggle, AMissingHexModeSelectsNothingButKeepsThePreviousName) {
    CSchemeList list;
    auto mine = std::make_shared<CStyleScheme>();
    mine->Name = "Mine";
    list.Append(mine);
    list.MakeCurrent(mine);
    EXPECT_FALSE(list.ToggleHexMode());
    EXPECT_EQ(list.Current(), mine);
    EXPECT_EQ(list.PreviousName(), "Mine");
    EXPECT_TRUE(list.ToggleHexMode());
    EXPECT_EQ(list.Current(), mine);
    EXPECT_EQ(list.PreviousName(), "");
}

TEST(SchemeListMenu, OnlyTheFirstHundredSchemesGetCommands) {
    CTempDir dir;
    const std::size_t builtins = BuiltinNames(EBuiltinSet::B).size();
    for (std::size_t i = builtins; i < 130; ++i) {
        const std::string n = std::to_string(1000 + i);
        WriteStyleSheet(dir, "s" + n + ".tss", "Style " + n);
    }
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    ASSERT_EQ(list.Schemes().size(), 130u);
    EXPECT_EQ(list.MenuEntries().size(), 100u);
    EXPECT_EQ(list.HiddenCount(), 30u);
    EXPECT_EQ(list.CommandOf(list.Schemes()[99].get()), 34099);
    EXPECT_EQ(list.MenuEntries().back().command, 34099);
    for (std::size_t i = 0; i < list.Schemes().size(); ++i) {
        const std::uint16_t command = list.CommandOf(list.Schemes()[i].get());
        EXPECT_LT(command, 34100) << i;
        EXPECT_EQ(command == 0, i >= 100) << i;
    }

    ASSERT_TRUE(list.SelectByName(list.Schemes()[120]->Name));
    EXPECT_EQ(list.CheckedCommand(), 0) << "a scheme beyond the menu has no mark";
    ASSERT_TRUE(list.SelectByName("Normal"));
    EXPECT_FALSE(list.SelectByCommand(0)) << "0 must not reach the schemes beyond the menu";
    EXPECT_EQ(list.Current()->Name, "Normal");
}

TEST(SchemeListAppend, AddsASchemeOnceAndGivesItTheNextCommand) {
    CSchemeList list;
    list.Rescan("", false);
    const std::size_t before = list.Schemes().size();
    auto added = std::make_shared<CStyleScheme>();
    added->Name = "New";
    EXPECT_FALSE(list.Contains(added.get()));
    EXPECT_TRUE(list.Append(added));
    EXPECT_FALSE(list.Append(added));
    EXPECT_FALSE(list.Append(nullptr));
    ASSERT_EQ(list.Schemes().size(), before + 1);
    EXPECT_EQ(list.Schemes().back(), added);
    EXPECT_TRUE(list.Contains(added.get()));
    EXPECT_EQ(added->MenuCommand, CSchemeList::kFirstMenuCommand + before);
    EXPECT_EQ(CommandOf(list, "New"), added->MenuCommand);
}

TEST(SchemeListReplace, AFileIsFoundByItsPathAndReplacedInPlace) {
    test::CTempDir dir;
    const std::string path = dir.File("mine.tss");
    ASSERT_TRUE(test::WriteFileBytes(path, "[Scheme1.Info]\r\nName=Mine\r\n"));
    CSchemeList list;
    list.Rescan(dir.Path(), false);
    ASSERT_TRUE(list.SelectByName("Mine"));
    const auto old = list.Current();
    const std::uint16_t command = old->MenuCommand;
    EXPECT_EQ(list.FindByPath(dir.Path() + "/./mine.tss"), old);
    EXPECT_EQ(list.FindByPath(dir.File("other.tss")), nullptr);
    EXPECT_EQ(list.FindByPath(""), nullptr) << "built-in schemes have no file";

    auto again = std::make_shared<CStyleScheme>();
    ASSERT_TRUE(again->Load(path, false));
    const std::size_t count = list.Schemes().size();
    EXPECT_TRUE(list.Replace(old.get(), again));
    EXPECT_EQ(list.Schemes().size(), count);
    EXPECT_EQ(list.Current(), again);
    EXPECT_EQ(again->MenuCommand, command);
    EXPECT_FALSE(list.Replace(old.get(), again)) << "no longer listed";
}

}  // namespace
}  // namespace quillpad
