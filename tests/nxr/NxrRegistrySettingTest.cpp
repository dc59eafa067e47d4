// The maker's registry settings: existence, and the data cut to the buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "nxr/NxrLib.h"
#include "platform/CRegistryStore.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

TEST(NxrRegistrySetting, AnswersExistenceAndCopiesDataCutToTheBuffer) {
    test::CTempDir home;
    std::optional<std::string> old;
    if (const char* value = std::getenv("WORKBAY_HOME")) {
        old = value;
    }
    ::setenv("WORKBAY_HOME", home.Path().c_str(), 1);

    EXPECT_FALSE(NxrGetRegistrySetting("", "X_Open_Monitor", nullptr, 0)) << "empty hive";
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    const std::string sub = std::string(kNxrRegistryBaseKey) + "\\Trace";
    ASSERT_EQ(store.CreateKey(sub), ERegistryStatus::Success);
    ASSERT_EQ(store.SetValue(kNxrRegistryBaseKey, "X_Open_Monitor", "abcdef"),
              ERegistryStatus::Success);
    ASSERT_EQ(store.SetValue(sub, "Level", "3"), ERegistryStatus::Success);

    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(NxrGetRegistrySetting("", "X_Open_Monitor", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), "abc");
    EXPECT_TRUE(NxrGetRegistrySetting("Trace", "Level", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), "3");
    EXPECT_FALSE(NxrGetRegistrySetting("", "Level", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), "") << "a missing value leaves an empty text";
    EXPECT_TRUE(NxrGetRegistrySetting(nullptr, "x_open_monitor", nullptr, 0))
        << "names ignore case, as in the registry";

    if (old) {
        ::setenv("WORKBAY_HOME", old->c_str(), 1);
    } else {
        ::unsetenv("WORKBAY_HOME");
    }
}

}  // namespace
}  // namespace quillpad
