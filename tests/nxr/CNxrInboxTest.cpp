#include "nxr/CNxrInbox.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillpad {
namespace {

SNxrIoEvent Data(ENxrIoEventKind kind, ByteString bytes) {
    SNxrIoEvent event;
    event.kind = kind;
    event.bytes = std::move(bytes);
    return event;
}

SNxrIoEvent Completion(std::uint32_t id) {
    SNxrIoEvent event;
    event.kind = ENxrIoEventKind::Completed;
    event.requestId = id;
    return event;
}

TEST(NxrInbox, KeepsOrderJoinsDataOfOneDirectionAndWakesOnce) {
    CNxrInbox inbox;
    EXPECT_TRUE(inbox.Push(Data(ENxrIoEventKind::Received, "ab")));
    EXPECT_FALSE(inbox.Push(Data(ENxrIoEventKind::Received, "cd"))) << "joined, no new wake";
    EXPECT_FALSE(inbox.Push(Data(ENxrIoEventKind::Transmitted, "x")));
    EXPECT_FALSE(inbox.Push(Data(ENxrIoEventKind::Received, "ef")));
    EXPECT_EQ(inbox.Size(), 3u);
    EXPECT_EQ(inbox.QueuedBytes(), 7u);

    SNxrIoEvent event;
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.bytes, "abcd");
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.kind, ENxrIoEventKind::Transmitted);
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.bytes, "ef");
    EXPECT_FALSE(inbox.Take(event));
    EXPECT_EQ(inbox.QueuedBytes(), 0u);
    EXPECT_TRUE(inbox.Push(Completion(1))) << "the queue ran dry, so the owner sleeps again";
}

TEST(NxrInbox, JoinedEventsStayBelowTheLimit) {
    CNxrInbox inbox;
    const ByteString chunk(CNxrInbox::kJoinLimit / 2 + 1, 'z');
    inbox.Push(Data(ENxrIoEventKind::Received, chunk));
    inbox.Push(Data(ENxrIoEventKind::Received, chunk));
    EXPECT_EQ(inbox.Size(), 2u);
}

TEST(NxrInbox, TakeCompletionWaitsForItsIdAndLeavesTheRest) {
    CNxrInbox inbox;
    inbox.Push(Data(ENxrIoEventKind::Received, "first"));
    inbox.Push(Completion(7));
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        inbox.Push(Data(ENxrIoEventKind::Received, "second"));
        inbox.Push(Completion(9));
    });
    const auto got =
        inbox.TakeCompletion(9, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    worker.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->requestId, 9u);
    EXPECT_FALSE(
        inbox.TakeCompletion(5, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)));
    SNxrIoEvent event;
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.bytes, "first");
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.requestId, 7u);
    ASSERT_TRUE(inbox.Take(event));
    EXPECT_EQ(event.bytes, "second");
    EXPECT_FALSE(inbox.Take(event));
}

}  // namespace
}  // namespace quillpad
