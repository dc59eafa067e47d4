#include "session/qt/CQtSessionUi.h"

#include <QMessageBox>
#include <QTimer>

#include <new>

#include "nxr/qt/CNxrSession.h"
#include "nxr/qt/NxrGui.h"

namespace quillpad {
namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void CQtSessionUi::ShowStandardError(const INxrSession2* session, std::uint32_t requestId) {
    NxrShowStandardError(session, m_window.data(), requestId);
}

void CQtSessionUi::ShowMessage(std::string_view caption, std::string_view text, EMessageIcon icon) {
    const QMessageBox::Icon qtIcon = icon == EMessageIcon::Error     ? QMessageBox::Critical
                                     : icon == EMessageIcon::Warning ? QMessageBox::Warning
                                                                     : QMessageBox::Information;
    QMessageBox box(qtIcon, Latin1(caption), Latin1(text), QMessageBox::Ok, m_window.data());
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
