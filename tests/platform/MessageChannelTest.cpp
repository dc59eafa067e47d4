#include "platform/MessageChannel.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Counted.h"

namespace quillpad {
namespace {

struct SDelivery {
    MessageHandle target;
    MessageId id;
    std::uint64_t wParam;
};

// Records what it receives into a log shared by all targets of a test.
class CRecorder final : public CMessageTarget {
  public:
    CRecorder(CMessageChannel& channel, std::vector<SDelivery>& log)
        : CMessageTarget(channel), m_log(log) {}
    std::function<std::int64_t(SMessage&)> onMessage;

    std::int64_t HandleMessage(SMessage& message) override {
        m_log.push_back({Handle(), message.id, message.wParam});
        return onMessage ? onMessage(message) : 0;
    }

  private:
    std::vector<SDelivery>& m_log;
};

using test::SCounted;

TEST(MessageChannel, PostsKeepOneOrderAcrossTargets) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    CRecorder a(channel, log);
    CRecorder b(channel, log);
    channel.Post(a.Handle(), UM_APPEND_RECORD, 1);
    channel.Post(b.Handle(), UM_APPEND_RECORD, 2);
    channel.Post(a.Handle(), UM_CLEAR_DATA, 3);
    channel.Post(b.Handle(), UM_SET_SCHEME, 4);
    EXPECT_TRUE(log.empty()) << "posting must not deliver";
    EXPECT_EQ(channel.DrainPending(), 4u);
    ASSERT_EQ(log.size(), 4u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].wParam, i + 1);
    }
    EXPECT_EQ(log[0].target, a.Handle());
    EXPECT_EQ(log[1].target, b.Handle());
    EXPECT_EQ(log[3].id, UM_SET_SCHEME);
}

TEST(MessageChannel, SendFromInsideAHandlerReturnsTheInnerResult) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    CRecorder outer(channel, log);
    CRecorder inner(channel, log);
    inner.onMessage = [](SMessage& m) { return static_cast<std::int64_t>(m.wParam * 10); };
    outer.onMessage = [&](SMessage& m) -> std::int64_t {
        if (m.id != UM_GET_RECORD) {
            return -1;
        }
        // Re-entrant: the outer handler asks the inner one and also itself.
        const auto innerResult = channel.Send(inner.Handle(), UM_GET_RECORD, m.wParam);
        if (m.wParam == 7) {
            channel.Send(outer.Handle(), UM_GET_START_TICK, 0);
        }
        return innerResult + 1;
    };
    EXPECT_EQ(channel.Send(outer.Handle(), UM_GET_RECORD, 7), 71);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].target, outer.Handle());
    EXPECT_EQ(log[1].target, inner.Handle());
    EXPECT_EQ(log[2].id, UM_GET_START_TICK);
}

TEST(MessageChannel, MessagesToADestroyedTargetAreDroppedAndFreeTheirPayload) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    auto doomed = std::make_unique<CRecorder>(channel, log);
    CRecorder survivor(channel, log);
    const MessageHandle dead = doomed->Handle();
    SCounted::alive = 0;
    channel.Post(dead, UM_APPEND_RECORD, 1, 0, CPayload::Make(SCounted{}));
    channel.Post(survivor.Handle(), UM_APPEND_RECORD, 2);
    doomed.reset();
    EXPECT_EQ(SCounted::alive, 1) << "the queued message still owns its payload";
    channel.DrainPending();
    EXPECT_EQ(SCounted::alive, 0) << "a dropped message frees its payload";
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].wParam, 2u);

    // Later sends and posts to the dead handle do nothing, payloads freed at once.
    EXPECT_EQ(channel.Send(dead, UM_GET_RECORD, 0, 0, CPayload::Make(SCounted{})), 0);
    channel.Post(dead, UM_GET_RECORD, 0, 0, CPayload::Make(SCounted{}));
    EXPECT_EQ(SCounted::alive, 0);
    EXPECT_EQ(channel.PendingCount(), 0u);
    EXPECT_FALSE(channel.IsAlive(dead));
    EXPECT_FALSE(channel.IsAlive(12345));
}

