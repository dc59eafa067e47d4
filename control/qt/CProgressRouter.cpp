#include "control/qt/CProgressRouter.h"

#include <QString>

#include "nxr/qt/CNxrDialogEventFile.h"
#include "nxr/qt/CNxrDialogEventTask.h"

namespace quillpad {
namespace {

QString FromWide(const WideString& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

CProgressRouter::CProgressRouter(QWidget* owner, CMessageChannel& channel, MessageHandle control)
    : m_file(std::make_unique<CNxrDialogEventFile>(owner)),
      m_task(std::make_unique<CNxrDialogEventTask>(owner)) {
    m_file->SetCancelInfo(&channel, control, UM_CANCEL_REQUEST);
    m_task->SetCancelInfo(&channel, control, UM_CANCEL_REQUEST);
}

CProgressRouter::~CProgressRouter() = default;

void CProgressRouter::CloseFileDialog() {
    m_file.reset();
}

void CProgressRouter::CloseTaskDialog() {
    m_task.reset();
}

std::int32_t CProgressRouter::OnTaskStart(std::uint32_t requestId, const WideString& title,
                                          const WideString& text) {
    if (m_task) {
        m_task->OnTaskStart(requestId, FromWide(title), FromWide(text));
    }
    return 0;
}

std::int32_t CProgressRouter::OnTaskProgress(std::uint32_t requestId, std::int32_t percent,
                                             const WideString& text, std::int32_t value) {
    if (m_task) {
        m_task->OnTaskProgress(requestId, percent, FromWide(text), value);
    }
    return 0;
}

std::int32_t CProgressRouter::OnTaskComplete(std::uint32_t requestId, bool success) {
    if (m_task) {
        m_task->OnTaskComplete(requestId, success);
    }
    return 0;
}

std::int32_t CProgressRouter::OnFileBatchStart(std::uint32_t requestId, const WideString& title,
                                               std::int32_t files, std::int32_t bytes) {
    if (m_file) {
        m_file->OnFileXferBatchStart(requestId, FromWide(title), files, bytes);
    }
    return 0;
}

std::int32_t CProgressRouter::OnFileStart(std::uint32_t requestId, const WideString& source,
                                          const WideString& target, std::int32_t size, bool sending,
                                          const WideString& protocol) {
    if (m_file) {
        m_file->OnFileXferFileStart(requestId, FromWide(source), FromWide(target), size, sending,
                                    FromWide(protocol));
    }
    return 0;
}

std::int32_t CProgressRouter::OnFileProgress(std::uint32_t requestId, std::int32_t done,
                                             std::int32_t total, std::int32_t errors,
                                             std::int32_t retries) {
    if (m_file) {
        m_file->OnFileXferFileProgress(requestId, done, total, errors, retries);
    }
    return 0;
}

std::int32_t CProgressRouter::OnFileFinish(std::uint32_t requestId, bool success) {
    if (m_file) {
        m_file->OnFileXferFileFinish(requestId, success);
    }
    return 0;
}

std::int32_t CProgressRouter::OnFileBatchFinish(std::uint32_t requestId, bool success) {
    if (m_file) {
        m_file->OnFileXferBatchFinish(requestId, success);
    }
    return 0;
}

}  // namespace quillpad
