// "Share Link..." and "Stop Sharing": what the console asks of the session,
// and what it tells the status bar of the share's start and changes.

#include <QString>

#include <string>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"

namespace quillpad {
namespace {

constexpr std::int32_t kShareTimeoutMs = 1000;

// The session's words (an address, a reason) are ASCII.
QString Words(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Attached(std::int32_t clients) {
    return clients == 1 ? QStringLiteral("1 client attached")
                        : QStringLiteral("%1 clients attached").arg(clients);
}

}  // namespace

void CQuillpad2Ctrl::ShareLink() {
    if (SharePort() != 0) {
        return;  // shared since the command was posted
    }
    if (!SessionOpen() ||
        ConnectionStatus() != static_cast<std::uint32_t>(ENxrConnectionStatus::Connected)) {
        ShowStatus(QStringLiteral("The link is not up: connect first, then share it."));
        return;
    }
    const std::optional<SShareLinkChoice> choice = m_ui->AskShareLink(m_shareChoice, this);
    if (!choice) {
        return;
    }
    m_shareChoice = *choice;
    std::uint32_t requestId = 0;
    const CNxrParamBlock block = NxrShareBlock(choice->port, choice->telnet, choice->anyInterface);
    if (StartRequest(nxr_request::ShareStart, block.Encode(), kShareTimeoutMs, requestId) != 0) {
        ShowStatus(QStringLiteral("The link could not be shared."));
        channel.Post(Handle(), UM_SHOW_ERROR, 0, requestId);
        return;
    }
    m_shareRequestId = requestId;
}

void CQuillpad2Ctrl::StopSharing() {
    std::uint32_t requestId = 0;
    if (StartRequest(nxr_request::ShareStop, NxrEmptyParamBlock(), kShareTimeoutMs, requestId) !=
        0) {
        channel.Post(Handle(), UM_SHOW_ERROR, 0, requestId);
    }
}

void CQuillpad2Ctrl::ShareRequestCompleted(std::uint32_t requestId, std::uint32_t code,
                                           bool success) {
    if (code == nxr_request::ShareStart && requestId == m_shareRequestId) {
        m_shareRequestId = 0;
        if (success && SharePort() != 0) {
            const QString where =
                m_shareChoice.anyInterface
                    ? QStringLiteral("port %1 of every interface").arg(SharePort())
                    : QStringLiteral("127.0.0.1 port %1").arg(SharePort());
            ShowStatus(QStringLiteral("The link is shared on %1 (%2).")
                           .arg(where, m_shareChoice.telnet ? QStringLiteral("telnet")
                                                            : QStringLiteral("raw")));
        } else if (!success && Session() != nullptr) {
            // The standard error box follows (posted by the connection).
            ShowStatus(Words(Session()->ErrorText(requestId)));
        }
    }
}

std::int32_t CQuillpad2Ctrl::OnShareChanged(std::int32_t port, std::int32_t clients,
                                            std::string_view note) {
    const std::int32_t wasPort = SharePort();
    const std::int32_t wasClients = ShareClients();
    CConnectionController::OnShareChanged(port, clients, note);  // a note: OnShareNote
    if (wasPort != 0 && port == 0) {
        ShowStatus(QStringLiteral("The link is no longer shared."));
    } else if (port != 0 && port == wasPort && note.empty()) {
        if (clients > wasClients) {
            ShowStatus(
                QStringLiteral("A client attached to the shared link: %1.").arg(Attached(clients)));
        } else if (clients < wasClients) {
            ShowStatus(QStringLiteral("A client left the shared link: %1.").arg(Attached(clients)));
        }
    }
    return 0;
}

void CQuillpad2Ctrl::OnShareNote(std::string_view note) {
    ShowStatus(Words(note));
}

}  // namespace quillpad
