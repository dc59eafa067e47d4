#include "control/Registration.h"

#include <gtest/gtest.h>

#include "nxr/NxrRegistry.h"
#include "platform/ClassRegistry.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

TEST(Registration, RecordsTheClassAndThePluginAndUndoesBoth) {
    test::CTempDir dir;
    CRegistryStore store(dir.Path(), "HKEY_CURRENT_USER");
    // The previous generation's key goes; another plug-in's stays.
    ASSERT_TRUE(NxrRegisterPlugin(store, "Quillpad", "QUILLPAD.QuillpadCtrl.1"));
    ASSERT_TRUE(NxrRegisterPlugin(store, "Other", "OTHER.Ctrl.1"));

    EXPECT_EQ(RegisterQuillpad(store, "/usr/lib/workbay/libquillpad2.so"), kSelfRegOk);
    EXPECT_EQ(FindClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"),
              "/usr/lib/workbay/libquillpad2.so");
    std::string progId;
    EXPECT_EQ(store.QueryValue("Software\\Korvane\\Workbay\\Plugins\\Quillpad2", "ProgID", progId),
              ERegistryStatus::Success);
    EXPECT_EQ(progId, "QUILLPAD2.Quillpad2Ctrl.1");
    EXPECT_FALSE(store.KeyExists("Software\\Korvane\\Workbay\\Plugins\\Quillpad"));
    EXPECT_TRUE(store.KeyExists("Software\\Korvane\\Workbay\\Plugins\\Other"));
    EXPECT_EQ(RegisterQuillpad(store, "/usr/lib/workbay/libquillpad2.so"), kSelfRegOk)
        << "registering twice is no failure";

    EXPECT_EQ(UnregisterQuillpad(store), kSelfRegOk);
    EXPECT_EQ(FindClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"), std::nullopt);
    EXPECT_FALSE(store.KeyExists("Software\\Korvane\\Workbay\\Plugins\\Quillpad2"));
    EXPECT_TRUE(store.KeyExists("Software\\Korvane\\Workbay\\Plugins\\Other"));
}

TEST(Registration, AStoreThatCannotBeWrittenFailsAsTheClass) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("HKEY_CURRENT_USER.hive"), "not a hive\n[[["));
    CRegistryStore store(dir.Path(), "HKEY_CURRENT_USER");
    EXPECT_EQ(RegisterQuillpad(store, "/x.so"), kSelfRegClassFailed);
    EXPECT_EQ(UnregisterQuillpad(store), kSelfRegClassFailed);
}

}  // namespace
}  // namespace quillpad
