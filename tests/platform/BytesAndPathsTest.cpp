#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TempDir.h"

#include "platform/Bytes.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"

namespace quillpad {
namespace {

TEST(Bytes, EveryByteValueRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    const WideString wide = BytesToWide(all);
    ASSERT_EQ(wide.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(wide[static_cast<std::size_t>(i)], static_cast<char16_t>(i));
    }
    EXPECT_EQ(WideToBytes(wide), all);
}

TEST(Bytes, CharactersAboveLatin1BecomeQuestionMarks) {
    EXPECT_EQ(WideToBytes(u"a\u20ACb\u0100"), "a?b?");
    EXPECT_EQ(WideToBytes(u""), "");
}

TEST(Paths, CombineAndSplit) {
    EXPECT_EQ(PathCombine("/a/b", "c.tss"), "/a/b/c.tss");
    EXPECT_EQ(PathCombine("/a/b/", "c.tss"), "/a/b/c.tss");
    EXPECT_EQ(PathCombine("", "c"), "c");
    EXPECT_EQ(PathCombine("/a", "/abs"), "/abs");
    EXPECT_EQ(PathFolder("/a/b/c.tss"), "/a/b");
    EXPECT_EQ(PathFolder("/c"), "/");
    EXPECT_EQ(PathFolder("c"), "");
    EXPECT_EQ(PathFileName("/a/b/c.tss"), "c.tss");
    EXPECT_EQ(PathFileName("c.tss"), "c.tss");
    EXPECT_EQ(PathFileName("/a/b/"), "");
}

TEST(Paths, FolderComparisonIgnoresCaseAndTrailingSeparators) {
    EXPECT_TRUE(SameFolderIgnoringCase("/Work/Quillpad Logs", "/work/quillpad logs/"));
    EXPECT_FALSE(SameFolderIgnoringCase("/work/logs", "/work/logs2"));
    EXPECT_TRUE(SameFolderIgnoringCase("/", "/"));
}

TEST(Paths, InstallPathFollowsTheEnvironment) {
    auto get = [](const char* n) { return std::string(std::getenv(n) ? std::getenv(n) : ""); };
    const std::string savedWorkbay = get("WORKBAY_HOME");
    const std::string savedData = get("XDG_DATA_HOME");
    const std::string savedHome = get("HOME");
    setenv("WORKBAY_HOME", "/opt/wb", 1);
    EXPECT_EQ(WorkbayInstallPath(), "/opt/wb");
    unsetenv("WORKBAY_HOME");
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(WorkbayInstallPath(), "/xdg/data/Workbay");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/home/eng", 1);
    EXPECT_EQ(WorkbayInstallPath(), "/home/eng/.local/share/Workbay");
    setenv("WORKBAY_HOME", savedWorkbay.c_str(), 1);
    setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(FileIO, ReadsUpToTheLimitAndRefusesOneByteMore) {
    test::CTempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(test::WriteFileBytes(path, std::string(10, '\0')));
    std::string bytes = "old";
    std::string error;
    EXPECT_TRUE(ReadWholeFile(path, bytes, &error, 10));
    EXPECT_EQ(bytes.size(), 10u);
    ASSERT_TRUE(test::WriteFileBytes(path, std::string(11, 'x')));
    EXPECT_FALSE(ReadWholeFile(path, bytes, &error, 10));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(error, path + ": too large (more than 10 bytes)");
}

}  // namespace
}  // namespace quillpad
