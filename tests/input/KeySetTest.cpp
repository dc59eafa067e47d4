#include "input/CKeySet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

CKeySet KeySetFromText(const std::string& text) {
    CKeySet keySet;
    keySet.LoadText(text, true);
    return keySet;
}

SKeyDispatch Press(const CKeySet& keySet, int keyNumber, bool ctrl = false, bool shift = false,
                   bool alt = false) {
    return DispatchFunctionKey(keySet, keyNumber, SKeyModifiers{ctrl, shift, alt});
}

TEST(KeySetFile, FirstStartWritesTheDefaultsInTheirLayout) {
    CTempDir dir;
    const std::string path = dir.File(CKeySet::kDefaultFileName);
    CKeySet keySet;
    ASSERT_EQ(keySet.LoadOrCreate(path), EKeySetStart::Created);
    EXPECT_EQ(keySet.GetPath(), path);
    EXPECT_EQ(ReadFileBytes(path),
              "[Shortcuts]\r\n"
              "CTRL_F1=\r\nCTRL_F1_Name=\r\n"
              "CTRL_F2=\r\nCTRL_F2_Name=\r\n"
              "CTRL_F3=\r\nCTRL_F3_Name=\r\n"
              "CTRL_F5=\r\nCTRL_F5_Name=\r\n"
              "CTRL_F7=\r\nCTRL_F7_Name=\r\n"
              "CTRL_F8=\r\nCTRL_F8_Name=\r\n"
              "CTRL_F9=\r\nCTRL_F9_Name=\r\n"
              "CTRL_F10=\r\nCTRL_F10_Name=\r\n"
              "CTRL_F11=\r\nCTRL_F11_Name=\r\n"
              "CTRL_F12=\r\nCTRL_F12_Name=\r\n"
              "F2=\r\nF2_Name=\r\n"
              "F3=@DevInfo\r\nF3_Name=\r\n"
              "F4=&QbusMasterReportDevices 0,true\r\nF4_Name=\r\n"
              "F5=@Firmware\r\nF5_Name=\r\n"
              "F6=@SystemClock\r\nF6_Name=\r\n"
              "F7=@Program\r\nF7_Name=\r\n"
              "F8=@SerialComm\r\nF8_Name=\r\n"
              "F9=\r\nF9_Name=\r\n"
              "F10=&ProgramRestart\r\nF10_Name=\r\n"
              "F11=\r\nF11_Name=\r\n"
              "F12=\r\nF12_Name=\r\n"
              "\r\n");
    // The second start reads the file it wrote, and leaves it as it was.
    const std::string written = ReadFileBytes(path);
    CKeySet again;
    EXPECT_EQ(again.LoadOrCreate(path), EKeySetStart::Loaded);
    EXPECT_EQ(again.Macro("F10"), "&ProgramRestart");
    EXPECT_EQ(ReadFileBytes(path), written);
}

TEST(KeySetFile, DefaultsServeWhenTheFileCannotBeReadOrWritten) {
    CTempDir dir;
    const std::string earlier = dir.File("Earlier.keyset");
    ASSERT_TRUE(WriteFileBytes(earlier, "[Shortcuts]\r\nF3=old\r\n"));
    CKeySet keySet;
    ASSERT_EQ(keySet.LoadOrCreate(earlier), EKeySetStart::Loaded);
    EXPECT_EQ(keySet.Macro("F5"), "") << "no defaults are mixed into a file";

    // A folder of that name exists, but no load can read it; it stays as it is.
    const std::string unreadable = dir.File("Broken.keyset");
    std::filesystem::create_directory(unreadable);
    EXPECT_EQ(keySet.LoadOrCreate(unreadable), EKeySetStart::Unreadable);
    EXPECT_EQ(keySet.GetPath(), "") << "nothing may be saved over it";
    EXPECT_EQ(keySet.Macro("F3"), "@DevInfo");
    EXPECT_TRUE(std::filesystem::is_directory(unreadable));

    ASSERT_EQ(keySet.LoadOrCreate(earlier), EKeySetStart::Loaded);
    const std::string unwritable = dir.File("no such folder/My Keys.keyset");
    EXPECT_EQ(keySet.LoadOrCreate(unwritable), EKeySetStart::DefaultsNotSaved);
    EXPECT_EQ(keySet.GetPath(), "") << "a later save must not go to the earlier file";
    EXPECT_EQ(keySet.Macro("F3"), "@DevInfo");
    EXPECT_EQ(ReadFileBytes(earlier), "[Shortcuts]\r\nF3=old\r\n");
}

