// The registry store: the rules of keys and values, the hive's file form, and
// what several processes and a crash may do to it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/CRegistryStore.h"
#include "platform/CRegistryTree.h"
#include "tests/platform/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::vector<std::string> SubkeyNames(const CRegistryTree& tree, std::string_view path) {
    std::vector<std::string> names;
    std::string name;
    while (tree.EnumKey(path, names.size(), name) == ERegistryStatus::Success) {
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> ValueNames(const CRegistryTree& tree, std::string_view path) {
    std::vector<std::string> names;
    std::string name;
    std::string data;
    while (tree.EnumValue(path, names.size(), name, data) == ERegistryStatus::Success) {
        names.push_back(name);
    }
    return names;
}

using Names = std::vector<std::string>;

TEST(RegistryTree, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    CRegistryTree tree;
    ASSERT_EQ(tree.CreateKey("Software\\Korvane"), ERegistryStatus::Success);
    ASSERT_EQ(tree.CreateKey("SOFTWARE\\korvane\\Workbay"), ERegistryStatus::Success);
    EXPECT_EQ(SubkeyNames(tree, ""), Names{"Software"});
    EXPECT_EQ(SubkeyNames(tree, "software"), Names{"Korvane"});
    EXPECT_TRUE(tree.KeyExists("software\\KORVANE\\workbay"));
    // Latin-1 letters fold too.
    ASSERT_EQ(tree.CreateKey("Caf\xE9"), ERegistryStatus::Success);
    EXPECT_TRUE(tree.KeyExists("CAF\xC9"));

    ASSERT_EQ(tree.SetValue("Software", "Name", "1"), ERegistryStatus::Success);
    ASSERT_EQ(tree.SetValue("software", "NAME", "2"), ERegistryStatus::Success);
    std::string data;
    ASSERT_EQ(tree.QueryValue("SOFTWARE", "name", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "2");
    EXPECT_EQ(ValueNames(tree, "Software"), Names{"Name"});
}

TEST(RegistryTree, EnumerationOrdersAndEnds) {
    CRegistryTree tree;
    for (const char* name : {"b", "C", "a", "B2"}) {
        ASSERT_EQ(tree.CreateKey(std::string("K\\") + name), ERegistryStatus::Success);
    }
    for (const char* name : {"zeta", "", "alpha"}) {
        ASSERT_EQ(tree.SetValue("K", name, name), ERegistryStatus::Success);
    }
    EXPECT_EQ(SubkeyNames(tree, "K"), (Names{"a", "b", "B2", "C"}));  // by name, ignoring case
    EXPECT_EQ(ValueNames(tree, "K"), (Names{"zeta", "", "alpha"}));   // in the order set
    std::string name;
    std::string data;
    EXPECT_EQ(tree.EnumKey("K", 4, name), ERegistryStatus::NoMoreItems);
    EXPECT_EQ(tree.EnumValue("K", 3, name, data), ERegistryStatus::NoMoreItems);
    EXPECT_EQ(tree.EnumKey("Missing", 0, name), ERegistryStatus::NotFound);
    EXPECT_EQ(tree.EnumValue("Missing", 0, name, data), ERegistryStatus::NotFound);
    EXPECT_EQ(tree.QueryValue("K", "nope", data), ERegistryStatus::NotFound);
    EXPECT_EQ(tree.SetValue("Missing", "v", "d"), ERegistryStatus::NotFound);
}

TEST(RegistryTree, LimitsAndDeletion) {
    CRegistryTree tree;
    EXPECT_EQ(tree.CreateKey("a\\" + std::string(256, 'k')), ERegistryStatus::InvalidName);
    EXPECT_FALSE(tree.KeyExists("a"));  // a refused path creates nothing
    ASSERT_EQ(tree.CreateKey(std::string(255, 'k')), ERegistryStatus::Success);
    ASSERT_EQ(tree.CreateKey("\\a\\\\b\\"), ERegistryStatus::Success);  // empty names ignored
    EXPECT_TRUE(tree.KeyExists("a\\b"));
    EXPECT_EQ(tree.SetValue("a", std::string(16384, 'v'), "x"), ERegistryStatus::InvalidName);
    EXPECT_EQ(tree.SetValue("a", std::string(16383, 'v'), "x"), ERegistryStatus::Success);

    ASSERT_EQ(tree.SetValue("a\\b", "v", "x"), ERegistryStatus::Success);
    ASSERT_EQ(tree.CreateKey("a\\b\\c\\d"), ERegistryStatus::Success);
    EXPECT_EQ(tree.DeleteTree("A\\B"), ERegistryStatus::Success);
    EXPECT_FALSE(tree.KeyExists("a\\b"));
    EXPECT_FALSE(tree.KeyExists("a\\b\\c\\d"));
    EXPECT_TRUE(tree.KeyExists("a"));
    EXPECT_EQ(tree.DeleteTree("a\\b"), ERegistryStatus::NotFound);
    EXPECT_EQ(tree.DeleteTree(""), ERegistryStatus::InvalidName);
    EXPECT_EQ(tree.DeleteValue("a", "absent"), ERegistryStatus::NotFound);
    EXPECT_EQ(tree.DeleteValue("a", std::string(16383, 'V')), ERegistryStatus::Success);
}

TEST(RegistryTree, FileFormIsReadableAndCarriesEveryByte) {
    CRegistryTree tree;
    ASSERT_EQ(tree.CreateKey("Software\\Korvane\\Workbay\\Plugins\\Quillpad2\\General"),
              ERegistryStatus::Success);
    const std::string general = "Software\\Korvane\\Workbay\\Plugins\\Quillpad2\\General";
    ASSERT_EQ(tree.SetValue(general, "OutgoingCRToCRLF", "FALSE"), ERegistryStatus::Success);
    ASSERT_EQ(tree.SetValue(general, "", "bare line\n"), ERegistryStatus::Success);
    const std::string text = tree.Serialize("test");
    EXPECT_NE(text.find("\n[Software\\Korvane\\Workbay\\Plugins\\Quillpad2\\General]\n"
                        "\"OutgoingCRToCRLF\"=\"FALSE\"\n@=\"bare line\\n\"\n"),
              std::string::npos)
        << text;

    std::string every;
    for (int i = 0; i < 256; ++i) {
        every.push_back(static_cast<char>(i));
    }
    std::string keyName = every.substr(1);  // any byte but the separator and NUL
    keyName.erase(keyName.find('\\'), 1);
    CRegistryTree odd;
    ASSERT_EQ(odd.CreateKey("x\\" + keyName.substr(0, 120)), ERegistryStatus::Success);
    ASSERT_EQ(odd.CreateKey("x\\" + keyName.substr(120) + "]"), ERegistryStatus::Success);
    ASSERT_EQ(odd.CreateKey("x\\%41 [y] "), ERegistryStatus::Success);
    ASSERT_EQ(odd.SetValue("x\\%41 [y] ", every, every), ERegistryStatus::Success);
    ASSERT_EQ(odd.SetValue("x\\%41 [y] ", "q\"=\"", "\\\"\n"), ERegistryStatus::Success);
    ASSERT_EQ(odd.SetValue("", "at root", ""), ERegistryStatus::Success);

    CRegistryTree back;
    std::string error;
    ASSERT_EQ(back.Parse(odd.Serialize("odd"), error), ERegistryStatus::Success) << error;
    EXPECT_EQ(back.Serialize("odd"), odd.Serialize("odd"));
    EXPECT_EQ(SubkeyNames(back, "x"), SubkeyNames(odd, "x"));
    std::string data;
    ASSERT_EQ(back.QueryValue("x\\%41 [y] ", every, data), ERegistryStatus::Success);
    EXPECT_EQ(data, every);
    ASSERT_EQ(back.QueryValue("x\\%41 [y] ", "q\"=\"", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "\\\"\n");
    EXPECT_EQ(back.QueryValue("", "at root", data), ERegistryStatus::Success);
    EXPECT_TRUE(back.KeyExists("x\\" + keyName.substr(120) + "]"));
}

TEST(RegistryTree, MalformedFilesAreRefusedWithTheirLine) {
    const char* bad[] = {
        "\"v\"=\"before any key\"\n",
        "[a]\n\"v\"=\"unterminated\n",
        "[a]\n\"v\"\"missing equals\"\n",
        "[a]\n\"v\"=\"bad \\q escape\"\n",
        "[a]\n\"v\"=\"x\" trailing\n",
        "[a\n",
        "[a] tail\n",
        "[a%4]\n",
        "[a%5Cb]\n",
        "[a]\n\"v\"=\"\\x4\"\n",
    };
    for (const char* text : bad) {
        CRegistryTree tree;
        ASSERT_EQ(tree.CreateKey("kept"), ERegistryStatus::Success);
        std::string error;
        EXPECT_EQ(tree.Parse(text, error), ERegistryStatus::Corrupt) << text;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
        EXPECT_TRUE(tree.KeyExists("kept")) << text;
    }
    CRegistryTree tree;
    std::string error;
    EXPECT_EQ(tree.Parse("\xEF\xBB\xBF; comment\r\n\r\n  [a\\b]  \r\n@ = \"x\"\r\n# also\n", error),
              ERegistryStatus::Success)
        << error;
    std::string data;
    EXPECT_EQ(tree.QueryValue("a\\b", "", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "x");
}

class RegistryStore : public ::testing::Test {
  protected:
    CRegistryStore Store() const { return CRegistryStore(m_dir.File("registry"), "HIVE"); }
    CTempDir m_dir;
};

TEST_F(RegistryStore, ChangesPersistAcrossInstances) {
    EXPECT_FALSE(Store().KeyExists("a"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("registry")));  // reads create nothing
    ASSERT_EQ(Store().CreateKey("a\\b"), ERegistryStatus::Success);
    ASSERT_EQ(Store().SetValue("a\\b", "v", "data"), ERegistryStatus::Success);
    std::string data;
    ASSERT_EQ(Store().QueryValue("A\\B", "V", data), ERegistryStatus::Success);
    EXPECT_EQ(data, "data");
    std::string name;
    ASSERT_EQ(Store().EnumValue("a\\b", 0, name, data), ERegistryStatus::Success);
    EXPECT_EQ(name, "v");
    ASSERT_EQ(Store().EnumKey("a", 0, name), ERegistryStatus::Success);
    EXPECT_EQ(name, "b");
    ASSERT_EQ(Store().DeleteValue("a\\b", "v"), ERegistryStatus::Success);
    ASSERT_EQ(Store().DeleteTree("a"), ERegistryStatus::Success);
    EXPECT_FALSE(Store().KeyExists("a"));
    EXPECT_EQ(Store().SetValue("a", "v", "d"), ERegistryStatus::NotFound);
}

TEST_F(RegistryStore, UpdatesAreWholeOrNothing) {
    CRegistryStore store = Store();
    ASSERT_EQ(store.Update([](CRegistryTree& t) {
        t.CreateKey("k");
        t.SetValue("k", "one", "1");
        t.SetValue("k", "two", "2");
        return true;
    }),
              ERegistryStatus::Success);
    const std::string before = ReadFileBytes(store.FilePath());
    // An editor that gives up writes nothing, whatever it changed.
    ASSERT_EQ(store.Update([](CRegistryTree& t) {
        t.DeleteTree("k");
        return false;
    }),
              ERegistryStatus::Success);
    EXPECT_EQ(ReadFileBytes(store.FilePath()), before);
    // A failed one-call edit does not write either.
    EXPECT_EQ(store.DeleteTree("nothing"), ERegistryStatus::NotFound);
    EXPECT_EQ(ReadFileBytes(store.FilePath()), before);
}

TEST_F(RegistryStore, ACorruptHiveIsReportedAndKept) {
    CRegistryStore store = Store();
    ASSERT_EQ(store.CreateKey("k"), ERegistryStatus::Success);
    const std::string garbage = "[k]\n\"v\"=\"fine\"\nbroken line\n";
    ASSERT_TRUE(WriteFileBytes(store.FilePath(), garbage));
    std::string data;
    EXPECT_EQ(store.QueryValue("k", "v", data), ERegistryStatus::Corrupt);
    EXPECT_NE(store.LastError().find("line 3"), std::string::npos) << store.LastError();
    EXPECT_NE(store.LastError().find(store.FilePath()), std::string::npos);
    EXPECT_EQ(store.SetValue("k", "v", "new"), ERegistryStatus::Corrupt);
    EXPECT_EQ(store.DeleteTree("k"), ERegistryStatus::Corrupt);
    EXPECT_EQ(ReadFileBytes(store.FilePath()), garbage);
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kPerProcess = 60;
    ASSERT_EQ(Store().CreateKey("Shared"), ERegistryStatus::Success);
    auto writer = [this](const char* prefix) {
        return [this, prefix] {
            CRegistryStore store = Store();
            for (int i = 0; i < kPerProcess; ++i) {
                const std::string name = prefix + std::to_string(i);
                if (store.SetValue("Shared", name, name) != ERegistryStatus::Success) {
                    return 1;
                }
                // A whole-key edit too, so both kinds of write interleave.
                const bool ok = store.Update([&](CRegistryTree& t) {
                    return t.CreateKey("Own\\" + name) == ERegistryStatus::Success;
                }) == ERegistryStatus::Success;
                if (!ok) {
                    return 2;
                }
            }
            return 0;
        };
    };
    const pid_t a = test::StartChild(writer("a"));
    const pid_t b = test::StartChild(writer("b"));
    const int statusA = test::WaitChild(a);
    const int statusB = test::WaitChild(b);
    ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    ASSERT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

    ASSERT_EQ(Store().Read([&](const CRegistryTree& t) {
        EXPECT_EQ(ValueNames(t, "Shared").size(), 2u * kPerProcess);
        EXPECT_EQ(SubkeyNames(t, "Own").size(), 2u * kPerProcess);
    }),
              ERegistryStatus::Success);
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string name = prefix + std::to_string(i);
            std::string data;
            ASSERT_EQ(Store().QueryValue("Shared", name, data), ERegistryStatus::Success) << name;
            EXPECT_EQ(data, name);
        }
    }
}

TEST_F(RegistryStore, AWriterKilledMidWriteLeavesTheOldHive) {
    CRegistryStore store = Store();
    ASSERT_EQ(store.Update([](CRegistryTree& t) {
        t.CreateKey("Big");
        for (int i = 0; i < 1000; ++i) {
            t.SetValue("Big", "value" + std::to_string(i), std::string(30, 'x'));
        }
        return true;
    }),
              ERegistryStatus::Success);
    const std::string before = ReadFileBytes(store.FilePath());
    ASSERT_GT(before.size(), 8192u);

    const int status = test::RunChild([&] {
        test::LimitFileSize(4096, true);
        return store.SetValue("Big", "new", "value") == ERegistryStatus::Success ? 0 : 1;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFileBytes(store.FilePath()), before);

    // The dead writer's lock went with it.
    ASSERT_EQ(store.SetValue("Big", "new", "value"), ERegistryStatus::Success);
    std::string data;
    EXPECT_EQ(store.QueryValue("Big", "value999", data), ERegistryStatus::Success);
}

}  // namespace
}  // namespace quillpad
