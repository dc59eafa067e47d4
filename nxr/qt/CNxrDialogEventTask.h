#pragma once
// The task progress dialog: modeless, shown when a task starts, updated by
// its progress, hidden when it completes. Its Cancel posts the cancel
// message given to SetCancelInfo with the request id in lParam, once.

#include <cstdint>

#include "nxr/qt/CNxrProgressDialog.h"

class QLabel;
class QProgressBar;

namespace quillpad {

class CNxrDialogEventTask final : public CNxrProgressDialog {
  public:
    explicit CNxrDialogEventTask(QWidget* parent = nullptr);

    void OnTaskStart(std::uint32_t requestId, const QString& title, const QString& text);
    // A percentage outside 0..100 shows the bar as busy.
    void OnTaskProgress(std::uint32_t requestId, std::int32_t percent, const QString& text,
                        std::int32_t value);
    void OnTaskComplete(std::uint32_t requestId, bool success);

    QString Text() const;
    int Percent() const;

  private:
    void Build();

    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
};

}  // namespace quillpad
