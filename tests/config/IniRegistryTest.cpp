// The registry mirror of INI documents: sections as subkeys, entries as text
// values, on the current user's hive.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "config/CIniDocument.h"
#include "platform/CRegistryStore.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkbayHome.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kKey = "Software\\Korvane\\Workbay\\Plugins\\Quillpad2";

// Points the hive at a fresh folder for one test.
class IniRegistry : public ::testing::Test {
  protected:
    CRegistryStore Store() const { return CRegistryStore::Open(ERegistryRoot::CurrentUser); }
    std::string HiveFile() const { return m_home.File("registry/HKEY_CURRENT_USER.hive"); }

    test::CWorkbayHome m_home;
};

TEST_F(IniRegistry, SectionsAndEntriesRoundTrip) {
    CIniDocument doc;
    doc.LoadText(
        "[General]\nOutgoingCRToCRLF=FALSE\nDataDirectory=/home/me/Quillpad Data\n"
        "[Text Info]\nShowTime=TRUE\nbare line\nShowTime=ignored first\n"
        "[Schemes]\nDefault=Normal\nspaced key = spaced value \n",
        true);
    doc.SaveToRegistry(ERegistryRoot::CurrentUser, kKey);

    std::string data;
    const std::string textInfo = std::string(kKey) + "\\Text Info";
    ASSERT_EQ(Store().QueryValue(textInfo, "", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "bare line");  // a bare line is the unnamed default value
    ASSERT_EQ(Store().QueryValue(textInfo, "ShowTime", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "ignored first");  // the later of two equal keys is stored

    CIniDocument back;
    ASSERT_TRUE(back.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(back.ReadString("General", "DataDirectory", ""), "/home/me/Quillpad Data");
    EXPECT_FALSE(back.ReadBool("General", "OutgoingCRToCRLF", true));
    EXPECT_EQ(back.ReadString("Schemes", "spaced key ", ""), " spaced value ");
    EXPECT_EQ(back.ReadString("Text Info", "", ""), "bare line");
    EXPECT_EQ(back.GetRegistryKeyPath(), kKey);
    // Subkeys come back in name order, as the registry enumerates them.
    ASSERT_EQ(back.SectionCount(), 3u);
    EXPECT_EQ(back.SectionAt(0)->name, "General");
    EXPECT_EQ(back.SectionAt(1)->name, "Schemes");
    EXPECT_EQ(back.SectionAt(2)->name, "Text Info");
}

TEST_F(IniRegistry, AMissingKeyLoadsNothingAndFails) {
    CIniDocument doc;
    doc.LoadText("[Old]\nk=v\n", true);
    EXPECT_FALSE(doc.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(doc.SectionCount(), 0u);
    EXPECT_EQ(doc.ReadString("General", "k", "default"), "default");
    EXPECT_FALSE(std::filesystem::exists(m_home.File("registry")));  // a read creates nothing
}

TEST_F(IniRegistry, SubkeysWithoutValuesGiveNoSection) {
    ASSERT_EQ(Store().CreateKey(std::string(kKey) + "\\Empty"), ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue(kKey, "direct", "ignored"), ERegistryStatus::Success);
    CIniDocument doc;
    EXPECT_TRUE(doc.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(doc.SectionCount(), 0u);
}

TEST_F(IniRegistry, LoadingHonoursTheNameAndDataLimits) {
    const std::string section = std::string(kKey) + "\\Long";
    ASSERT_EQ(Store().CreateKey(section), ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue(section, "data", std::string(5000, 'd')), ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue(section, std::string(255, 'n'), "fits"), ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue(section, std::string(256, 'n'), "too long"),
              ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue(section, "nul", std::string("a\0b", 3)), ERegistryStatus::Success);

    CIniDocument doc;
    ASSERT_TRUE(doc.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(doc.ReadString("Long", "data", ""), std::string(4095, 'd'));
    EXPECT_EQ(doc.ReadString("Long", std::string(255, 'n'), ""), "fits");
    EXPECT_EQ(doc.ReadString("Long", "nul", ""), std::string("a\0b", 3));
    EXPECT_EQ(doc.SectionAt(0)->EntryCount(), 3u);  // the 256-byte name is skipped
}

TEST_F(IniRegistry, SavingNeverDeletes) {
    CIniDocument doc;
    doc.WriteString("General", "kept", "1");
    doc.WriteString("General", "dropped", "2");
    doc.WriteString("Gone", "x", "3");
    doc.SaveToRegistry(ERegistryRoot::CurrentUser, kKey);

    CIniDocument smaller;
    smaller.WriteString("General", "kept", "changed");
    smaller.SaveToRegistry(ERegistryRoot::CurrentUser, kKey);

    CIniDocument back;
    ASSERT_TRUE(back.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(back.ReadString("General", "kept", ""), "changed");
    EXPECT_EQ(back.ReadString("General", "dropped", ""), "2");
    EXPECT_EQ(back.ReadString("Gone", "x", ""), "3");
}

TEST_F(IniRegistry, SaveWithoutArgumentsUsesWhatWasRemembered) {
    CIniDocument doc;
    doc.WriteString("General", "k", "v");
    doc.SaveToRegistry();  // nothing remembered: nothing written
    EXPECT_FALSE(std::filesystem::exists(HiveFile()));

    EXPECT_FALSE(doc.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    doc.WriteString("General", "k", "remembered");
    doc.SaveToRegistry();
    std::string data;
    ASSERT_EQ(Store().QueryValue(std::string(kKey) + "\\General", "k", data),
              ERegistryStatus::Success);
    EXPECT_EQ(data, "remembered");

    doc.SaveToRegistry(std::nullopt, "Software\\Other");
    EXPECT_EQ(doc.GetRegistryKeyPath(), "Software\\Other");
    EXPECT_EQ(Store().QueryValue("Software\\Other\\General", "k", data), ERegistryStatus::Success);
}

TEST_F(IniRegistry, ASaveStopsAtTheFirstRefusedSection) {
    CIniDocument doc;
    doc.WriteString("First", "a", "1");
    doc.WriteString(std::string(300, 'x'), "b", "2");  // too long for a key name
    doc.WriteString("Third", "c", "3");
    doc.SaveToRegistry(ERegistryRoot::CurrentUser, kKey);
    CIniDocument back;
    ASSERT_TRUE(back.LoadFromRegistry(ERegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(back.ReadString("First", "a", ""), "1");
    EXPECT_FALSE(Store().KeyExists(std::string(kKey) + "\\Third"));
}

TEST_F(IniRegistry, ACorruptHiveIsNeitherReadNorOverwritten) {
    std::filesystem::create_directories(m_home.File("registry"));
    const std::string garbage = "[Software\\Korvane]\nthis is not a value line\n";
    ASSERT_TRUE(WriteFileBytes(HiveFile(), garbage));
    CIniDocument doc;
    EXPECT_FALSE(doc.LoadFromRegistry(ERegistryRoot::CurrentUser, "Software\\Korvane"));
    doc.WriteString("General", "k", "v");
    doc.SaveToRegistry();
    EXPECT_EQ(ReadFileBytes(HiveFile()), garbage);
}

TEST_F(IniRegistry, TheHiveFollowsTheEnvironment) {
    EXPECT_EQ(CRegistryStore::DefaultFolder(), m_home.File("registry"));
    EXPECT_EQ(Store().FilePath(), HiveFile());
    ::unsetenv("WORKBAY_HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    const std::string savedConfig = config;
    EXPECT_EQ(CRegistryStore::DefaultFolder(), savedConfig + "/Workbay/registry");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(CRegistryStore::DefaultFolder(),
              std::string(std::getenv("HOME")) + "/.config/Workbay/registry");
    ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

}  // namespace
}  // namespace quillpad