TEST(KeySetFile, AFileWithoutTheShortcutsSectionIsNoKeySet) {
    CTempDir dir;
    CKeySet keySet;
    // Binary bytes, and another program's INI file: both read as documents.
    const std::string binary = dir.File("binary.keyset");
    const std::string bytes(
        "\x7f"
        "ELF\x02\x01\0[x]\nF3=y\n",
        16);
    ASSERT_TRUE(WriteFileBytes(binary, bytes));
    const std::string other = dir.File("other.keyset");
    ASSERT_TRUE(WriteFileBytes(other, "[Settings]\r\nF3=not a macro\r\n"));
    for (const std::string& path : {binary, other}) {
        EXPECT_EQ(keySet.LoadOrCreate(path), EKeySetStart::Unreadable) << path;
        EXPECT_EQ(keySet.Macro("F3"), "@DevInfo") << path;
        EXPECT_EQ(keySet.GetPath(), "") << "nothing may be saved over it";
        EXPECT_EQ(keySet.SectionCount(), 1u) << "none of the file is kept";
    }
    EXPECT_EQ(ReadFileBytes(binary), bytes);

    // An empty file is an empty key set, as a user may make one.
    const std::string empty = dir.File("empty.keyset");
    ASSERT_TRUE(WriteFileBytes(empty, ""));
    EXPECT_EQ(keySet.LoadOrCreate(empty), EKeySetStart::Loaded);
    EXPECT_EQ(keySet.Macro("F3"), "");
    EXPECT_EQ(keySet.GetPath(), empty);
}

TEST(KeySetFile, DefaultsReplaceTheirOwnEntriesOnly) {
    CKeySet keySet =
        KeySetFromText("[Shortcuts]\nF1=one\nF3=mine\nF3_Name=my info\nF3=second\n[Other]\nF3=x\n");
    keySet.ApplyDefaultShortcuts();
    EXPECT_EQ(keySet.Macro("F3"), "@DevInfo");
    EXPECT_EQ(keySet.Description("F3"), "");
    EXPECT_EQ(keySet.Macro("F1"), "one");
    EXPECT_EQ(keySet.ReadString("Other", "F3", "-"), "x");
    const ByteString text = keySet.SaveText();
    EXPECT_TRUE(
        text.starts_with("[Shortcuts]\nF1=one\nF3=@DevInfo\nF3_Name=\nF3=second\n"
                         "CTRL_F1=\nCTRL_F1_Name=\nCTRL_F2=\n"))
        << "a second F3 stays, and missing rows are appended in table order:\n"
        << text;
    EXPECT_TRUE(text.ends_with("F12_Name=\n\n[Other]\nF3=x\n\n")) << text;
}

TEST(KeySetDispatch, DefaultKeysRunAbilitiesAndGroups) {
    CKeySet keySet;
    keySet.ApplyDefaultShortcuts();

    const SKeyDispatch f3 = Press(keySet, 3);
    EXPECT_EQ(f3.action, EFunctionKeyAction::ShowAbilityGroup);
    EXPECT_EQ(f3.text, "DevInfo");

    const SKeyDispatch f10 = Press(keySet, 10);
    EXPECT_EQ(f10.action, EFunctionKeyAction::RunAbility);
    EXPECT_EQ(f10.text, "ProgramRestart");

    const SKeyDispatch f4 = Press(keySet, 4);
    EXPECT_EQ(f4.action, EFunctionKeyAction::RunAbility);
    EXPECT_EQ(f4.text, "QbusMasterReportDevices 0,true");

    EXPECT_EQ(Press(keySet, 2).action, EFunctionKeyAction::NotHandled) << "F2 is empty";
    EXPECT_EQ(Press(keySet, 1).action, EFunctionKeyAction::NotHandled) << "F1 has no default";

    const CKeySet empty;
    EXPECT_EQ(Press(empty, 3).action, EFunctionKeyAction::NotHandled);
    EXPECT_EQ(empty.SectionCount(), 0u) << "a lookup must not add a section to save";
}

