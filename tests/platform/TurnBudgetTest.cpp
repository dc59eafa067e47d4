#include <gtest/gtest.h>

#include <thread>

#include "platform/TurnBudget.h"

namespace quillpad {
namespace {

constexpr std::int64_t kMs = 1'000'000;

TEST(TurnBudget, SlicesShareWhatATurnHoldsAndEachStillMovesOn) {
    CTurnBudget budget;
    // No loop has started a turn: each slice gets its own budget whole.
    EXPECT_EQ(budget.Grant(6 * kMs, 0), 6 * kMs);
    EXPECT_EQ(budget.Grant(40 * kMs, 123 * kMs), 40 * kMs);

    const std::int64_t start = 1000 * kMs;
    budget.BeginTurn(start);
    // First in the turn: its own budget, or what the turn holds if less.
    EXPECT_EQ(budget.Grant(6 * kMs, start), 6 * kMs);
    EXPECT_EQ(budget.Grant(20 * kMs, start), CTurnBudget::kTurnNs);
    // Second, after the first took 6 ms: what is left of the turn.
    EXPECT_EQ(budget.Grant(4 * kMs, start + 6 * kMs), CTurnBudget::kTurnNs - 6 * kMs);
    // Late or past the end: the floor, never nothing and never negative;
    // a slice that wants less than the floor gets what it wants.
    EXPECT_EQ(budget.Grant(4 * kMs, start + CTurnBudget::kTurnNs - kMs / 2), CTurnBudget::kFloorNs);
    EXPECT_EQ(budget.Grant(4 * kMs, start + 50 * kMs), CTurnBudget::kFloorNs);
    EXPECT_EQ(budget.Grant(kMs / 4, start + 50 * kMs), kMs / 4);

    // The next turn starts afresh.
    budget.BeginTurn(start + 60 * kMs);
    EXPECT_EQ(budget.Grant(4 * kMs, start + 60 * kMs), 4 * kMs);
}

TEST(TurnBudget, ATurnThatMustCatchUpGivesTheFloorAndMayStopTheIntakeUntilTheNext) {
    CTurnBudget budget;
    const std::int64_t start = 1000 * kMs;
    budget.BeginTurn(start);
    budget.Spend();
    EXPECT_TRUE(budget.Spent());
    EXPECT_FALSE(budget.IntakeStopped()) << "spending the turn leaves the intake its floor";
    EXPECT_EQ(budget.Grant(6 * kMs, start), CTurnBudget::kFloorNs)
        << "a spent turn gives the floor however early";
    budget.StopIntake();
    EXPECT_TRUE(budget.IntakeStopped());
    EXPECT_EQ(budget.Grant(4 * kMs, start), CTurnBudget::kFloorNs)
        << "the other slices still move on";
    budget.BeginTurn(start + 20 * kMs);
    EXPECT_FALSE(budget.Spent());
    EXPECT_FALSE(budget.IntakeStopped()) << "a stop holds for its own turn only";
    EXPECT_EQ(budget.Grant(6 * kMs, start + 20 * kMs), 6 * kMs);
}

TEST(TurnBudget, EachThreadHasItsOwnAndOneHook) {
    CTurnBudget& mine = ThreadTurnBudget();
    EXPECT_EQ(&mine, &ThreadTurnBudget());
    const bool first = mine.FirstHook();
    EXPECT_FALSE(mine.FirstHook()) << "only one caller connects the loop's wake";
    CTurnBudget* other = nullptr;
    bool otherFirst = false;
    std::thread([&] {
        other = &ThreadTurnBudget();
        otherFirst = other->FirstHook();
    }).join();
    EXPECT_NE(other, &mine);
    EXPECT_TRUE(otherFirst);
    (void)first;  // another test on this thread may have hooked it already
}

}  // namespace
}  // namespace quillpad
