#include "platform/qt/CQtMessageChannel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <functional>
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

// Logs like CLogTarget and then does whatever the test asks of it.
class CActingTarget final : public CMessageTarget {
  public:
    CActingTarget(CMessageChannel& channel, std::vector<std::uint64_t>& log)
        : CMessageTarget(channel), m_log(log) {}
    std::function<void(std::uint64_t)> onMessage;
    std::int64_t HandleMessage(SMessage& message) override {
        m_log.push_back(message.wParam);
        // A copy: the action may destroy this target.
        if (auto act = onMessage) {
            act(message.wParam);
        }
        return 0;
    }

  private:
    std::vector<std::uint64_t>& m_log;
};

// Something that is not a message, posted into the same loop (as a timer or
// a queued signal would be).
class CEventLog final : public QObject {
  public:
    explicit CEventLog(std::vector<std::uint64_t>& log) : m_log(log) {}
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            m_log.push_back(kMarker);
            return true;
        }
        return QObject::event(event);
    }
    static constexpr std::uint64_t kMarker = 999;

  private:
    std::vector<std::uint64_t>& m_log;
};

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

TEST(QtMessageChannel, ANestedLoopInAHandlerGoesOnInOrderWithoutRepeats) {
    CQtMessageChannel channel;
    std::vector<std::uint64_t> log;
    CActingTarget target(channel, log);
    std::vector<std::uint64_t> seenInsideDialog;
    std::function<void()> closeDialog;
    target.onMessage = [&](std::uint64_t value) {
        if (value == 1) {
            // A modal dialog: its loop runs until message 6 closes it.
            channel.Post(target.Handle(), UM_APPEND_RECORD, 5);
            channel.Post(target.Handle(), UM_APPEND_RECORD, 6);
            QEventLoop dialog;
            QTimer::singleShot(5000, &dialog, &QEventLoop::quit);
            closeDialog = [&] { dialog.quit(); };
            dialog.exec();
            closeDialog = nullptr;
            seenInsideDialog = log;
            channel.Post(target.Handle(), UM_APPEND_RECORD, 8);
        } else if (value == 6) {
            closeDialog();
            channel.Post(target.Handle(), UM_APPEND_RECORD, 7);
        }
    };
    for (std::uint64_t i = 1; i <= 4; ++i) {
        channel.Post(target.Handle(), UM_APPEND_RECORD, i);
    }
    for (int turn = 0; turn < 20 && log.size() < 8; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(seenInsideDialog, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6}))
        << "the queue must keep flowing while a handler's dialog is open";
    EXPECT_EQ(log, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(channel.PendingCount(), 0u);
}

TEST(QtMessageChannel, AHandlerDestroyingTargetsOrTheChannelDropsTheirQueuedMessages) {
    SCounted::alive = 0;
    std::vector<std::uint64_t> log;
    // As a console holds its channel and the targets on it.
    struct SConsole {
        std::vector<std::uint64_t>& log;
        CQtMessageChannel channel;
        CActingTarget killer{channel, log};
        std::unique_ptr<CActingTarget> victim = std::make_unique<CActingTarget>(channel, log);
        explicit SConsole(std::vector<std::uint64_t>& log) : log(log) {}
    };
    auto console = std::make_unique<SConsole>(log);
    console->killer.onMessage = [&](std::uint64_t value) {
        if (value == 1) {
            console->victim.reset();
        } else if (value == 4) {
            console.reset();  // with message 5 and its payload still queued
        }
    };
    auto& channel = console->channel;
    const MessageHandle killer = console->killer.Handle();
    const MessageHandle victim = console->victim->Handle();
    channel.Post(victim, UM_APPEND_RECORD, 0, 0, CPayload::Make(SCounted{}));
    channel.Post(killer, UM_APPEND_RECORD, 1);
    channel.Post(victim, UM_APPEND_RECORD, 2, 0, CPayload::Make(SCounted{}));
    channel.Post(victim, UM_APPEND_RECORD, 3, 0, CPayload::Make(SCounted{}));
    channel.Post(killer, UM_APPEND_RECORD, 4);
    channel.Post(killer, UM_APPEND_RECORD, 5, 0, CPayload::Make(SCounted{}));
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(console);
    EXPECT_EQ(log, (std::vector<std::uint64_t>{0, 1, 4}));
    EXPECT_EQ(SCounted::alive, 0);
}

TEST(QtMessageChannel, AMessagePostedDuringADrainWaitsForALaterTurn) {
    CQtMessageChannel channel;
    std::vector<std::uint64_t> log;
    CEventLog other(log);
    CActingTarget target(channel, log);
    // Posts itself again and again: without the wait, the loop would never
    // get to anything else.
    target.onMessage = [&](std::uint64_t value) {
        if (value == 1) {
            QCoreApplication::postEvent(&other, std::make_unique<QEvent>(QEvent::User).release());
        }
        if (value >= 10 && value < 100) {
            channel.Post(target.Handle(), UM_APPEND_RECORD, value + 1);
        }
    };
    channel.Post(target.Handle(), UM_APPEND_RECORD, 1);
    channel.Post(target.Handle(), UM_APPEND_RECORD, 10);
    channel.Post(target.Handle(), UM_APPEND_RECORD, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(log, (std::vector<std::uint64_t>{1, 10, 2}));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(std::count(log.begin(), log.end(), CEventLog::kMarker), 1)
        << "the other event got its turn between drains";
    log.erase(std::remove(log.begin(), log.end(), CEventLog::kMarker), log.end());
    EXPECT_EQ(log, (std::vector<std::uint64_t>{1, 10, 2, 11, 12}));
    EXPECT_EQ(channel.PendingCount(), 1u) << "13 waits for the next turn";
}

}  // namespace
}  // namespace quillpad