TEST(MessageChannel, HandlesAreNeverReused) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    MessageHandle first = 0;
    {
        CRecorder gone(channel, log);
        first = gone.Handle();
        channel.Post(first, UM_APPEND_RECORD, 1);
    }
    CRecorder newcomer(channel, log);
    EXPECT_NE(newcomer.Handle(), first);
    channel.DrainPending();
    EXPECT_TRUE(log.empty()) << "a message for the old target reached a newcomer";
}

TEST(MessageChannel, PostsMadeWhileDrainingRunAfterThoseAlreadyQueued) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    CRecorder a(channel, log);
    CRecorder b(channel, log);
    a.onMessage = [&](SMessage& m) {
        if (m.wParam == 1) {
            channel.Post(b.Handle(), UM_APPEND_RECORD, 3);
        }
        return 0;
    };
    channel.Post(a.Handle(), UM_APPEND_RECORD, 1);
    channel.Post(b.Handle(), UM_APPEND_RECORD, 2);
    EXPECT_EQ(channel.DrainPending(), 3u);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].wParam, 1u);
    EXPECT_EQ(log[1].wParam, 2u);
    EXPECT_EQ(log[2].wParam, 3u);
}

TEST(MessageChannel, ATargetDestroyedByAnEarlierMessageMissesTheRest) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    auto victim = std::make_unique<CRecorder>(channel, log);
    CRecorder killer(channel, log);
    killer.onMessage = [&](SMessage&) {
        victim.reset();
        return 0;
    };
    channel.Post(killer.Handle(), UM_CLEAR_DATA);
    channel.Post(victim->Handle(), UM_APPEND_RECORD, 9, 0, CPayload::Make(std::string(64, 'x')));
    channel.DrainPending();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].id, UM_CLEAR_DATA);
}

TEST(Payload, HoldsOneTypeAndRefusesOthers) {
    CPayload bytes = CPayload::Make(std::string("\x00\xff", 2));
    ASSERT_NE(bytes.Get<std::string>(), nullptr);
    EXPECT_EQ(bytes.Get<std::string>()->size(), 2u);
    EXPECT_EQ(bytes.Get<int>(), nullptr);
    CPayload moved = std::move(bytes);
    EXPECT_TRUE(moved.Holds<std::string>());
    EXPECT_TRUE(CPayload{}.Empty());
}

// A payload that points into the sender's frame is good for a Send only;
// posted, it would be read after the frame is gone.
TEST(Payload, ABorrowedPayloadIsSentButNeverPosted) {
    CQueuedChannel channel;
    std::vector<SDelivery> log;
    CRecorder target(channel, log);
    std::int64_t out = 0;
    target.onMessage = [](SMessage& m) {
        if (auto* p = m.payload.Get<std::int64_t*>(); p != nullptr && m.payload.Borrowed()) {
            **p = 42;
        }
        return 0;
    };
    channel.Send(target.Handle(), UM_GET_RECORD_TIME, 0, 0, CPayload::Borrow<std::int64_t*>(&out));
    EXPECT_EQ(out, 42);

    CPayload lent = CPayload::Borrow<std::int64_t*>(&out);
    CPayload moved = std::move(lent);
    EXPECT_TRUE(moved.Borrowed()) << "the mark travels with the value";
    EXPECT_FALSE(CPayload::Make<std::int64_t*>(&out).Borrowed());

#ifndef NDEBUG
    EXPECT_DEATH(channel.Post(target.Handle(), UM_GET_RECORD_TIME, 0, 0,
                              CPayload::Borrow<std::int64_t*>(&out)),
                 "borrowed payload");
#else
    channel.Post(target.Handle(), UM_GET_RECORD_TIME, 0, 0, CPayload::Borrow<std::int64_t*>(&out));
#endif
    EXPECT_EQ(channel.PendingCount(), 0u);
}

}  // namespace
}  // namespace quillpad
