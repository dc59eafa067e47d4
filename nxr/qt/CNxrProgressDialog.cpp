#include "nxr/qt/CNxrProgressDialog.h"

#include <QPushButton>

namespace quillpad {

void CNxrProgressDialog::SetCancelInfo(CMessageChannel* channel, MessageHandle window,
                                       MessageId message) {
    m_channel = channel;
    m_window = window;
    m_message = message;
}

void CNxrProgressDialog::Begin(std::uint32_t requestId) {
    m_requestId = requestId;
    m_cancelPosted = false;
}

bool CNxrProgressDialog::CancelClicked() {
    if (m_cancelPosted || m_requestId == 0) {
        return false;  // one cancel per request
    }
    m_cancelPosted = true;
    if (m_cancel != nullptr) {
        m_cancel->setEnabled(false);
    }
    if (m_channel != nullptr && m_window != kNoHandle) {
        m_channel->Post(m_window, m_message, 0, static_cast<std::int64_t>(m_requestId));
    } else {
        hide();
    }
    return true;
}

void CNxrProgressDialog::reject() {
    // Escape or the close box cancel as the button does; the request's end hides it.
    if (m_requestId == 0) {
        hide();
    }
    CancelClicked();
}

}  // namespace quillpad
