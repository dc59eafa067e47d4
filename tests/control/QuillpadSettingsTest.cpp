// The console's settings: folders, the hidden switch, the defaults of an
// empty registry, reading and storing, and the registry round trip.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "control/CQuillpadSettings.h"
#include "platform/CRegistryStore.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkbayHome.h"

namespace quillpad {
namespace {

using test::CTempDir;

const std::string kLogging = std::string(kSettingsRegistryKey) + "\\Logging";

// Each test gets an install path and a registry of its own.
class QuillpadSettings : public ::testing::Test {
  protected:
    CRegistryStore Registry() const { return CRegistryStore::Open(ERegistryRoot::CurrentUser); }
    void Set(const std::string& section, const std::string& name, const std::string& data) {
        const std::string key = std::string(kSettingsRegistryKey) + "\\" + section;
        ASSERT_EQ(Registry().CreateKey(key), ERegistryStatus::Success);
        ASSERT_EQ(Registry().SetValue(key, name, data), ERegistryStatus::Success);
    }
    std::optional<std::string> Get(const std::string& section, const std::string& name) const {
        std::string data;
        if (Registry().QueryValue(std::string(kSettingsRegistryKey) + "\\" + section, name, data) !=
            ERegistryStatus::Success) {
            return std::nullopt;
        }
        return data;
    }

