// The find session without a display: the count in turns, Next and Previous
// round the ends, and past the kept matches the same answers as within them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/DataStore.h"
#include "view/CFindSession.h"

namespace quillpad {
namespace {

// A store of its own on a clock that stands still.
struct SHistory {
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store{channel, clock};
};

struct SRun {
    std::vector<std::uint64_t> shown;  // ordinals of the matches shown, in turn
    std::vector<CFindSession::ENote> notes;
};

// Ten records "ab ab ab", so 30 matches of "ab"; kept: all, or only 4.
SRun Walk(std::size_t kept, bool forward) {
    SHistory history;
    CDataStore& store = history.store;
    for (int i = 0; i < 10; ++i) {
        store.AddIncomingBytes(0, "ab ab ab\r\n");
    }
    CFindSession session(store, kept);
    bool turns = false;
    SRun run;
    session.SetHooks({[&](bool want) { turns = want; },
                      [&](const SFindMatch&) {
                          run.shown.push_back(session.Ordinal().value_or(0));
                          run.notes.push_back(session.Note());
                      },
                      nullptr});
    session.Restart(SFindQuery{"ab", EFindMode::Text, true, 0});
    EXPECT_TRUE(turns);
    while (turns) {
        session.Step();
    }
    EXPECT_EQ(session.MatchCount(), 30u);
    for (int move = 0; move < 32; ++move) {
        forward ? session.Next({}) : session.Previous({});
        while (turns) {
            session.Step();
        }
    }
    return run;
}

TEST(FindSession, NextAndPreviousGoRoundTheEndsAndPastTheKeptMatchesAlike) {
    for (const bool forward : {true, false}) {
        SCOPED_TRACE(forward);
        const SRun all = Walk(1000, forward);
        ASSERT_EQ(all.shown.size(), 32u);
        // Pinned to the end: Next starts at the first, Previous at the last.
        EXPECT_EQ(all.shown.front(), forward ? 1u : 30u);
        EXPECT_EQ(all.shown[30], forward ? 1u : 30u) << "round the end";
        EXPECT_EQ(all.notes[30],
                  forward ? CFindSession::ENote::PassedEnd : CFindSession::ENote::PassedStart);
        EXPECT_EQ(all.notes[29], CFindSession::ENote::None);
        const SRun few = Walk(4, forward);
        EXPECT_EQ(few.shown, all.shown) << "searched past the kept ones, numbered as the count";
    }
}

TEST(FindSession, AnInvalidQuerySaysWhyAndMarksNothing) {
    SHistory history;
    CDataStore& store = history.store;
    store.AddIncomingBytes(0, "abc");
    CFindSession session(store);
    session.Restart(SFindQuery{"(", EFindMode::Pattern, true, 0});
    EXPECT_FALSE(session.IsValid());
    EXPECT_FALSE(session.Error().empty());
    session.Next({});
    EXPECT_FALSE(session.Moving());
    EXPECT_TRUE(session.MarksIn(0, 0).empty());
}

// Records are counted as the store tells of them, painted or not, while the
// session is open; a stopped one takes them in when it resumes.
TEST(FindSession, AnOpenSessionCountsTheRecordsEachTurnBrings) {
    SHistory history;
    CDataStore& store = history.store;
    store.AddIncomingBytes(0, "ab");
    CFindSession session(store);
    bool turns = false;
    session.SetHooks({[&](bool want) { turns = want; }, nullptr, nullptr});
    const auto settle = [&] {
        store.EndTurn();
        while (turns) {
            session.Step();
        }
    };
    session.Restart(SFindQuery{"ab", EFindMode::Text, true, 0});
    settle();
    ASSERT_EQ(session.MatchCount(), 1u);
    store.AddIncomingBytes(0, "a");
    store.AddIncomingBytes(0, "b ab");  // completes a match the last count cut short
    settle();
    EXPECT_EQ(session.MatchCount(), 3u);
    session.Stop();
    store.AddIncomingBytes(0, "ab");
    settle();
    EXPECT_EQ(session.MatchCount(), 3u) << "a closed bar counts nothing";
    session.Resume();
    settle();
    EXPECT_EQ(session.MatchCount(), 4u);
}

}  // namespace
}  // namespace quillpad
