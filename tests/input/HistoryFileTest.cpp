#include "input/HistoryFile.h"

#include "input/CCommandHistory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

TEST(HistoryFile, EveryByteSurvivesAndOnlyTheNewestAreKept) {
    std::vector<ByteString> entries;
    ByteString all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    entries.push_back(all);
    entries.push_back("back\\slash \\x41 and CR\r LF\n");
    const SHistoryFile back = ParseHistory(FormatHistory(entries));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.entries, entries);

    std::vector<ByteString> many;
    for (int i = 0; i < 1005; ++i) {
        many.push_back("cmd " + std::to_string(i));
    }
    const SHistoryFile kept = ParseHistory(FormatHistory(many));
    ASSERT_EQ(kept.entries.size(), kKeptHistoryEntries);
    EXPECT_EQ(kept.entries.front(), "cmd 5");
    EXPECT_EQ(kept.entries.back(), "cmd 1004");
}

TEST(HistoryFile, AnythingButAHistoryIsRefusedWhole) {
    for (const char* text :
         {"", "ver\n", "Quillpad command history 1\nok\nbad \\x4\n",
          "Quillpad command history 1\nok\n\\q\n", "Quillpad command history 1\nraw\r\n",
          "Quillpad command history 1\nok\n\n", "Quillpad command history 1\nno line end"}) {
        const SHistoryFile file = ParseHistory(text);
        EXPECT_FALSE(file.ok) << text;
        EXPECT_TRUE(file.entries.empty()) << text;
        EXPECT_FALSE(file.error.empty()) << text;
    }
    EXPECT_TRUE(ParseHistory("Quillpad command history 1\n").ok);
}

TEST(HistoryFile, AMissingFileIsAnEmptyHistoryAndWritesReplaceTheFile) {
    test::CTempDir dir;
    const std::string path = dir.File("Command History.txt");
    SHistoryFile file = ReadHistoryFile(path);
    EXPECT_TRUE(file.ok);
    EXPECT_TRUE(file.entries.empty());
    ASSERT_TRUE(WriteHistoryFile(path, {"one", "two"}));
    ASSERT_TRUE(WriteHistoryFile(path, {"three"}));
    file = ReadHistoryFile(path);
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.entries, std::vector<ByteString>{"three"});
    std::string error;
    EXPECT_FALSE(WriteHistoryFile(dir.File("missing/folder/h.txt"), {"x"}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(CommandHistory, EntriesReadBackAreDeduplicatedAndRemovedForGood) {
    CCommandHistory h;
    h.SetEntries({"ver", "\r", "status", "ver", ""});
    EXPECT_EQ(h.Entries(), (std::vector<ByteString>{"status", "ver"}));
    h.Remove("status");
    h.CommitToHistory("");  // an empty line is no entry
    EXPECT_EQ(h.Entries(), std::vector<ByteString>{"ver"});
}

}  // namespace
}  // namespace quillpad
