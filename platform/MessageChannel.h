#pragma once
// The replacement for window messages: targets addressed by handle, an ordered
// queued form (Post) and an immediate form (Send). Everything runs on one
// thread. Handles are never reused, so a message for a destroyed target is
// dropped (and its payload freed) rather than delivered to a newcomer.

#include <cstdint>
#include <deque>
#include <unordered_map>

#include "platform/Messages.h"
#include "platform/Payload.h"

namespace quillpad {

using MessageHandle = std::uint32_t;
inline constexpr MessageHandle kNoHandle = 0;

struct SMessage {
    MessageId id = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    CPayload payload;
};

class IMessageHandler {
  public:
    virtual ~IMessageHandler() = default;
    virtual std::int64_t HandleMessage(SMessage& message) = 0;
};

class CMessageChannel {
  public:
    CMessageChannel() = default;
    CMessageChannel(const CMessageChannel&) = delete;
    CMessageChannel& operator=(const CMessageChannel&) = delete;
    virtual ~CMessageChannel() = default;

    MessageHandle Register(IMessageHandler& handler);
    // After this the handle is dead for good; queued messages for it are dropped.
    void Unregister(MessageHandle handle);
    bool IsAlive(MessageHandle handle) const;

    // Delivers at once and returns the handler's result; 0 for a dead handle.
    // May be called from inside a handler.
    std::int64_t Send(MessageHandle target, SMessage message);
    std::int64_t Send(MessageHandle target, MessageId id, std::uint64_t wParam = 0,
                      std::int64_t lParam = 0, CPayload payload = {});

    // Queues for later delivery, in one FIFO order across all targets. A
    // borrowed payload is refused: by delivery the frame it points into is
    // gone. The refusal aborts in debug builds, so tests fail loudly; a
    // release build drops the message and says so on stderr.
    void Post(MessageHandle target, SMessage message);
    void Post(MessageHandle target, MessageId id, std::uint64_t wParam = 0, std::int64_t lParam = 0,
              CPayload payload = {});

  protected:
    // How a posted message is queued; Deliver() hands it over later.
    virtual void Enqueue(MessageHandle target, SMessage message) = 0;
    void Deliver(MessageHandle target, SMessage& message);

  private:
    std::unordered_map<MessageHandle, IMessageHandler*> m_handlers;
    MessageHandle m_nextHandle = 1;
};

// The core channel: posted messages wait in a queue until someone drains it
// (tests and tools; the Qt layer has its own channel on the event loop).
class CQueuedChannel final : public CMessageChannel {
  public:
    // Delivers queued messages, including those posted while it runs, until
    // the queue is empty. Returns how many were taken off the queue.
    std::size_t DrainPending();
    // Delivers at most one queued message; false when the queue was empty.
    bool DeliverOne();
    std::size_t PendingCount() const { return m_queue.size(); }

  protected:
    void Enqueue(MessageHandle target, SMessage message) override;

  private:
    struct SQueued {
        MessageHandle target;
        SMessage message;
    };
    std::deque<SQueued> m_queue;
};

// A handler that registers itself on construction and is dead from the
// moment it is destroyed.
class CMessageTarget : public IMessageHandler {
  public:
    explicit CMessageTarget(CMessageChannel& channel)
        : m_channel(channel), m_handle(channel.Register(*this)) {}
    ~CMessageTarget() override { m_channel.Unregister(m_handle); }
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    MessageHandle Handle() const { return m_handle; }
    CMessageChannel& Channel() const { return m_channel; }

  private:
    CMessageChannel& m_channel;
    MessageHandle m_handle;
};

}  // namespace quillpad
