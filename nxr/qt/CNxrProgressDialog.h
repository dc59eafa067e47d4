#pragma once
// What the two progress dialogs share: one request shown at a time, and a
// Cancel (the button, Escape or the close box) that posts the cancel message
// given to SetCancelInfo with the request id in lParam, once per request.

#include <QDialog>

#include <cstdint>

#include "platform/MessageChannel.h"
#include "platform/Messages.h"

class QPushButton;

namespace quillpad {

class CNxrProgressDialog : public QDialog {
  public:
    // Where the cancel goes; without it a cancel only hides the dialog.
    void SetCancelInfo(CMessageChannel* channel, MessageHandle window,
                       MessageId message = UM_CANCEL_REQUEST);

    // The request shown (0: none).
    std::uint32_t RequestId() const { return m_requestId; }
    // Null until the first request starts.
    QPushButton* CancelButton() const { return m_cancel; }

    void reject() override;

  protected:
    explicit CNxrProgressDialog(QWidget* parent) : QDialog(parent) {}

    // A new request: it may be cancelled once.
    void Begin(std::uint32_t requestId);
    // Posts the cancel unless it was posted or nothing runs; true when posted.
    virtual bool CancelClicked();

    std::uint32_t m_requestId = 0;
    QPushButton* m_cancel = nullptr;

  private:
    CMessageChannel* m_channel = nullptr;
    MessageHandle m_window = kNoHandle;
    MessageId m_message = UM_CANCEL_REQUEST;
    bool m_cancelPosted = false;
};

}  // namespace quillpad