    test::CWorkbayHome m_home;
};

TEST_F(QuillpadSettings, ConstructionCreatesBothFoldersAndReadsNothing) {
    Set("Schemes", "DefaultSchemeName", "Green");
    CQuillpadSettings s;
    EXPECT_EQ(s.m_dataDirectory, m_home.File("Quillpad Data"));
    EXPECT_EQ(s.m_logsDirectory, m_home.File("Quillpad Logs"));
    EXPECT_TRUE(std::filesystem::is_directory(s.m_dataDirectory));
    EXPECT_TRUE(std::filesystem::is_directory(s.m_logsDirectory));
    EXPECT_EQ(s.m_defaultSchemeName, "Normal");
    EXPECT_EQ(s.SectionCount(), 0u);
    EXPECT_FALSE(s.m_showAllSources);
}

TEST_F(QuillpadSettings, TheHiddenSwitchIsTheExistenceOfItsValue) {
    ASSERT_EQ(Registry().CreateKey("Software\\Korvane\\Workbay"), ERegistryStatus::Success);
    ASSERT_EQ(Registry().SetValue("Software\\Korvane\\Workbay", "X_Open_Monitor", ""),
              ERegistryStatus::Success);  // any data, even none
    EXPECT_TRUE(CQuillpadSettings().m_showAllSources);
    ASSERT_EQ(Registry().DeleteValue("Software\\Korvane\\Workbay", "X_Open_Monitor"),
              ERegistryStatus::Success);
    EXPECT_FALSE(CQuillpadSettings().m_showAllSources);
}

TEST_F(QuillpadSettings, AnEmptyRegistryGivesEveryDefault) {
    CQuillpadSettings s;
    EXPECT_FALSE(s.LoadFromRegistry());  // the key is missing
    EXPECT_EQ(s.m_defaultSchemeName, "Normal");
    EXPECT_EQ(s.m_keySetPath, PathCombine(s.m_dataDirectory, "My Keys.keyset"));
    EXPECT_EQ(s.m_logFolder, s.m_logsDirectory);
    EXPECT_FALSE(s.m_logAsPlainText);
    EXPECT_FALSE(s.m_logAsFormattedText);
    EXPECT_TRUE(s.m_logAsBinaryLog);
    EXPECT_TRUE(s.m_insertTimestampsInText);
    EXPECT_FALSE(s.m_outgoingCRToCRLF);
    EXPECT_TRUE(s.m_showAbsoluteTime);
    EXPECT_TRUE(s.m_showRelativeTime);
    EXPECT_TRUE(s.m_showDataDirection);
    EXPECT_TRUE(s.m_showRelatedData);
    EXPECT_FALSE(s.m_transmitArrowCharacters);
}

TEST_F(QuillpadSettings, OnlyTheExactTextTrueReadsTrue) {
    Set("General", "OutgoingCRToCRLF", "true");
    Set("Logging", "LogAsPlainText", "1");
    Set("Logging", "LogAsFormattedText", "TRUE ");
    Set("Logging", "LogAsWorkbayLog", "yes");  // default TRUE, present: false
    Set("Key Mapping", "TransmitArrowCharacters", "TRUE");
    Set("Text Info", "ShowRelatedData", "");
    CQuillpadSettings s;
    EXPECT_TRUE(s.LoadFromRegistry());
    EXPECT_FALSE(s.m_outgoingCRToCRLF);
    EXPECT_FALSE(s.m_logAsPlainText);
    EXPECT_FALSE(s.m_logAsFormattedText);
    EXPECT_FALSE(s.m_logAsBinaryLog);
    EXPECT_TRUE(s.m_transmitArrowCharacters);
    EXPECT_FALSE(s.m_showRelatedData);
    EXPECT_TRUE(s.m_showAbsoluteTime) << "missing keys keep their defaults";
}

TEST_F(QuillpadSettings, HistoryMemoryBudgetDefaultsTo256AndKeepsZeroAsNoLimit) {
    {
        CQuillpadSettings s;
        s.LoadFromRegistry();
        EXPECT_EQ(s.m_historyMemoryMB, 256u);
        s.m_historyMemoryMB = 0;
        s.SaveToRegistry();
        EXPECT_EQ(Get("General", "HistoryMemoryMB"), "0");
    }
    CQuillpadSettings b;
    b.LoadFromRegistry();
    EXPECT_EQ(b.m_historyMemoryMB, 0u);
    Set("General", "HistoryMemoryMB", "-5");
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_historyMemoryMB, 256u) << "a negative budget is the default";
    Set("General", "HistoryMemoryMB", "1024");
    CQuillpadSettings d;
    d.LoadFromRegistry();
    EXPECT_EQ(d.m_historyMemoryMB, 1024u);
}

TEST_F(QuillpadSettings, TimeStampsRoundTripThroughDefaultsAndSavedState) {
    {
        CQuillpadSettings s;
        s.LoadFromRegistry();
        EXPECT_EQ(s.m_stampMode, EStampMode::Off);
        EXPECT_EQ(s.m_stampGapMs, 100u);
        s.m_stampMode = EStampMode::SincePrevious;
        s.m_stampGapMs = 1000;
        s.SaveToRegistry();  // "Make THIS my Default"
        EXPECT_EQ(Get("Time Stamps", "Mode"), "Since Previous Line");
        EXPECT_EQ(Get("Time Stamps", "GapMs"), "1000");
    }
    CQuillpadSettings b;
    b.LoadFromRegistry();
    EXPECT_EQ(b.m_stampMode, EStampMode::SincePrevious);
    EXPECT_EQ(b.m_stampGapMs, 1000u);

    // The host's saved state is the document's text.
    b.m_stampMode = EStampMode::Absolute;
    b.m_stampGapMs = 10;
    b.Store();
    CQuillpadSettings restored;
    restored.LoadText(b.SaveText(), true);
    restored.Read();
    EXPECT_EQ(restored.m_stampMode, EStampMode::Absolute);
    EXPECT_EQ(restored.m_stampGapMs, 10u);

    Set("Time Stamps", "Mode", "Sometimes");
    Set("Time Stamps", "GapMs", "0");
    CQuillpadSettings bad;
    bad.LoadFromRegistry();
    EXPECT_EQ(bad.m_stampMode, EStampMode::Off) << "an unknown form shows no stamps";
    EXPECT_EQ(bad.m_stampGapMs, 100u) << "a gap of nothing is the default";
}

TEST_F(QuillpadSettings, TheWaitForALostDeviceIsEndlessUnlessLimited) {
    {
        CQuillpadSettings s;
        s.LoadFromRegistry();
        EXPECT_EQ(s.m_waitForDeviceSeconds, 0u);
        s.m_waitForDeviceSeconds = 120;
        s.SaveToRegistry();
        EXPECT_EQ(Get("General", "WaitForDeviceSeconds"), "120");
    }
    CQuillpadSettings b;
    b.LoadFromRegistry();
    EXPECT_EQ(b.m_waitForDeviceSeconds, 120u);
    Set("General", "WaitForDeviceSeconds", "-3");
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_waitForDeviceSeconds, 0u) << "a negative limit is none";
}

