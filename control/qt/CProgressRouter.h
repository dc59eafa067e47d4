#pragma once
// The console's two progress dialogs (file transfers, tasks), modeless and
// hidden until their events come, and the session's progress events on
// their way to them. The dialogs' Cancel buttons post UM_CANCEL_REQUEST
// (lParam = request id) to the control. Events that come after a dialog
// was closed go nowhere; each event answers 0.

#include <cstdint>
#include <memory>

#include "platform/Bytes.h"
#include "platform/MessageChannel.h"

class QWidget;

namespace quillpad {

class CNxrDialogEventFile;
class CNxrDialogEventTask;

class CProgressRouter {
  public:
    // Makes both dialogs over `owner`, their cancels posted to `control`.
    CProgressRouter(QWidget* owner, CMessageChannel& channel, MessageHandle control);
    ~CProgressRouter();
    CProgressRouter(const CProgressRouter&) = delete;
    CProgressRouter& operator=(const CProgressRouter&) = delete;

    // Teardown closes them one at a time, the file dialog first.
    void CloseFileDialog();
    void CloseTaskDialog();

    CNxrDialogEventFile* FileDialog() const { return m_file.get(); }
    CNxrDialogEventTask* TaskDialog() const { return m_task.get(); }

    std::int32_t OnTaskStart(std::uint32_t requestId, const WideString& title,
                             const WideString& text);
    std::int32_t OnTaskProgress(std::uint32_t requestId, std::int32_t percent,
                                const WideString& text, std::int32_t value);
    std::int32_t OnTaskComplete(std::uint32_t requestId, bool success);
    std::int32_t OnFileBatchStart(std::uint32_t requestId, const WideString& title,
                                  std::int32_t files, std::int32_t bytes);
    std::int32_t OnFileStart(std::uint32_t requestId, const WideString& source,
                             const WideString& target, std::int32_t size, bool sending,
                             const WideString& protocol);
    std::int32_t OnFileProgress(std::uint32_t requestId, std::int32_t done, std::int32_t total,
                                std::int32_t errors, std::int32_t retries);
    std::int32_t OnFileFinish(std::uint32_t requestId, bool success);
    std::int32_t OnFileBatchFinish(std::uint32_t requestId, bool success);

  private:
    std::unique_ptr<CNxrDialogEventFile> m_file;
    std::unique_ptr<CNxrDialogEventTask> m_task;
};

}  // namespace quillpad
