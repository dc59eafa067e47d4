#pragma once
// The file transfer progress dialog: modeless, hidden until a batch starts,
// hidden again when it finishes. It shows the file, the bytes done of the
// total (a percentage when the size is known), the rate, the time left and
// the errors and retries. Its button cancels the transfer by posting the
// cancel message given to SetCancelInfo with the request id in lParam; a
// receive that has no end (ASCII) calls it Stop.

#include <QElapsedTimer>

#include <cstdint>

#include "nxr/qt/CNxrProgressDialog.h"

class QLabel;
class QProgressBar;

namespace quillpad {

class CNxrDialogEventFile final : public CNxrProgressDialog {
  public:
    explicit CNxrDialogEventFile(QWidget* parent = nullptr);

    void OnFileXferBatchStart(std::uint32_t requestId, const QString& title, std::int32_t files,
                              std::int32_t bytes);
    void OnFileXferFileStart(std::uint32_t requestId, const QString& source, const QString& target,
                             std::int32_t size, bool sending, const QString& protocol);
    void OnFileXferFileProgress(std::uint32_t requestId, std::int32_t done, std::int32_t total,
                                std::int32_t errors, std::int32_t retries);
    void OnFileXferFileFinish(std::uint32_t requestId, bool success);
    void OnFileXferBatchFinish(std::uint32_t requestId, bool success);

    QString FileText() const;
    QString BytesText() const;
    QString RateText() const;
    int Percent() const;

  private:
    void Build();
    bool CancelClicked() override;

    QElapsedTimer m_clock;
    QLabel* m_file = nullptr;
    QLabel* m_bytes = nullptr;
    QLabel* m_rate = nullptr;
    QLabel* m_errors = nullptr;
    QProgressBar* m_bar = nullptr;
};

// How a byte count reads in the dialogs: "12,345".
QString NxrGroupedNumber(std::int64_t value);

}  // namespace quillpad
