// A console killed in the middle of saving a key set, a style sheet or the
// command history leaves the old file or the new one, each whole, and the
// file keeps its mode: a few hundred kills, by SIGKILL at random moments of
// the save and at random bytes of its write.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "input/CKeySet.h"
#include "input/HistoryFile.h"
#include "styles/CStyleScheme.h"
#include "tests/support/KilledWhileSaving.h"

namespace quillpad {
namespace {

// A save here takes milliseconds (more under the sanitizers) and a round a
// fork besides: 80 kills per file keep the test to seconds.
// QUILLPAD_KILL_ROUNDS=2000 runs longer.
const int kRounds = test::KillRounds(80);

// Two versions far apart in size, so that a torn file cannot pass for either.
std::string Filler(int version, std::size_t n, char seed) {
    std::string text;
    const std::size_t size = version == 0 ? n / 8 : n;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(static_cast<char>('a' + (seed + i * 7) % 26));
    }
    return text;
}

void ExpectBothOutcomes(const test::SKilledSaves& saves) {
    EXPECT_EQ(saves.rounds, kRounds);
    // Kills that always came too early or too late would prove nothing.
    EXPECT_GT(saves.oldKept, 0) << saves.newWhole << " of " << saves.rounds << " saves ended";
    EXPECT_GT(saves.newWhole, 0) << saves.oldKept << " of " << saves.rounds << " saves cut";
}

TEST(KilledWhileSaving, AKeySetIsOldOrNewAndKeepsItsMode) {
    test::CSaveFolder dir;
    ASSERT_TRUE(dir.Made());
    const std::string keys = dir.File("My Keys.keyset");
    ASSERT_TRUE(test::WriteFileBytes(keys, "[Shortcuts]\r\n"));
    ASSERT_EQ(::chmod(keys.c_str(), 0640), 0);
    ExpectBothOutcomes(test::KillWhileSaving(
        keys,
        [&](int version) {
            CKeySet set;
            set.ApplyDefaultShortcuts();
            for (const SShortcutDef& row : kShortcutTable) {
                set.WriteString(CKeySet::kSection, row.descriptionKey,
                                Filler(version, 400, row.label[1]));
            }
            return set.SaveFile(keys);
        },
        kRounds, 1));
}

TEST(KilledWhileSaving, AStyleSheetIsOldOrNewAndKeepsItsMode) {
    test::CSaveFolder dir;
    ASSERT_TRUE(dir.Made());
    const std::string sheet = dir.File("Plain.tss");
    ASSERT_TRUE(test::WriteFileBytes(sheet, ""));
    ASSERT_EQ(::chmod(sheet.c_str(), 0664), 0);
    ExpectBothOutcomes(test::KillWhileSaving(
        sheet,
        [&](int version) {
            CStyleScheme scheme;
            if (!scheme.Load(sheet, false)) {
                return false;
            }
            scheme.Name = version == 0 ? "Short" : "Long";
            scheme.ClearRules();
            // As many rules either way: a save that drops rules keeps their
            // emptied sections, so the file would depend on the one before.
            for (int i = 0; i < 24; ++i) {
                SStyleRule rule;
                rule.Name = "rule " + std::to_string(i) + " " + Filler(version, 80, char(i));
                scheme.AppendRule(rule);
            }
            return scheme.Save();
        },
        kRounds, 2));
}

// The history is private: a new file 0600, and so it stays.
TEST(KilledWhileSaving, TheCommandHistoryIsOldOrNewAndStaysPrivate) {
    test::CSaveFolder dir;
    ASSERT_TRUE(dir.Made());
    const std::string history = dir.File(kHistoryFileName);
    ExpectBothOutcomes(test::KillWhileSaving(
        history,
        [&](int version) {
            std::vector<ByteString> entries;
            for (std::size_t i = 0; i < 300; ++i) {
                entries.push_back("show " + std::to_string(i) + " " + Filler(version, 40, char(i)));
            }
            return WriteHistoryFile(history, entries);
        },
        kRounds, 3));
    struct stat st {};
    ASSERT_EQ(::stat(history.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace quillpad
