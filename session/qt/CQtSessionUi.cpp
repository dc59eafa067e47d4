#include "session/qt/CQtSessionUi.h"

#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <new>

#include "nxr/qt/CNxrSession.h"
#include "nxr/qt/NxrGui.h"

namespace quillpad {
namespace {

// Decoded as the file names in them are, so that a name shows as the file
// manager shows it.
QString MessageText(std::string_view text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

void CQtSessionUi::ShowStandardError(const INxrSession2* session, std::uint32_t requestId) {
    NxrShowStandardError(session, m_window.data(), requestId);
}

void CQtSessionUi::ShowMessage(std::string_view caption, std::string_view text, EMessageIcon icon) {
    const QMessageBox::Icon qtIcon = icon == EMessageIcon::Error     ? QMessageBox::Critical
                                     : icon == EMessageIcon::Warning ? QMessageBox::Warning
                                                                     : QMessageBox::Information;
    QMessageBox box(qtIcon, MessageText(caption), MessageText(text), QMessageBox::Ok,
                    m_window.data());
    box.exec();
}

void CQtDeferredCalls::CallAfter(std::uint32_t delayMs, std::function<void()> call) {
    QTimer::singleShot(static_cast<int>(delayMs), &m_context, std::move(call));
}

SSessionCreation CreateNxrSession() {
    SSessionCreation created;
    try {
        created.session = std::make_unique<CNxrSession>();
    } catch (const std::bad_alloc&) {
        created.error = "out of memory while creating the session object";
    }
    return created;
}

SSessionServices MakeQtSessionServices(QWidget* window) {
    SSessionServices services;
    services.factory = &CreateNxrSession;
    services.ui = std::make_unique<CQtSessionUi>(window);
    services.deferred = std::make_unique<CQtDeferredCalls>();
    return services;
}

}  // namespace quillpad
