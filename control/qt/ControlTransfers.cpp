// Send Break, the modem line commands and the transfer commands: what each
// passes to the session.

#include <QString>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "control/LineCommands.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"

namespace quillpad {
namespace {

constexpr std::string_view kTransferFilter = "All Files (*.*)|*.*||";
constexpr std::int32_t kRequestTimeoutMs = 1000;

// "Name|pattern|...||" pairs as a file dialog's filter list. "*.*" means
// every file, dot or none.
QString DialogFilter(std::string_view pairs) {
    QStringList parts = QString::fromLatin1(pairs.data(), static_cast<qsizetype>(pairs.size()))
                            .split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString pattern = parts[i + 1];
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        QString name = parts[i];
        name.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        filters << (name.contains(pattern) ? name : QStringLiteral("%1 (%2)").arg(name, pattern));
    }
    return filters.join(QStringLiteral(";;"));
}

std::uint32_t RequestCode(cmd::CommandId id) {
    switch (id) {
        case cmd::XModemSend:
            return nxr_request::XModemSend;
        case cmd::XModemReceive:
            return nxr_request::XModemReceive;
        case cmd::AsciiSend:
            return nxr_request::AsciiSend;
        case cmd::AsciiReceive:
            return nxr_request::AsciiReceive;
        default:
            return 0;
    }
}

}  // namespace

void CQuillpad2Ctrl::SendBreak(std::int32_t ms) {
    std::uint32_t requestId = 0;
    // A long break completes when it is over: its length comes on top.
    const std::int32_t timeoutMs = kRequestTimeoutMs + (ms > kNxrDefaultBreakMs ? ms : 0);
    if (StartRequest(nxr_request::SendBreak, NxrBreakBlock(ms).Encode(), timeoutMs, requestId) !=
        0) {
        channel.Post(Handle(), UM_SHOW_ERROR, 0, requestId);
    }
}

void CQuillpad2Ctrl::RunLineCommand(cmd::CommandId id) {
    const std::int32_t lines = ModemLines();
    switch (id) {
        case cmd::LineDtr:
            PlayLineScript(ToggleLineSteps(ENxrLineStep::Dtr, lines));
            return;
        case cmd::LineRts:
            PlayLineScript(ToggleLineSteps(ENxrLineStep::Rts, lines));
            return;
        case cmd::PulseDtr:
            PlayLineScript(PulseLineSteps(ENxrLineStep::Dtr, lines));
            return;
        case cmd::PulseRts:
            PlayLineScript(PulseLineSteps(ENxrLineStep::Rts, lines));
            return;
        case cmd::ResetPulse:
            if (m_ui->RunResetPulseDialog(m_resetPulse, this)) {
                if (const auto steps = ResetPulseSteps(m_resetPulse, ModemLines());
                    !steps.empty()) {
                    PlayLineScript(steps);
                }
            }
            return;
        case cmd::BreakLength:
            if (const auto ms = m_ui->AskBreakLength(m_breakMs, this)) {
                m_breakMs = std::clamp(*ms, 1, kNxrMaxBreakMs);
                SendBreak(m_breakMs);
            }
            return;
        default:
            return;
    }
}

void CQuillpad2Ctrl::RunTransfer(cmd::CommandId id) {
    const std::uint32_t code = RequestCode(id);
    if (code == 0) {
        return;
    }
    const bool receiving = id == cmd::XModemReceive || id == cmd::AsciiReceive;
    const QString filter = DialogFilter(kTransferFilter);
    const std::optional<std::string> path = receiving
                                                ? m_ui->ChooseFileToSave(filter, {}, this)
                                                : m_ui->ChooseFileToOpen(filter, {}, {}, this);
    // A name with a zero byte could not travel in the block.
    if (!path || path->empty() || path->find('\0') != std::string::npos) {
        return;
    }
    std::error_code ec;
    if (receiving && std::filesystem::exists(*path, ec) && !m_ui->ConfirmOverwrite(*path, this)) {
        return;
    }
    if (id == cmd::AsciiSend) {
        SAsciiPacing pacing{.charDelayMs = m_settings.m_asciiCharDelayMs,
                            .lineDelayMs = m_settings.m_asciiLineDelayMs};
        if (!m_ui->RunAsciiSendDialog(*path, pacing, this)) {
            return;
        }
        m_settings.m_asciiLineDelayMs = std::min(pacing.lineDelayMs, kNxrMaxPacingMs);
        m_settings.m_asciiCharDelayMs = std::min(pacing.charDelayMs, kNxrMaxPacingMs);
    }
    std::uint32_t requestId = 0;
    if (StartTransfer(id, *path, requestId) != 0) {
        channel.Post(Handle(), UM_SHOW_ERROR, 0, requestId);
    }
}

std::int32_t CQuillpad2Ctrl::StartTransfer(cmd::CommandId id, const std::string& path,
                                           std::uint32_t& requestId) {
    requestId = 0;
    const std::uint32_t code = RequestCode(id);
    if (code == 0) {
        return static_cast<std::int32_t>(ENxrResult::BadArgument);
    }
    const CNxrParamBlock block =
        id == cmd::AsciiSend
            ? NxrAsciiSendBlock(path, {.charDelayMs = m_settings.m_asciiCharDelayMs,
                                       .lineDelayMs = m_settings.m_asciiLineDelayMs})
            : NxrTransferBlock(path);
    return StartRequest(code, block.Encode(), kRequestTimeoutMs, requestId);
}

}  // namespace quillpad
