#include "nxr/qt/NxrGui.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>

#include "nxr/NxrLib.h"

namespace quillpad {
namespace {

NxrUrlOpener& Opener() {
    static NxrUrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

}  // namespace

void NxrShowStandardError(const INxrSession2* session, QWidget* window, std::uint32_t requestId) {
    const std::string text = NxrStandardErrorText(session, requestId);
    // Error texts may carry device names or paths: bytes, shown as Latin-1.
    QMessageBox::critical(window, QStringLiteral("Error"),
                          QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
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

NxrUrlOpener NxrSetHelpOpener(NxrUrlOpener opener) {
    NxrUrlOpener old = std::move(Opener());
    Opener() = std::move(opener);
    return old;
}

}  // namespace quillpad
