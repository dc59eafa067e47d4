#include "platform/qt/CQtMessageChannel.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace quillpad {
namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

CQtMessageChannel::CQtMessageChannel(QObject* parent) : QObject(parent) {}

CQtMessageChannel::~CQtMessageChannel() {
    for (SDrain* drain = m_innermostDrain; drain; drain = drain->outer) {
        drain->channelGone = true;
    }
}

// Each posted event wakes the loop up; a burst of messages costs one event.
void CQtMessageChannel::Enqueue(MessageHandle target, SMessage message) {
    m_queue.push_back(SQueued{m_nextSequence++, target, std::move(message)});
    if (!m_drainPosted) {
        PostDrainEvent();
    }
}

void CQtMessageChannel::PostDrainEvent() {
    m_drainPosted = true;
    QCoreApplication::postEvent(this, std::make_unique<QEvent>(kDrainEvent).release());
}

bool CQtMessageChannel::event(QEvent* event) {
    if (event->type() == kDrainEvent) {
        m_drainPosted = false;
        Drain();
        return true;
    }
    return QObject::event(event);
}

// Delivers the messages queued when the drain began; later ones wait for the
// next turn, so a handler that posts cannot keep user input waiting. Every
// drain takes from the front, so a nested loop run by a handler (a modal
// dialog) goes on in the same order, and none is delivered twice.
void CQtMessageChannel::Drain() {
    SDrain drain{m_innermostDrain};
    m_innermostDrain = &drain;
    const std::uint64_t end = m_nextSequence;
    while (!m_queue.empty() && m_queue.front().sequence < end) {
        // Taken off the queue first: the handler may post, drain or destroy.
        SQueued item = std::move(m_queue.front());
        m_queue.pop_front();
        // Should the handler run a loop of its own, the rest must flow in it.
        if (!m_queue.empty() && !m_drainPosted) {
            PostDrainEvent();
        }
        Deliver(item.target, item.message);
        if (drain.channelGone) {
            return;  // the item's payload goes with it; the queue went with the channel
        }
    }
    m_innermostDrain = drain.outer;
    if (m_queue.empty() && m_drainPosted) {
        // Posted for a nested loop that never came: spare the loop the turn.
        QCoreApplication::removePostedEvents(this, kDrainEvent);
        m_drainPosted = false;
    } else if (!m_queue.empty() && !m_drainPosted) {
        PostDrainEvent();
    }
}

}  // namespace quillpad
