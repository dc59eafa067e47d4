#pragma once
// The message channel on Qt's event loop: posted messages wait in the
// channel's own queue, and one posted event drains it, so messages keep one
// order with each other and take their turn with user input.

#include <QObject>

#include <cstdint>
#include <deque>

#include "platform/MessageChannel.h"

namespace quillpad {

class CQtMessageChannel final : public QObject, public CMessageChannel {
    Q_OBJECT
  public:
    explicit CQtMessageChannel(QObject* parent = nullptr);
    ~CQtMessageChannel() override;

    std::size_t PendingCount() const { return m_queue.size(); }

  protected:
    void Enqueue(MessageHandle target, SMessage message) override;
    bool event(QEvent* event) override;

  private:
    struct SQueued {
        std::uint64_t sequence;
        MessageHandle target;
        SMessage message;
    };
    // One per drain on the stack, innermost first: a handler may destroy
    // the channel, and every drain it interrupted must then stop.
    struct SDrain {
        SDrain* outer;
        bool channelGone = false;
    };

    void Drain();
    void PostDrainEvent();

    std::deque<SQueued> m_queue;
    std::uint64_t m_nextSequence = 0;
    bool m_drainPosted = false;
    SDrain* m_innermostDrain = nullptr;
};

}  // namespace quillpad
