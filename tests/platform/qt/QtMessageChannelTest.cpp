#include "platform/qt/CQtMessageChannel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <vector>

#include "tests/support/Counted.h"

namespace quillpad {
namespace {

class CLogTarget final : public CMessageTarget {
  public:
    CLogTarget(CMessageChannel& channel, std::vector<std::uint64_t>& log)
        : CMessageTarget(channel), m_log(log) {}
    std::int64_t HandleMessage(SMessage& message) override {
        m_log.push_back(message.wParam);
        return static_cast<std::int64_t>(message.wParam);
    }

  private:
    std::vector<std::uint64_t>& m_log;
};

using test::SCounted;

TEST(QtMessageChannel, PostedMessagesArriveInOrderThroughTheEventLoop) {
    CQtMessageChannel channel;
    std::vector<std::uint64_t> log;
    CLogTarget a(channel, log);
    CLogTarget b(channel, log);
    for (std::uint64_t i = 0; i < 100; ++i) {
        channel.Post(i % 2 ? b.Handle() : a.Handle(), UM_APPEND_RECORD, i);
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(channel.Send(a.Handle(), UM_GET_RECORD, 500), 500) << "send does not wait";
    QCoreApplication::processEvents();
    ASSERT_EQ(log.size(), 101u);
    for (std::uint64_t i = 0; i < 100; ++i) {
        EXPECT_EQ(log[i + 1], i);
    }
}

TEST(QtMessageChannel, DroppedMessagesFreeTheirPayloads) {
    SCounted::alive = 0;
    std::vector<std::uint64_t> log;
    {
        CQtMessageChannel channel;
        auto target = std::make_unique<CLogTarget>(channel, log);
        channel.Post(target->Handle(), UM_APPEND_RECORD, 1, 0, CPayload::Make(SCounted{}));
        target.reset();
        QCoreApplication::processEvents();
        EXPECT_EQ(SCounted::alive, 0);

        CLogTarget other(channel, log);
        channel.Post(other.Handle(), UM_APPEND_RECORD, 2, 0, CPayload::Make(SCounted{}));
        EXPECT_EQ(SCounted::alive, 1);
        // The channel goes away with the message still queued.
    }
    EXPECT_EQ(SCounted::alive, 0);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace quillpad
