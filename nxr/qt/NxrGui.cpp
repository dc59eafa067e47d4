#include "nxr/qt/NxrGui.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

#include "nxr/NxrLib.h"
#include "nxr/qt/CNxrAbilityGroupDlg.h"
#include "nxr/qt/CNxrHelpWindow.h"
#include "nxr/qt/CNxrQueryDlg.h"
#include "nxr/qt/CNxrSession.h"

namespace quillpad {
namespace {

NxrUrlOpener& Opener() {
    static NxrUrlOpener opener = [](const QUrl& url) {
        return CNxrHelpWindow::Instance()->Open(url);
    };
    return opener;
}

}  // namespace

void NxrShowStandardError(const INxrSession2* session, QWidget* window, std::uint32_t requestId) {
    const std::string text = NxrStandardErrorText(session, requestId);
    // Error texts are ASCII but for the file and host names and the system's
    // own messages they quote, all in the file system's encoding; a device's
    // bytes in them are written as escapes.
    QMessageBox::critical(window, QStringLiteral("Error"),
                          QFile::decodeName(QByteArray(text.data(), qsizetype(text.size()))));
}

bool NxrGUIShowHelp(const char* /*text*/, int /*flags*/, int topic, QWidget* /*window*/) {
    const std::string guide =
        NxrFindUserGuide(QCoreApplication::applicationDirPath().toStdString());
    if (guide.empty()) {
        return false;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(guide));
    url.setFragment(QString::fromStdString(NxrHelpAnchor(topic)));
    return Opener()(url);
}

bool NxrGUIHandleAbility(std::uint32_t a, std::uint32_t b, EAbilityGroup group, int /*method*/) {
    CNxrSession* const session = CNxrSession::FromAbilityInfo(a);
    if (session == nullptr || AbilityGroupInfo(group) == nullptr) {
        return false;
    }
    std::uint32_t cookie = 0;
    NxrHandle handle = b;
    if (session->AbilityInfo(&cookie, nullptr, &handle) != 0) {
        return false;  // closed, or reopened since the values were read
    }
    CNxrAbilityGroupDlg dialog(session, handle, group, QApplication::activeWindow());
    dialog.exec();
    return true;
}

bool NxrGUIHandleQuery(int queryType, const WideString& prompt, WideString& answer,
                       QWidget* window) {
    CNxrQueryDlg dialog(queryType,
                        QString::fromUtf16(prompt.data(), static_cast<qsizetype>(prompt.size())),
                        window);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    answer = dialog.Answer().toStdU16String();
    return true;
}

NxrUrlOpener NxrSetHelpOpener(NxrUrlOpener opener) {
    NxrUrlOpener old = std::move(Opener());
    Opener() = std::move(opener);
    return old;
}

}  // namespace quillpad