TEST(KeySetDispatch, ByteMacrosAreExpandedAbilitiesAreNot) {
    CTempDir dir;
    const std::string path = dir.File("k.keyset");
    ASSERT_TRUE(WriteFileBytes(path, "[Shortcuts]\r\nCTRL_F3=ver\\r\r\nF5=\\z\r\nF6=&a\\nb\r\n"));
    CKeySet keySet;
    ASSERT_TRUE(keySet.LoadFile(path, false, true));

    const SKeyDispatch ctrlF3 = Press(keySet, 3, true);
    EXPECT_EQ(ctrlF3.action, EFunctionKeyAction::SendBytes);
    EXPECT_EQ(ctrlF3.bytes, "\x76\x65\x72\x0D");
    EXPECT_FALSE(ctrlF3.truncated);
    const SKeyDispatch empty = Press(keySet, 5);
    EXPECT_EQ(empty.action, EFunctionKeyAction::SendBytes) << "consumed though nothing is sent";
    EXPECT_EQ(empty.bytes, "");
    EXPECT_EQ(Press(keySet, 6).text, "a\\nb");
}

TEST(KeySetDispatch, ModifiersPickTheEntry) {
    const CKeySet keySet = KeySetFromText(
        "[Shortcuts]\nF3=plain\nCTRL_F3=ctrl\nF1=help\nCTRL_F4=four\nCTRL_F6=six\nF0=x\nF13=x\n");
    EXPECT_EQ(Press(keySet, 3, false, true, false).action, EFunctionKeyAction::NotHandled);
    EXPECT_EQ(Press(keySet, 3, false, false, true).action, EFunctionKeyAction::NotHandled);
    EXPECT_EQ(Press(keySet, 3, false, true, true).action, EFunctionKeyAction::NotHandled);
    EXPECT_EQ(Press(keySet, 3, true, true, false).bytes, "ctrl");
    EXPECT_EQ(Press(keySet, 3, true, false, true).bytes, "ctrl");
    EXPECT_EQ(Press(keySet, 3).bytes, "plain");
    // Keys the table leaves out still bind; there is no F0 or F13.
    EXPECT_EQ(Press(keySet, 1).bytes, "help");
    EXPECT_EQ(Press(keySet, 4, true).bytes, "four");
    EXPECT_EQ(Press(keySet, 6, true).bytes, "six");
    EXPECT_EQ(Press(keySet, 0).action, EFunctionKeyAction::NotHandled);
    EXPECT_EQ(Press(keySet, 13).action, EFunctionKeyAction::NotHandled);
}

TEST(KeySetDispatch, AnExpansionLongerThanTheBufferIsCutAndSaysSo) {
    const std::string fits(kMaxSendBytes, 'a');
    const SKeyDispatch whole = Press(KeySetFromText("[Shortcuts]\nF9=" + fits + "\n"), 9);
    EXPECT_EQ(whole.bytes, fits);
    EXPECT_FALSE(whole.truncated);

    // The last escape's CR LF straddles the end: its CR is the last byte sent.
    const std::string over = std::string(kMaxSendBytes - 1, 'b') + "\\n" + "tail";
    const SKeyDispatch cut = Press(KeySetFromText("[Shortcuts]\nF9=" + over + "\n"), 9);
    EXPECT_TRUE(cut.truncated);
    ASSERT_EQ(cut.bytes.size(), kMaxSendBytes);
    EXPECT_EQ(cut.bytes.back(), '\r');
    EXPECT_EQ(cut.bytes.substr(0, kMaxSendBytes - 1), std::string(kMaxSendBytes - 1, 'b'));
}

}  // namespace
}  // namespace quillpad
