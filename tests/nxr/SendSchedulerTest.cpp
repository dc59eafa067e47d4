#include "nxr/CSendScheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpad {
namespace {

struct SSent {
    std::uint32_t tick;
    std::string bytes;
};

class SendScheduler : public ::testing::Test {
  protected:
    // Moves the clock in steps of `stepMs` up to `untilMs` from now, polling
    // whenever a send is due as a timer armed to NextDelay would.
    std::vector<SSendEnded> RunFor(std::uint32_t untilMs, std::uint32_t stepMs = 1) {
        std::vector<SSendEnded> ended;
        for (std::uint32_t t = 0; t <= untilMs; t += stepMs) {
            const auto delay = scheduler.NextDelay();
            if (delay && *delay == 0) {
                const auto now = scheduler.Poll(send);
                ended.insert(ended.end(), now.begin(), now.end());
            }
            clock.Advance(stepMs);
        }
        return ended;
    }

    CManualClock clock{1000};
    CSendScheduler scheduler{clock};
    std::vector<SSent> sent;
    bool linkTakes = true;
    CSendScheduler::SendFunction send = [this](std::string_view bytes) {
        sent.push_back({clock.TickCount(), std::string(bytes)});
        return linkTakes;
    };
};

TEST_F(SendScheduler, SendsAtOnceThenEveryPeriodUntilTheCount) {
    scheduler.Start(7, "Q", 10, 4);
    EXPECT_EQ(scheduler.NextDelay(), 0u);
    const auto ended = RunFor(100);
    ASSERT_EQ(sent.size(), 4u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].tick, 1000 + 10 * i);
        EXPECT_EQ(sent[i].bytes, "Q");
    }
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].id, 7u);
    EXPECT_EQ(ended[0].how, ESendEnd::Done);
    EXPECT_EQ(ended[0].sent, 4u);
    EXPECT_FALSE(scheduler.Running(7));
    EXPECT_FALSE(scheduler.NextDelay().has_value());
}

TEST_F(SendScheduler, LateSendsDoNotMoveTheScheduleAndMissedOnesAreNotMadeUp) {
    scheduler.Start(1, "a", 10, 0);
    scheduler.Poll(send);  // at 1000
    EXPECT_EQ(scheduler.NextDelay(), 10u);
    clock.Advance(13);  // 3 ms late
    scheduler.Poll(send);
    // Due at 1020 still, not 1023 + 10.
    EXPECT_EQ(scheduler.NextDelay(), 7u);
    clock.Advance(7);
    scheduler.Poll(send);
    clock.Advance(35);  // held up past three planned sends (1030, 1040, 1050)
    scheduler.Poll(send);
    EXPECT_EQ(scheduler.NextDelay(), 5u);  // 1060
    clock.Advance(5);
    scheduler.Poll(send);
    std::vector<std::uint32_t> ticks;
    for (const auto& s : sent) {
        ticks.push_back(s.tick);
    }
    EXPECT_EQ(ticks, (std::vector<std::uint32_t>{1000, 1013, 1020, 1055, 1060}));
    EXPECT_EQ(scheduler.Sent(1), 5u);
    // Polled early, nothing goes.
    clock.Advance(3);
    scheduler.Poll(send);
    EXPECT_EQ(sent.size(), 5u);
}

TEST_F(SendScheduler, KeepsItsPeriodAcrossTheTickWrap) {
    clock.SetTick(0xFFFF'FFF0u);
    scheduler.Start(1, "w", 10, 5);
    RunFor(60);
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(TickSpan(sent[i - 1].tick, sent[i].tick), 10u);
    }
    EXPECT_EQ(sent[2].tick, 4u);
}

TEST_F(SendScheduler, StopRestartAndARefusedSend) {
    scheduler.Start(1, "one", 10, 0);
    scheduler.Start(2, "two", 25, 0);
    RunFor(30);
    EXPECT_EQ(scheduler.Sent(1), 4u);  // 0 10 20 30
    EXPECT_EQ(scheduler.Sent(2), 2u);  // 0 25
    scheduler.Stop(1);
    EXPECT_FALSE(scheduler.Running(1));
    EXPECT_TRUE(scheduler.Running(2));
    // A restart begins again: a new first send and count.
    scheduler.Start(2, "TWO", 100, 2);
    EXPECT_EQ(scheduler.Sent(2), 0u);
    const std::size_t before = sent.size();
    RunFor(10);
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(sent.back().bytes, "TWO");

    // The link refuses: the repeat ends, once, as failed.
    linkTakes = false;
    const auto ended = RunFor(200);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].id, 2u);
    EXPECT_EQ(ended[0].how, ESendEnd::Failed);
    EXPECT_EQ(ended[0].sent, 1u);
    EXPECT_FALSE(scheduler.AnyRunning());
}

TEST_F(SendScheduler, ASendThatStopsItsOwnRepeatEndsIt) {
    scheduler.Start(1, "x", 10, 0);
    scheduler.Start(2, "y", 10, 0);
    CSendScheduler::SendFunction stopping = [&](std::string_view bytes) {
        sent.push_back({clock.TickCount(), std::string(bytes)});
        scheduler.Stop(1);
        return true;
    };
    EXPECT_TRUE(scheduler.Poll(stopping).empty());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].bytes, "y");
    EXPECT_FALSE(scheduler.Running(1));
    EXPECT_EQ(scheduler.Sent(2), 1u);
}

TEST_F(SendScheduler, CountsAreReportedAtMostOncePerGapAndEndsCarryTheirOwn) {
    scheduler.Start(1, "a", 10, 0);
    scheduler.Start(2, "b", 30, 0);
    RunFor(0);
    // The first sends are told at once; nothing new, nothing told.
    auto progress = scheduler.TakeProgress(50);
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].id, 1u);
    EXPECT_EQ(progress[0].sent, 1u);
    EXPECT_EQ(progress[1].sent, 1u);
    EXPECT_TRUE(scheduler.TakeProgress(0).empty());
    // 1001 .. 1049: four more sends of 1, one of 2, all held back.
    clock.Advance(1);
    for (int t = 1; t < 49; ++t) {
        RunFor(0);
        EXPECT_TRUE(scheduler.TakeProgress(50).empty()) << "at " << clock.TickCount();
    }
    RunFor(1);  // 1050: the gap is over
    progress = scheduler.TakeProgress(50);
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].sent, 6u);  // 1000 .. 1050
    EXPECT_EQ(progress[1].sent, 2u);  // 1000, 1030
    // Only what changed is told.
    clock.Advance(59);  // 1111: both are late; 2 is stopped first
    scheduler.Stop(2);
    RunFor(0);
    progress = scheduler.TakeProgress(50);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].id, 1u);

    // A stop says how many went; ending all names each once.
    const auto stopped = scheduler.Stop(1);
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(stopped->how, ESendEnd::Stopped);
    EXPECT_EQ(stopped->sent, 7u);
    EXPECT_FALSE(scheduler.Stop(1).has_value());
    scheduler.Start(3, "c", 10, 0);
    scheduler.Start(4, "d", 10, 5);
    RunFor(0);
    const auto ended = scheduler.EndAll(ESendEnd::Failed);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].id, 3u);
    EXPECT_EQ(ended[1].id, 4u);
    EXPECT_EQ(ended[1].how, ESendEnd::Failed);
    EXPECT_EQ(ended[1].sent, 1u);
    EXPECT_FALSE(scheduler.AnyRunning());
    EXPECT_TRUE(scheduler.EndAll(ESendEnd::Failed).empty());
}

}  // namespace
}  // namespace quillpad