TEST_F(QuillpadSettings, AnEmptyKeySetPathFallsBackToTheDefaultFile) {
    Set("Schemes", "DefaultKeySettingName", "");
    Set("Schemes", "DefaultSchemeName", "");
    CQuillpadSettings s;
    s.LoadFromRegistry();
    EXPECT_EQ(s.m_keySetPath, s.DefaultKeySetPath());
    EXPECT_EQ(s.m_defaultSchemeName, "") << "only the key set path has that rule";
}

TEST_F(QuillpadSettings, StoreWritesTheLogFolderOnlyWhenItDiffers) {
    CQuillpadSettings s;
    s.Store();
    EXPECT_EQ(s.ReadString("Logging", "LogToFolder", "<none>"), "<none>");
    EXPECT_EQ(s.ReadString("Logging", "LogAsWorkbayLog", ""), "TRUE");
    EXPECT_EQ(s.ReadString("General", "OutgoingCRToCRLF", ""), "FALSE");
    EXPECT_EQ(s.ReadString("Schemes", "DefaultSchemeName", ""), "Normal");
    EXPECT_EQ(s.ReadString("Schemes", "DefaultKeySettingName", ""), s.DefaultKeySetPath());

    s.m_logFolder = m_home.File("elsewhere");
    s.Store();
    EXPECT_EQ(s.ReadString("Logging", "LogToFolder", ""), m_home.File("elsewhere"));

    // Back to the logs folder: the old entry goes, or it would win next time.
    s.m_logFolder = s.m_logsDirectory;
    s.Store();
    EXPECT_EQ(s.ReadString("Logging", "LogToFolder", "<none>"), "<none>");
}

TEST_F(QuillpadSettings, RegistryRoundTripKeepsEverySettingAndForeignValues) {
    Set("General", "SomethingElse", "kept");
    CQuillpadSettings a;
    a.LoadFromRegistry();
    a.m_defaultSchemeName = "Hex \xE9";
    a.m_keySetPath = m_home.File("k.keyset");
    a.m_logFolder = m_home.File("logs2");
    a.m_logAsPlainText = true;
    a.m_logAsBinaryLog = false;
    a.m_outgoingCRToCRLF = true;
    a.m_showRelativeTime = false;
    a.m_transmitArrowCharacters = true;
    a.SaveToRegistry();
    EXPECT_EQ(Get("General", "OutgoingCRToCRLF"), "TRUE");
    EXPECT_EQ(Get("General", "SomethingElse"), "kept");

    CQuillpadSettings b;
    EXPECT_TRUE(b.LoadFromRegistry());
    EXPECT_EQ(b.m_defaultSchemeName, "Hex \xE9");
    EXPECT_EQ(b.m_keySetPath, m_home.File("k.keyset"));
    EXPECT_EQ(b.m_logFolder, m_home.File("logs2"));
    EXPECT_TRUE(b.m_logAsPlainText);
    EXPECT_FALSE(b.m_logAsFormattedText);
    EXPECT_FALSE(b.m_logAsBinaryLog);
    EXPECT_TRUE(b.m_outgoingCRToCRLF);
    EXPECT_FALSE(b.m_showRelativeTime);
    EXPECT_TRUE(b.m_transmitArrowCharacters);

    // Returning to the logs folder is saved too, though saving deletes nothing else.
    b.m_logFolder = b.m_logsDirectory;
    b.SaveToRegistry();
    EXPECT_EQ(Get("Logging", "LogToFolder"), std::nullopt);
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_logFolder, c.m_logsDirectory);
    EXPECT_EQ(Get("General", "SomethingElse"), "kept");
}

TEST_F(QuillpadSettings, TheSavedStateTextRestoresTheSettings) {
    CQuillpadSettings a;
    a.m_showDataDirection = false;
    a.m_defaultSchemeName = "Dark";
    a.Store();
    const ByteString blob = a.SaveText();
    CQuillpadSettings b;
    b.LoadText(blob, true);
    b.Read();
    EXPECT_FALSE(b.m_showDataDirection);
    EXPECT_EQ(b.m_defaultSchemeName, "Dark");
    EXPECT_EQ(b.m_logFolder, b.m_logsDirectory);
}

