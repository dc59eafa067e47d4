#include "control/CommandRules.h"

#include "nxr/NxrLineScript.h"

namespace quillpad {

SCommandState CommandState(cmd::CommandId id, const SCommandContext& c) {
    SCommandState s;
    const bool logging = c.logging != ELoggingState::NotLogging;
    if (cmd::IsStyleCommand(id)) {
        s.radio = true;
        s.checked = c.currentStyleCommand != 0 && id == c.currentStyleCommand;
        return s;
    }
    if (cmd::IsKeySetCommand(id)) {
        s.enabled = id != cmd::NoKeySetFiles;
        s.checked = c.currentKeySetCommand != 0 && id == c.currentKeySetCommand;
        return s;
    }
    if (NeedsSession(id)) {
        s.enabled = c.connectionKind != 0;
    }
    if (cmd::IsStampModeCommand(id)) {
        s.radio = true;
        s.checked =
            static_cast<cmd::CommandId>(cmd::StampsOff + static_cast<int>(c.stampMode)) == id;
        return s;
    }
    if (cmd::IsStampGapCommand(id)) {
        s.radio = true;
        s.checked = kGapThresholdsMs[id - cmd::StampGap10] == c.stampGapMs;
        return s;
    }
    switch (id) {
        case cmd::EditStyles:
            s.enabled = c.hasCurrentScheme;
            break;
        case cmd::SendBreak:
        case cmd::BreakLength:
            // Serial links and the simulated controller can hold a break.
            s.enabled = c.connectionKind == 1 || c.connectionKind == 4;
            break;
        case cmd::LineDtr:
        case cmd::LineRts:
        case cmd::PulseDtr:
        case cmd::PulseRts:
        case cmd::ResetPulse: {
            // Only a link that tells its lines can set them: a serial port
            // (a pseudo-terminal tells none) or one behind a port server.
            // (kind 3, which tells lines only with the COM port option).
            s.enabled = (c.connectionKind == 1 || c.connectionKind == 3) && c.modemLines >= 0;
            const std::uint32_t bit = id == cmd::LineDtr ? nxr_line::Dtr : nxr_line::Rts;
            s.checked = (id == cmd::LineDtr || id == cmd::LineRts) && s.enabled &&
                        (static_cast<std::uint32_t>(c.modemLines) & bit) != 0;
            break;
        }
        case cmd::StopWaiting:
            s.enabled = c.connectionKind != 0 && c.waitingForLink;
            break;
        case cmd::ShareLink:
            // Only a link that is up can be served; a share can always be
            // stopped, even while its link is lost and waited for.
            s.enabled = c.connectionKind != 0 && (c.linkUp || c.sharePort != 0);
            s.text = c.sharePort != 0 ? "Stop Sharing" : "Share Link...";
            break;
        case cmd::GoBackOnline:
            s.enabled = c.connectionKind == 0;
            break;
        case cmd::ToggleHexMode:
            s.checked = c.hasCurrentScheme && c.currentSchemeName == "Hex Mode";
            break;
        case cmd::LoadLog:
        case cmd::SaveBuffer:
            s.enabled = !logging;
            break;
        case cmd::StartLogging:
            s.enabled = logging || !c.reviewing;
            s.text = logging ? "Stop Logging" : "Start Logging...";
            break;
        case cmd::PauseLogging:
            s.enabled = logging;
            s.text = c.logging == ELoggingState::Paused ? "Resume Logging" : "Pause Logging";
            break;
        case cmd::OutgoingCRToCRLF:
            s.checked = c.outgoingCRToCRLF;
            break;
        case cmd::ShowCalendarTimestamp:
            s.checked = c.showAbsoluteTime;
            break;
        case cmd::ShowRelativeTimestamp:
            s.checked = c.showRelativeTime;
            break;
        case cmd::ShowDataDirection:
            s.checked = c.showDataDirection;
            break;
        case cmd::ShowRelatedData:
            s.checked = c.showRelatedData;
            break;
        case cmd::TransmitArrows:
            s.checked = c.transmitArrows;
            break;
        case cmd::KeepCommandHistory:
            s.checked = c.keepCommandHistory;
            break;
        case cmd::SendPanel:
            s.checked = c.sendPanelShown;
            break;
        case cmd::HexPane:
            s.checked = c.hexPaneShown;
            break;
        default:
            break;
    }
    return s;
}

bool NeedsSession(cmd::CommandId id) {
    switch (id) {
        case cmd::Reconnect:
        case cmd::Disconnect:
        case cmd::StopWaiting:
        case cmd::ShareLink:
        case cmd::SendBreak:
        case cmd::BreakLength:
        case cmd::LineDtr:
        case cmd::LineRts:
        case cmd::PulseDtr:
        case cmd::PulseRts:
        case cmd::ResetPulse:
        case cmd::XModemSend:
        case cmd::XModemReceive:
        case cmd::AsciiSend:
        case cmd::AsciiReceive:
            return true;
        default:
            return false;
    }
}

}  // namespace quillpad
