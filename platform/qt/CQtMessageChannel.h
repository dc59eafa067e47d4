#pragma once
// The message channel on Qt's event loop: a posted message becomes a posted
// event, so messages keep one order with each other and with user input.

#include <QObject>

#include "platform/MessageChannel.h"

namespace quillpad {

class CQtMessageChannel final : public QObject, public CMessageChannel {
    Q_OBJECT
  public:
    explicit CQtMessageChannel(QObject* parent = nullptr);
    ~CQtMessageChannel() override;

  protected:
    void Enqueue(MessageHandle target, SMessage message) override;
    bool event(QEvent* event) override;
};

}  // namespace quillpad
