#include "control/CommandTable.h"

#include <array>
#include <cctype>

#include "control/CQuillpadSettings.h"
#include "nxr/NxrLineScript.h"

namespace quillpad {
namespace {

using S = CQuillpadSettings;

bool Logging(const SCommandContext& c) {
    return c.logging != ELoggingState::NotLogging;
}

void HasScheme(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.enabled = c.hasCurrentScheme;
}

void IsHexMode(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.checked = c.hasCurrentScheme && c.currentSchemeName == "Hex Mode";
}

void StampForm(cmd::CommandId id, const SCommandContext& c, SCommandState& s) {
    s.checked = c.settings != nullptr &&
                static_cast<cmd::CommandId>(cmd::StampsOff +
                                            static_cast<int>(c.settings->m_stampMode)) == id;
}

void StampGap(cmd::CommandId id, const SCommandContext& c, SCommandState& s) {
    s.checked =
        c.settings != nullptr && kGapThresholdsMs[id - cmd::StampGap10] == c.settings->m_stampGapMs;
}

void NotWhileLogging(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.enabled = !Logging(c);
}

void StartOrStopLogging(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    // A reviewed log has no live traffic to log; logging can still be stopped.
    s.enabled = Logging(c) || !c.reviewing;
    s.text = Logging(c) ? "Stop Logging" : "Start Logging...";
}

void PauseOrResumeLogging(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.enabled = Logging(c);
    s.text = c.logging == ELoggingState::Paused ? "Resume Logging" : "Pause Logging";
}

void Offline(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.enabled = c.connectionKind == 0;
}

void WaitingForLink(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    s.enabled = c.waitingForLink;
}

void ShareOrStop(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    // Only a link that is up can be served; a share can always be stopped,
    // even while its link is lost and waited for.
    s.enabled = c.linkUp || c.sharePort != 0;
    s.text = c.sharePort != 0 ? "Stop Sharing" : "Share Link...";
}

void HoldsABreak(cmd::CommandId, const SCommandContext& c, SCommandState& s) {
    // Serial links and the simulated controller can hold a break.
    s.enabled = c.connectionKind == 1 || c.connectionKind == 4;
}

void ModemLine(cmd::CommandId id, const SCommandContext& c, SCommandState& s) {
    // Only a link that tells its lines can set them: a serial port (a
    // pseudo-terminal tells none) or one behind a port server (kind 3, which
    // tells lines only with the COM port option).
    s.enabled = (c.connectionKind == 1 || c.connectionKind == 3) && c.modemLines >= 0;
    const std::uint32_t bit = id == cmd::LineDtr ? nxr_line::Dtr : nxr_line::Rts;
    s.checked = (id == cmd::LineDtr || id == cmd::LineRts) && s.enabled &&
                (static_cast<std::uint32_t>(c.modemLines) & bit) != 0;
}

constexpr bool kSession = true;
constexpr bool kLocal = false;
constexpr ECommandMark kPlain = ECommandMark::None;
constexpr ECommandMark kCheck = ECommandMark::Check;
constexpr ECommandMark kRadio = ECommandMark::Radio;

// In the order of the menus: id, menu text, status text, key, session,
// mark, rule, the setting a switch flips.
constexpr std::array kRows = std::to_array<SCommandRow>({
    // Quillpad
    {cmd::EditStyles, "E&dit Styles...", "Edit the rules of the current style.", "", kLocal, kPlain,
     HasScheme, nullptr},
    {cmd::ToggleHexMode, "&Toggle Hex Mode", "Switch to Hex Mode and back to the style before.",
     "Alt+H", kLocal, kCheck, IsHexMode, nullptr},
    {cmd::HexPane, "Hex &Pane", "Show or hide the history as a hex dump beside the console.",
     "Alt+X", kLocal, kPlain, nullptr, &S::m_showHexPane},
    {cmd::EditSequenceKeys, "Edit Sequence &Keys...", "Define shortcuts for keystrokes.", "",
     kLocal, kPlain, nullptr, nullptr},
    {cmd::SendPanel, "Se&nd Panel",
     "Show or hide the panel of named and repeated sends beside the console.", "", kLocal, kPlain,
     nullptr, &S::m_showSendPanel},
    {cmd::Triggers, "T&riggers...",
     "Set up patterns to watch for and what the console does when it sees them.", "", kLocal,
     kPlain, nullptr, nullptr},
    {cmd::RunScript, "Run &Script...",
     "Run a Lua script that sends, waits for the device and marks the history.", "", kLocal, kPlain,
     nullptr, nullptr},
    {cmd::ClearData, "Cle&ar Data", "Clear all data from the console.", "Alt+C", kLocal, kPlain,
     nullptr, nullptr},
    {cmd::Find, "F&ind...", "Find text, bytes or a pattern in the whole history.", "Ctrl+F", kLocal,
     kPlain, nullptr, nullptr},
    {cmd::GoToTime, "&Go to Time...",
     "Show the first data at or after a time of day or a time since the start.", "Ctrl+G", kLocal,
     kPlain, nullptr, nullptr},
    {cmd::ShowCalendarTimestamp, "Show &Calendar Timestamp",
     "Show the date and time of the character in the SHIFT window.", "", kLocal, kPlain, nullptr,
     &S::m_showAbsoluteTime},
    {cmd::ShowRelativeTimestamp, "Show &Relative Timestamp",
     "Show the time since the console started in the SHIFT window.", "", kLocal, kPlain, nullptr,
     &S::m_showRelativeTime},
    {cmd::ShowDataDirection, "Show &Data Direction",
     "Show whether the character was received or sent in the SHIFT window.", "", kLocal, kPlain,
     nullptr, &S::m_showDataDirection},
    {cmd::ShowRelatedData, "&Show Related Data",
     "Show the data around the character in the SHIFT window.", "", kLocal, kPlain, nullptr,
     &S::m_showRelatedData},
    {cmd::StampsOff, "&Off", "Show no time stamps.", "", kLocal, kRadio, StampForm, nullptr},
    {cmd::StampsAbsolute, "A&bsolute", "Start each line with the time of day its data came.", "",
     kLocal, kRadio, StampForm, nullptr},
    {cmd::StampsSinceStart, "S&ince Start",
     "Start each line with the seconds since the console started.", "", kLocal, kRadio, StampForm,
     nullptr},
    {cmd::StampsSincePrevious, "&Since Previous Line",
     "Start each line with the seconds since the previous line.", "", kLocal, kRadio, StampForm,
     nullptr},
    {cmd::StampGap10, "G&ap 10 ms", "Stamp a burst in Hex Mode after a pause this long.", "",
     kLocal, kRadio, StampGap, nullptr},
    {cmd::StampGap100, "Gap 100 &ms", "Stamp a burst in Hex Mode after a pause this long.", "",
     kLocal, kRadio, StampGap, nullptr},
    {cmd::StampGap1000, "&Gap 1000 ms", "Stamp a burst in Hex Mode after a pause this long.", "",
     kLocal, kRadio, StampGap, nullptr},
    // Alt+T alone; the Time Stamps popup shows its key.
    {cmd::CycleStamps, "Tim&e Stamps", "Switch to the next form of time stamps.", "Alt+T", kLocal,
     kPlain, nullptr, nullptr},
    {cmd::CommandHistory, "C&ommand History",
     "Show a history of commands that can be repeated quickly.", "Up", kLocal, kPlain, nullptr,
     nullptr},
    {cmd::KeepCommandHistory, "Keep Command &History",
     "Keep the command history for the consoles to come.", "", kLocal, kPlain, nullptr,
     &S::m_keepCommandHistory},
    {cmd::ForgetCommandHistory, "&Forget Command History",
     "Forget every line of the command history, here and in its file.", "", kLocal, kPlain, nullptr,
     nullptr},
    {cmd::TransmitArrows, "Transmit Arrow &Characters",
     "Send the arrow keys to the device instead of opening the history.", "", kLocal, kPlain,
     nullptr, &S::m_transmitArrowCharacters},
    {cmd::OutgoingCRToCRLF, "O&utgoing <CR> to <CR><LF>", "Send Enter as CR LF instead of CR.", "",
     kLocal, kPlain, nullptr, &S::m_outgoingCRToCRLF},
    {cmd::MakeDefault, "&Make THIS my Default",
     "Make the current style and settings the start of every new console.", "", kLocal, kPlain,
     nullptr, nullptr},
    // Logging
    {cmd::SaveBuffer, "Save &Buffer...", "Save the console's data to log files.", "", kLocal,
     kPlain, NotWhileLogging, nullptr},
    {cmd::StartLogging, "&Start Logging...", "Start or stop logging the console's data to files.",
     "", kLocal, kPlain, StartOrStopLogging, nullptr},
    {cmd::PauseLogging, "&Pause Logging", "Pause or resume logging.", "", kLocal, kPlain,
     PauseOrResumeLogging, nullptr},
    {cmd::LoadLog, "&Load Workbay Log...", "Open a Workbay log and review it offline.", "", kLocal,
     kPlain, NotWhileLogging, nullptr},
    {cmd::GoBackOnline, "&Go back online", "Leave the loaded log and connect to the device again.",
     "", kLocal, kPlain, Offline, nullptr},
    // Communications
    {cmd::Reconnect, "Re&connect", "Connect to the device again.", "", kSession, kPlain, nullptr,
     nullptr},
    {cmd::Disconnect, "D&isconnect", "Close the connection to the device.", "", kSession, kPlain,
     nullptr, nullptr},
    {cmd::StopWaiting, "Stop &Waiting", "Stop waiting for the lost device or server to come back.",
     "", kSession, kPlain, WaitingForLink, nullptr},
    {cmd::ShareLink, "S&hare Link...",
     "Serve the device's link to other programs on a TCP port, or stop serving it.", "", kSession,
     kPlain, ShareOrStop, nullptr},
    {cmd::SendBreak, "S&end Break", "Send a break to the device.", "Alt+K", kSession, kPlain,
     HoldsABreak, nullptr},
    {cmd::BreakLength, "&Break...", "Send a break of a length you choose.", "", kSession, kPlain,
     HoldsABreak, nullptr},
    {cmd::LineDtr, "&DTR", "Turn the DTR line on or off.", "", kSession, kCheck, ModemLine,
     nullptr},
    {cmd::LineRts, "R&TS", "Turn the RTS line on or off.", "", kSession, kCheck, ModemLine,
     nullptr},
    {cmd::PulseDtr, "P&ulse DTR", "Turn DTR to its other state for 100 ms and back.", "", kSession,
     kPlain, ModemLine, nullptr},
    {cmd::PulseRts, "Pu&lse RTS", "Turn RTS to its other state for 100 ms and back.", "", kSession,
     kPlain, ModemLine, nullptr},
    {cmd::ResetPulse, "Reset &Pulse...",
     "Reset the device or start its boot loader with a pulse of DTR and RTS.", "", kSession, kPlain,
     ModemLine, nullptr},
    {cmd::XModemSend, "&XModem Send...", "Send a file to the device with XModem.", "Alt+U",
     kSession, kPlain, nullptr, nullptr},
    {cmd::XModemReceive, "XModem &Receive...", "Receive a file from the device with XModem.", "",
     kSession, kPlain, nullptr, nullptr},
    {cmd::AsciiSend, "ASCII &Send...", "Send the bytes of a file to the device as they are.", "",
     kSession, kPlain, nullptr, nullptr},
    {cmd::AsciiReceive, "&ASCII Receive...",
     "Write what the device sends into a file until you stop it.", "", kSession, kPlain, nullptr,
     nullptr},
    // The right-click menu's own: no mnemonics there.
    {cmd::ContextCopy, "Copy", "Copy the selection as it is shown.", "", kLocal, kPlain, nullptr,
     nullptr},
    {cmd::ContextPaste, "Paste", "Send the clipboard's text to the device.", "", kLocal, kPlain,
     nullptr, nullptr},
    {cmd::ContextClear, "Clear", "Clear all data from the console, as Alt+C.", "", kLocal, kPlain,
     nullptr, nullptr},
});

}  // namespace

std::span<const SCommandRow> CommandTable() {
    return kRows;
}

const SCommandRow* FindCommand(cmd::CommandId id) {
    for (const SCommandRow& row : kRows) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

const SCommandRow* CommandForKey(std::string_view key) {
    for (const SCommandRow& row : kRows) {
        if (!key.empty() && row.key == key) {
            return &row;
        }
    }
    return nullptr;
}

std::string MenuText(const SCommandRow& row) {
    std::string text(row.label);
    if (!row.key.empty()) {
        text += '\t';
        text += row.key;
    }
    return text;
}

std::string PlainLabel(std::string_view label) {
    std::string plain;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) {
            ++i;  // the marked letter, or the second '&' of "&&"
        }
        plain += label[i];
    }
    return plain;
}

bool FlipSetting(const SCommandRow& row, CQuillpadSettings& settings) {
    if (row.setting == nullptr) {
        return false;
    }
    settings.*row.setting = !(settings.*row.setting);
    return true;
}

std::string ConsoleAltLetters() {
    std::string letters;
    for (const SCommandRow& row : kRows) {
        if (row.key.size() == 5 && row.key.starts_with("Alt+")) {
            letters += static_cast<char>(std::tolower(static_cast<unsigned char>(row.key[4])));
        }
    }
    return letters;
}

}  // namespace quillpad
