#include "platform/MessageChannel.h"

#include <cassert>
#include <cstdio>
#include <utility>

namespace quillpad {

MessageHandle CMessageChannel::Register(IMessageHandler& handler) {
    const MessageHandle handle = m_nextHandle++;
    m_handlers.emplace(handle, &handler);
    return handle;
}

void CMessageChannel::Unregister(MessageHandle handle) {
    m_handlers.erase(handle);
}

bool CMessageChannel::IsAlive(MessageHandle handle) const {
    return m_handlers.find(handle) != m_handlers.end();
}

void CMessageChannel::Deliver(MessageHandle target, SMessage& message) {
    auto it = m_handlers.find(target);
    if (it == m_handlers.end()) {
        return;  // dropped; the payload goes with the message
    }
    it->second->HandleMessage(message);
}

std::int64_t CMessageChannel::Send(MessageHandle target, SMessage message) {
    auto it = m_handlers.find(target);
    if (it == m_handlers.end()) {
        return 0;
    }
    // The handler may register or unregister targets; it gets no iterator.
    IMessageHandler* handler = it->second;
    return handler->HandleMessage(message);
}

std::int64_t CMessageChannel::Send(MessageHandle target, MessageId id, std::uint64_t wParam,
                                   std::int64_t lParam, CPayload payload) {
    return Send(target, SMessage{id, wParam, lParam, std::move(payload)});
}

void CMessageChannel::Post(MessageHandle target, SMessage message) {
    if (message.payload.Borrowed()) {
        std::fprintf(stderr, "quillpad: message 0x%x posted with a borrowed payload; dropped\n",
                     static_cast<unsigned>(message.id));
        assert(!"a borrowed payload must be sent, not posted");
        return;
    }
    if (!IsAlive(target)) {
        return;
    }
    Enqueue(target, std::move(message));
}

void CMessageChannel::Post(MessageHandle target, MessageId id, std::uint64_t wParam,
                           std::int64_t lParam, CPayload payload) {
    Post(target, SMessage{id, wParam, lParam, std::move(payload)});
}

void CQueuedChannel::Enqueue(MessageHandle target, SMessage message) {
    m_queue.push_back(SQueued{target, std::move(message)});
}

bool CQueuedChannel::DeliverOne() {
    if (m_queue.empty()) {
        return false;
    }
    // Taken off the queue before delivery: the handler may post more.
    SQueued item = std::move(m_queue.front());
    m_queue.pop_front();
    Deliver(item.target, item.message);
    return true;
}

std::size_t CQueuedChannel::DrainPending() {
    std::size_t count = 0;
    while (DeliverOne()) {
        ++count;
    }
    return count;
}

}  // namespace quillpad
