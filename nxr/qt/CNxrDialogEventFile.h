#pragma once
// The file transfer progress dialog: modeless, hidden until a batch starts,
// hidden again when it finishes. It shows the file, the bytes done of the
// total (a percentage when the size is known), the rate, the time left and
// the errors and retries. Its button cancels the transfer by posting the
// cancel message given to SetCancelInfo with the request id in lParam; a
// receive that has no end (ASCII) calls it Stop.

#include <QDialog>
#include <QElapsedTimer>

#include <cstdint>

#include "platform/MessageChannel.h"
#include "platform/Messages.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillpad {

class CNxrDialogEventFile final : public QDialog {
  public:
    explicit CNxrDialogEventFile(QWidget* parent = nullptr);

    // Where the button's cancel goes; without it the button only hides the dialog.
    void SetCancelInfo(CMessageChannel* channel, MessageHandle window,
                       MessageId message = UM_CANCEL_REQUEST);

    void OnFileXferBatchStart(std::uint32_t requestId, const QString& title, std::int32_t files,
                              std::int32_t bytes);
    void OnFileXferFileStart(std::uint32_t requestId, const QString& source, const QString& target,
                             std::int32_t size, bool sending, const QString& protocol);
    void OnFileXferFileProgress(std::uint32_t requestId, std::int32_t done, std::int32_t total,
                                std::int32_t errors, std::int32_t retries);
    void OnFileXferFileFinish(std::uint32_t requestId, bool success);
    void OnFileXferBatchFinish(std::uint32_t requestId, bool success);

    // The request shown (0: none).
    std::uint32_t RequestId() const { return m_requestId; }
    QString FileText() const;
    QString BytesText() const;
    QString RateText() const;
    int Percent() const;
    // Null until the first batch starts.
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
    QElapsedTimer m_clock;
    QLabel* m_file = nullptr;
    QLabel* m_bytes = nullptr;
    QLabel* m_rate = nullptr;
    QLabel* m_errors = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

// How a byte count reads in the dialogs: "12,345".
QString NxrGroupedNumber(std::int64_t value);

}  // namespace quillpad
