#pragma once
// The task progress dialog: modeless, shown when a task starts, updated by
// its progress, hidden when it completes. Its Cancel posts the cancel
// message given to SetCancelInfo with the request id in lParam, once.

#include <QDialog>

#include <cstdint>

#include "platform/MessageChannel.h"
#include "platform/Messages.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillpad {

class CNxrDialogEventTask final : public QDialog {
  public:
    explicit CNxrDialogEventTask(QWidget* parent = nullptr);

    void SetCancelInfo(CMessageChannel* channel, MessageHandle window,
                       MessageId message = UM_CANCEL_REQUEST);

    void OnTaskStart(std::uint32_t requestId, const QString& title, const QString& text);
    // A percentage outside 0..100 shows the bar as busy.
    void OnTaskProgress(std::uint32_t requestId, std::int32_t percent, const QString& text,
                        std::int32_t value);
    void OnTaskComplete(std::uint32_t requestId, bool success);

    std::uint32_t RequestId() const { return m_requestId; }
    QString Text() const;
    int Percent() const;
    QPushButton* CancelButton() const { return m_cancel; }

    // Escape and the close box: as the button.
    void reject() override;

  private:
    void Build();
    void CancelClicked();

    CMessageChannel* m_channel = nullptr;
    MessageHandle m_window = kNoHandle;
    MessageId m_message = UM_CANCEL_REQUEST;
    std::uint32_t m_requestId = 0;
    bool m_cancelPosted = false;
    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace quillpad
