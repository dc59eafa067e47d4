#include "platform/qt/CQtMessageChannel.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace quillpad {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Qt owns a posted event and deletes it, delivered or not, so the payload it
// carries is freed either way.
class CMessageEvent final : public QEvent {
  public:
    CMessageEvent(MessageHandle target, SMessage message)
        : QEvent(kMessageEvent), target(target), message(std::move(message)) {}
    MessageHandle target;
    SMessage message;
};

}  // namespace

CQtMessageChannel::CQtMessageChannel(QObject* parent) : QObject(parent) {}

CQtMessageChannel::~CQtMessageChannel() = default;

void CQtMessageChannel::Enqueue(MessageHandle target, SMessage message) {
    auto event = std::make_unique<CMessageEvent>(target, std::move(message));
    QCoreApplication::postEvent(this, event.release());
}

bool CQtMessageChannel::event(QEvent* event) {
    if (event->type() == kMessageEvent) {
        auto* message = static_cast<CMessageEvent*>(event);
        Deliver(message->target, message->message);
        return true;
    }
    return QObject::event(event);
}

}  // namespace quillpad
