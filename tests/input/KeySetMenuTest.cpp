#include "input/CKeySetMenu.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

std::vector<std::string> Texts(const std::vector<SKeySetMenuItem>& items,
                               bool checkedOnly = false) {
    std::vector<std::string> texts;
    for (const SKeySetMenuItem& item : items) {
        if (item.checked || !checkedOnly) {
            texts.push_back(item.text);
        }
    }
    return texts;
}

std::vector<std::string> Checked(const std::vector<SKeySetMenuItem>& items) {
    return Texts(items, true);
}

TEST(KeySetMenu, WithoutFilesOnlyADisabledNotice) {
    CTempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("keys.txt"), ""));
    for (const std::string& folder : {dir.Path(), dir.File("missing")}) {
        CKeySetMenu menu;
        menu.Rebuild(folder);
        const std::vector<SKeySetMenuItem> items = menu.Items(dir.File("My Keys.keyset"));
        ASSERT_EQ(items.size(), 1u) << folder;
        EXPECT_EQ(items[0].command, 34199);
        EXPECT_EQ(items[0].text, "No Files Found");
        EXPECT_FALSE(items[0].enabled);
        EXPECT_FALSE(items[0].checked);
        EXPECT_FALSE(menu.FileForCommand(34199));
        EXPECT_FALSE(menu.FileForCommand(34100));
    }
}

TEST(KeySetMenu, ListsKeySetFilesByName) {
    CTempDir dir;
    for (const char* name : {"b.keyset", "a.keyset", "C.KEYSET", "notes.txt", "a.keyset.bak"}) {
        ASSERT_TRUE(WriteFileBytes(dir.File(name), ""));
    }
    std::filesystem::create_directory(dir.File("folder.keyset"));
    CKeySetMenu menu;
    menu.Rebuild(dir.Path());
    const std::vector<SKeySetMenuItem> items = menu.Items("");
    EXPECT_EQ(Texts(items), (std::vector<std::string>{"C.KEYSET", "a.keyset", "b.keyset"}));
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].command, 34100 + i);
        EXPECT_TRUE(items[i].enabled);
        EXPECT_FALSE(items[i].checked);
    }
    EXPECT_EQ(menu.FileForCommand(34101), dir.File("a.keyset"));
    EXPECT_FALSE(menu.FileForCommand(34103));
    EXPECT_FALSE(menu.FileForCommand(34099));
    std::filesystem::remove(dir.File("a.keyset"));
    EXPECT_FALSE(menu.FileForCommand(34101)) << "gone since the menu was built";
}

TEST(KeySetMenu, AHundredFilesShowTheFirstNinetyNine) {
    CTempDir dir;
    for (int i = 0; i < 100; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "k%03d.keyset", i);
        ASSERT_TRUE(WriteFileBytes(dir.File(name), ""));
    }
    CKeySetMenu menu;
    menu.Rebuild(dir.Path());
    const std::vector<SKeySetMenuItem> items = menu.Items("");
    ASSERT_EQ(items.size(), 99u);
    EXPECT_EQ(items.front().text, "k000.keyset");
    EXPECT_EQ(items.back().text, "k098.keyset");
    EXPECT_EQ(items.back().command, 34198);
    EXPECT_EQ(menu.HiddenCount(), 1u);
    EXPECT_EQ(menu.FileForCommand(34198), dir.File("k098.keyset"));
    EXPECT_FALSE(menu.FileForCommand(34199)) << "that command is the notice's";
}

TEST(KeySetMenu, TheCheckMarkIsOnTheLoadedFileOnly) {
    CTempDir data;
    CTempDir elsewhere;
    for (const char* name : {"My Keys.keyset", "Lab.keyset"}) {
        ASSERT_TRUE(WriteFileBytes(data.File(name), ""));
    }
    ASSERT_TRUE(WriteFileBytes(elsewhere.File("My Keys.keyset"), ""));
    CKeySetMenu menu;
    menu.Rebuild(data.Path());

    EXPECT_EQ(Checked(menu.Items(data.File("My Keys.keyset"))),
              std::vector<std::string>{"My Keys.keyset"});
    EXPECT_EQ(Checked(menu.Items(data.File("Lab.keyset"))), std::vector<std::string>{"Lab.keyset"});
    EXPECT_EQ(Checked(menu.Items(data.Path() + "/./Lab.keyset")),
              std::vector<std::string>{"Lab.keyset"});
    EXPECT_TRUE(Checked(menu.Items(data.File("my keys.keyset"))).empty()) << "names are exact";
    EXPECT_TRUE(Checked(menu.Items(elsewhere.File("My Keys.keyset"))).empty())
        << "a file of the same name in another folder is not this item";
    EXPECT_TRUE(Checked(menu.Items("")).empty());
}

}  // namespace
}  // namespace quillpad
