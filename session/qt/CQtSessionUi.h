#pragma once
// The session's boxes and timers on Qt: message boxes over the console's
// window, and deferred calls on the event loop's timers.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "session/CConnectionController.h"
#include "session/ISessionUi.h"

namespace quillpad {

class CQtSessionUi final : public ISessionUi {
  public:
    explicit CQtSessionUi(QWidget* window = nullptr) : m_window(window) {}
    // The console's window, once it exists; boxes are centred on it.
    void SetWindow(QWidget* window) { m_window = window; }

    void ShowStandardError(const INxrSession2* session, std::uint32_t requestId) override;
    void ShowMessage(std::string_view caption, std::string_view text, EMessageIcon icon) override;

  private:
    QPointer<QWidget> m_window;
};

class CQtDeferredCalls final : public IDeferredCalls {
  public:
    // Timers belong to this context object, so they die with it.
    void CallAfter(std::uint32_t delayMs, std::function<void()> call) override;

  private:
    QObject m_context;
};

// Creates our session object on this thread.
SSessionCreation CreateNxrSession();
// The session object, boxes and timers of a console on Qt.
SSessionServices MakeQtSessionServices(QWidget* window = nullptr);

}  // namespace quillpad