// The triggers travel with the saved state and the defaults; a shorter list
// saved over a longer one, a plain value over an old hex one and a trigger
// that matches case over one that did not read back as saved (the registry
// keeps what a save leaves out).
TEST_F(QuillpadSettings, TriggersSurviveTheSavedStateAndTheRegistry) {
    STrigger login;
    login.name = "Login";
    login.pattern = "login:";
    login.action = ETriggerAction::Send;
    login.argument = "root\\r";
    login.once = true;
    STrigger url;
    url.name = "Url";
    url.pattern = "http://[a-z]+";
    url.mode = ETriggerMode::Regex;
    url.direction = ETriggerDirection::Both;
    url.holdOffMs = 40;

    CQuillpadSettings a;
    a.m_triggers = {login, url};
    a.Store();
    CQuillpadSettings b;
    b.LoadText(a.SaveText(), true);
    b.Read();
    EXPECT_EQ(b.m_triggers, a.m_triggers);
    EXPECT_TRUE(b.m_triggerErrors.empty());

    a.SaveToRegistry();
    url.pattern = "https?:[a-z]+";  // no longer needs hex
    a.m_triggers = {url};
    a.SaveToRegistry();
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_triggers, std::vector<STrigger>{url});

    // Match case off, then on again at the same place after a shorter list:
    // the registry's old "FALSE" must not come back.
    STrigger quiet = login;
    quiet.matchCase = false;
    a.m_triggers = {url, quiet};
    a.SaveToRegistry();
    CQuillpadSettings d;
    d.LoadFromRegistry();
    EXPECT_EQ(d.m_triggers, a.m_triggers);
    a.m_triggers = {url};
    a.SaveToRegistry();
    a.m_triggers = {url, login};
    a.SaveToRegistry();
    CQuillpadSettings e;
    e.LoadFromRegistry();
    EXPECT_EQ(e.m_triggers, a.m_triggers);
}

// ASCII Send's pauses are remembered in the saved state and the registry;
// a value out of range, as a hand-edited file may hold, reads as none.
TEST_F(QuillpadSettings, AsciiSendPausesAreRememberedAndBadOnesReadAsNone) {
    CQuillpadSettings a;
    EXPECT_EQ(a.m_asciiLineDelayMs, 0u);
    a.m_asciiLineDelayMs = 250;
    a.m_asciiCharDelayMs = 10000;
    a.Store();
    CQuillpadSettings b;
    b.LoadText(a.SaveText(), true);
    b.Read();
    EXPECT_EQ(b.m_asciiLineDelayMs, 250u);
    EXPECT_EQ(b.m_asciiCharDelayMs, 10000u);

    a.SaveToRegistry();
    EXPECT_EQ(Get("Transfers", "AsciiLineDelayMs"), "250");
    Set("Transfers", "AsciiCharDelayMs", "10001");
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_asciiLineDelayMs, 250u);
    EXPECT_EQ(c.m_asciiCharDelayMs, 0u);
    Set("Transfers", "AsciiLineDelayMs", "-3");
    c.LoadFromRegistry();
    EXPECT_EQ(c.m_asciiLineDelayMs, 0u);
}

// The hex pane's switch: off by default, kept in the saved state and, by
// "Make THIS my Default", in the registry; only "TRUE" turns it on.
TEST_F(QuillpadSettings, TheHexPaneIsRememberedInTheSavedStateAndTheRegistry) {
    CQuillpadSettings a;
    a.LoadFromRegistry();
    EXPECT_FALSE(a.m_showHexPane);
    a.m_showHexPane = true;
    a.Store();
    CQuillpadSettings b;
    b.LoadText(a.SaveText(), true);
    b.Read();
    EXPECT_TRUE(b.m_showHexPane);

    a.SaveToRegistry();
    EXPECT_EQ(Get("Hex Pane", "ShowHexPane"), "TRUE");
    CQuillpadSettings c;
    c.LoadFromRegistry();
    EXPECT_TRUE(c.m_showHexPane);
    Set("Hex Pane", "ShowHexPane", "true");
    c.LoadFromRegistry();
    EXPECT_FALSE(c.m_showHexPane);
    c.m_showHexPane = false;
    c.SaveToRegistry();
    EXPECT_EQ(Get("Hex Pane", "ShowHexPane"), "FALSE");
}

}  // namespace
}  // namespace quillpad
