#include "nxr/CNxrInbox.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillpad {
namespace {

SNxrIoReceived In(ByteString bytes) {
    return {0, std::move(bytes)};
}

SNxrIoCompleted Completion(std::uint32_t id) {
    return {id, 0, false, {}};
}

// The bytes of a received event, "" for any other kind.
ByteString Received(const NxrIoEvent& event) {
    const auto* in = std::get_if<SNxrIoReceived>(&event);
    return in != nullptr ? in->bytes : ByteString();
}

TEST(NxrInbox, KeepsOrderJoinsDataOfOneDirectionAndWakesOnce) {
    CNxrInbox inbox;
    EXPECT_TRUE(inbox.Push(In("ab")));
    EXPECT_FALSE(inbox.Push(In("cd"))) << "joined, no new wake";
    EXPECT_FALSE(inbox.Push(SNxrIoTransmitted{0, "x"}));
    EXPECT_FALSE(inbox.Push(In("ef")));
    EXPECT_EQ(inbox.Size(), 3u);
    EXPECT_EQ(inbox.QueuedBytes(), 7u);

    NxrIoEvent event;
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(Received(event), "abcd");
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_TRUE(std::holds_alternative<SNxrIoTransmitted>(event));
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(Received(event), "ef");
    EXPECT_FALSE(inbox.Take(event));
    EXPECT_EQ(inbox.QueuedBytes(), 0u);
    EXPECT_TRUE(inbox.Push(Completion(1))) << "the queue ran dry, so the owner sleeps again";
}

TEST(NxrInbox, JoinedEventsStayBelowTheLimit) {
    CNxrInbox inbox;
    const ByteString chunk(CNxrInbox::kJoinLimit / 2 + 1, 'z');
    inbox.Push(In(chunk));
    inbox.Push(In(chunk));
    EXPECT_EQ(inbox.Size(), 2u);
}

TEST(NxrInbox, TakeCompletionWaitsForItsIdAndLeavesTheRest) {
    CNxrInbox inbox;
    inbox.Push(In("first"));
    inbox.Push(Completion(7));
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        inbox.Push(In("second"));
        inbox.Push(Completion(9));
    });
    const auto got =
        inbox.TakeCompletion(9, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    worker.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->requestId, 9u);
    EXPECT_FALSE(
        inbox.TakeCompletion(5, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)));
    NxrIoEvent event;
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(Received(event), "first");
    ASSERT_TRUE(inbox.Take(event));
    ASSERT_TRUE(std::holds_alternative<SNxrIoCompleted>(event));
    EXPECT_EQ(std::get<SNxrIoCompleted>(event).requestId, 7u);
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(Received(event), "second");
    EXPECT_FALSE(inbox.Take(event));
}

// The reader pauses once at the high mark, however often it asks, and the
// owner is told once to resume it, when its takes bring the queue below the
// low mark (not before).
TEST(NxrInbox, BackPressurePausesAtTheHighMarkAndResumesBelowTheLowOnce) {
    CNxrInbox inbox;
    constexpr std::size_t kChunk = 1u << 20;
    const ByteString chunk(kChunk, 'x');
    std::size_t pushed = 0;
    while (inbox.ReaderRoom() > 0) {
        EXPECT_EQ(inbox.ReaderRoom(), CNxrInbox::kHighWater - pushed);
        inbox.Push(In(chunk));
        pushed += kChunk;
    }
    EXPECT_EQ(pushed, CNxrInbox::kHighWater);
    EXPECT_TRUE(inbox.ReaderPaused());
    EXPECT_EQ(inbox.ReaderRoom(), 0u) << "still paused";
    EXPECT_EQ(inbox.Pauses(), 1u) << "one pause, however often the reader asks";

    NxrIoEvent event;
    int resumes = 0;
    std::size_t queuedAtResume = 0;
    while (inbox.Take(event)) {
        if (inbox.TakeResume()) {
            ++resumes;
            queuedAtResume = inbox.QueuedBytes();
        }
    }
    EXPECT_EQ(resumes, 1);
    EXPECT_LT(queuedAtResume, CNxrInbox::kLowWater);
    EXPECT_GE(queuedAtResume + kChunk, CNxrInbox::kLowWater)
        << "resumed as soon as the queue fell below the low mark";
    EXPECT_FALSE(inbox.ReaderPaused());
    EXPECT_EQ(inbox.ReaderRoom(), CNxrInbox::kHighWater);
    EXPECT_FALSE(inbox.TakeResume());
}

// A reader that goes away while paused is not resumed later, and the next
// one starts unpaused.
TEST(NxrInbox, AReaderThatGoesAwayIsNotResumed) {
    CNxrInbox inbox;
    inbox.Push(In(ByteString(CNxrInbox::kHighWater, 'x')));
    EXPECT_EQ(inbox.ReaderRoom(), 0u);
    inbox.ReaderGone();
    EXPECT_FALSE(inbox.ReaderPaused());
    NxrIoEvent event;
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_FALSE(inbox.TakeResume());
}

TEST(NxrInbox, KeepsTheLinkStatusAndSaysWhetherItChanged) {
    CNxrInbox inbox;
    EXPECT_EQ(inbox.LinkStatus(), 1u);
    EXPECT_TRUE(inbox.SetLink(4, "the cable"));
    EXPECT_FALSE(inbox.SetLink(4, "another reason")) << "the same status is no change";
    EXPECT_EQ(inbox.LinkReason(), "the cable");
    EXPECT_TRUE(inbox.SetLink(3, {}));
    EXPECT_EQ(inbox.LinkStatus(), 3u);
}

}  // namespace
}  // namespace quillpad
