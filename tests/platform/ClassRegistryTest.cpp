#include "platform/ClassRegistry.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

TEST(ClassRegistry, AProgIdFindsItsLibraryUntilUnregistered) {
    test::CTempDir dir;
    CRegistryStore store(dir.Path(), "HKEY_CURRENT_USER");
    EXPECT_EQ(FindClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"), std::nullopt);
    ASSERT_EQ(RegisterClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1", "/opt/lib/a.so"),
              ERegistryStatus::Success);
    ASSERT_EQ(RegisterClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1", "/opt/lib/b.so"),
              ERegistryStatus::Success);
    EXPECT_EQ(FindClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"), "/opt/lib/b.so");
    EXPECT_EQ(FindClassLibrary(store, "quillpad2.other"), std::nullopt);

    EXPECT_EQ(UnregisterClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"), ERegistryStatus::Success);
    EXPECT_FALSE(store.KeyExists(ClassKey("QUILLPAD2.Quillpad2Ctrl.1")));
    EXPECT_EQ(UnregisterClassLibrary(store, "QUILLPAD2.Quillpad2Ctrl.1"), ERegistryStatus::Success)
        << "already gone is no failure";
    EXPECT_EQ(RegisterClassLibrary(store, "a\\b", "/x.so"), ERegistryStatus::InvalidName);
    EXPECT_EQ(RegisterClassLibrary(store, "", "/x.so"), ERegistryStatus::InvalidName);
}

}  // namespace
}  // namespace quillpad
