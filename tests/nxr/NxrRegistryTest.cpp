#include "nxr/NxrRegistry.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

const std::string kPlugin = "Software\\Korvane\\Workbay\\Plugins\\Quillpad2";

TEST(NxrRegistry, SettingExistsAndIsCopiedCutToTheBuffer) {
    test::CTempDir dir;
    CRegistryStore store(dir.Path(), "HKEY_CURRENT_USER");
    EXPECT_FALSE(NxrGetRegistrySetting(store, "", "X_Open_Monitor", nullptr, 0));
    ASSERT_EQ(store.CreateKey("Software\\Korvane\\Workbay\\Tools"), ERegistryStatus::Success);
    ASSERT_EQ(store.CreateKey("Software\\Korvane\\Workbay"), ERegistryStatus::Success);
    ASSERT_EQ(store.SetValue("Software\\Korvane\\Workbay", "X_Open_Monitor", ""),
              ERegistryStatus::Success);
    ASSERT_EQ(store.SetValue("Software\\Korvane\\Workbay\\Tools", "Path", "/opt/tools"),
              ERegistryStatus::Success);

    EXPECT_TRUE(NxrGetRegistrySetting(store, "", "X_Open_Monitor", nullptr, 0));
    EXPECT_TRUE(NxrGetRegistrySetting(store, nullptr, "x_open_monitor", nullptr, 0))
        << "names ignore case, as in the registry";
    char buffer[6] = "#####";
    EXPECT_TRUE(NxrGetRegistrySetting(store, "Tools", "Path", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "/opt/");
    char roomy[32];
    EXPECT_TRUE(NxrGetRegistrySetting(store, "Tools", "Path", roomy, sizeof roomy));
    EXPECT_STREQ(roomy, "/opt/tools");
    EXPECT_FALSE(NxrGetRegistrySetting(store, "Tools", "Missing", roomy, sizeof roomy));
    EXPECT_STREQ(roomy, "") << "a missing value leaves an empty text";
}

TEST(NxrRegistry, PluginRegistrationKeepsSettingsAndOnlyRemovesItsOwnRecord) {
    test::CTempDir dir;
    CRegistryStore store(dir.Path(), "HKEY_CURRENT_USER");
    ASSERT_TRUE(NxrRegisterPlugin(store, "Quillpad2", "QUILLPAD2.Quillpad2Ctrl.1"));
    std::string progId;
    ASSERT_EQ(store.QueryValue(kPlugin, "ProgID", progId), ERegistryStatus::Success);
    EXPECT_EQ(progId, "QUILLPAD2.Quillpad2Ctrl.1");

    EXPECT_FALSE(NxrUnRegisterPlugin(store, "Quillpad2", "OTHER.Ctrl.1"));
    EXPECT_TRUE(store.KeyExists(kPlugin));

    ASSERT_EQ(store.CreateKey(kPlugin + "\\General"), ERegistryStatus::Success);
    EXPECT_TRUE(NxrUnRegisterPlugin(store, "Quillpad2", "QUILLPAD2.Quillpad2Ctrl.1"));
    EXPECT_EQ(store.QueryValue(kPlugin, "ProgID", progId), ERegistryStatus::NotFound);
    EXPECT_TRUE(store.KeyExists(kPlugin + "\\General")) << "the user's settings stay";

    ASSERT_TRUE(NxrRegisterPlugin(store, "Bare", "BARE.Ctrl.1"));
    EXPECT_TRUE(NxrUnRegisterPlugin(store, "Bare", "BARE.Ctrl.1"));
    EXPECT_FALSE(store.KeyExists("Software\\Korvane\\Workbay\\Plugins\\Bare"));
    EXPECT_FALSE(NxrUnRegisterPlugin(store, "Bare", "BARE.Ctrl.1")) << "nothing left to remove";

    EXPECT_FALSE(NxrRegisterPlugin(store, "a\\b", "X.1")) << "one key name only";
    EXPECT_FALSE(NxrRegisterPlugin(store, "", "X.1"));
    EXPECT_FALSE(NxrRegisterPlugin(store, "Name", ""));
    EXPECT_FALSE(NxrRegisterPlugin(store, nullptr, "X.1"));
}

TEST(NxrRegistry, DefaultStoreIsTheCurrentUsersHive) {
    // The test main points WORKBAY_HOME at a temporary folder.
    ASSERT_TRUE(NxrRegisterPlugin("Quillpad2", "QUILLPAD2.Quillpad2Ctrl.1"));
    char buffer[64];
    EXPECT_TRUE(NxrGetRegistrySetting("Plugins\\Quillpad2", "ProgID", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "QUILLPAD2.Quillpad2Ctrl.1");
    EXPECT_TRUE(NxrUnRegisterPlugin("Quillpad2", "QUILLPAD2.Quillpad2Ctrl.1"));
    EXPECT_FALSE(NxrGetRegistrySetting("Plugins\\Quillpad2", "ProgID", nullptr, 0));
}

}  // namespace
}  // namespace quillpad
