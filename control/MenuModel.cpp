#include "control/MenuModel.h"

#include <array>
#include <cctype>

namespace quillpad {
namespace {

SMenuItem Command(std::string text, cmd::CommandId id) {
    return {EMenuItemKind::Command, std::move(text), id, {}};
}

SMenuItem Separator() {
    return {EMenuItemKind::Separator, {}, 0, {}};
}

}  // namespace

SMenu MakeMainMenu() {
    SMenu menu;
    menu.popups.push_back({EMenuItemKind::Popup,
                           "Quillpad",
                           0,
                           {
                               {EMenuItemKind::StylePopup, "Select Style", 0, {}},
                               Command("Edit Styles...", cmd::EditStyles),
                               Command("Toggle Hex Mode\tAlt+H", cmd::ToggleHexMode),
                               Command("Hex Pane\tAlt+X", cmd::HexPane),
                               Separator(),
                               {EMenuItemKind::KeySetPopup, "Select Key Set", 0, {}},
                               Command("Edit Sequence Keys...", cmd::EditSequenceKeys),
                               Command("Send Panel", cmd::SendPanel),
                               Command("Triggers...", cmd::Triggers),
                               Command("Run Script...", cmd::RunScript),
                               Separator(),
                               Command("Clear Data\tAlt+C", cmd::ClearData),
                               Command("Find...\tCtrl+F", cmd::Find),
                               Command("Go to Time...\tCtrl+G", cmd::GoToTime),
                               Separator(),
                               {EMenuItemKind::Popup,
                                "Text Info Window\tHold Shift",
                                0,
                                {
                                    Command("Show Calendar Timestamp", cmd::ShowCalendarTimestamp),
                                    Command("Show Relative Timestamp", cmd::ShowRelativeTimestamp),
                                    Command("Show Data Direction", cmd::ShowDataDirection),
                                    Command("Show Related Data", cmd::ShowRelatedData),
                                }},
                               {EMenuItemKind::Popup,
                                "Time Stamps\tAlt+T",
                                0,
                                {
                                    Command("Off", cmd::StampsOff),
                                    Command("Absolute", cmd::StampsAbsolute),
                                    Command("Since Start", cmd::StampsSinceStart),
                                    Command("Since Previous Line", cmd::StampsSincePrevious),
                                    Separator(),
                                    Command("Gap 10 ms", cmd::StampGap10),
                                    Command("Gap 100 ms", cmd::StampGap100),
                                    Command("Gap 1000 ms", cmd::StampGap1000),
                                }},
                               Command("Command History\tUp", cmd::CommandHistory),
                               Command("Keep Command History", cmd::KeepCommandHistory),
                               Command("Forget Command History", cmd::ForgetCommandHistory),
                               Command("Transmit Arrow Characters", cmd::TransmitArrows),
                               Separator(),
                               Command("Outgoing <CR> to <CR><LF>", cmd::OutgoingCRToCRLF),
                               Separator(),
                               Command("Make THIS my Default", cmd::MakeDefault),
                           }});
    menu.popups.push_back({EMenuItemKind::Popup,
                           "Lo&gging",
                           0,
                           {
                               Command("Save Buffer...", cmd::SaveBuffer),
                               Command("Start Logging...", cmd::StartLogging),
                               Command("Pause Logging", cmd::PauseLogging),
                               Separator(),
                               Command("Load Workbay Log...", cmd::LoadLog),
                               Command("Go back online", cmd::GoBackOnline),
                           }});
    menu.popups.push_back({EMenuItemKind::Popup,
                           "C&ommunications",
                           0,
                           {
                               Command("Reconnect", cmd::Reconnect),
                               Command("Disconnect", cmd::Disconnect),
                               Command("Stop Waiting", cmd::StopWaiting),
                               Command("Share Link...", cmd::ShareLink),
                               Command("Send Break\tAlt+K", cmd::SendBreak),
                               Command("Break...", cmd::BreakLength),
                               Separator(),
                               Command("DTR", cmd::LineDtr),
                               Command("RTS", cmd::LineRts),
                               Command("Pulse DTR", cmd::PulseDtr),
                               Command("Pulse RTS", cmd::PulseRts),
                               Command("Reset Pulse...", cmd::ResetPulse),
                               Separator(),
                               Command("XModem Send...\tAlt+U", cmd::XModemSend),
                               Command("XModem Receive...", cmd::XModemReceive),
                               Command("ASCII Send...", cmd::AsciiSend),
                               Command("ASCII Receive...", cmd::AsciiReceive),
                           }});
    return menu;
}

std::vector<SMenuItem> MakeContextMenu() {
    return {Command("Copy", cmd::ContextCopy),
            Command("Paste", cmd::ContextPaste),
            Command("Find...", cmd::Find),
            Command("Go to Time...", cmd::GoToTime),
            Separator(),
            Command("Clear", cmd::ContextClear)};
}

std::string CommandStatusText(cmd::CommandId id) {
    if (cmd::IsStyleCommand(id)) {
        return "Show the console's data in this style.";
    }
    if (cmd::IsKeySetCommand(id)) {
        return id == cmd::NoKeySetFiles ? std::string()
                                        : "Use the function-key macros of this key set.";
    }
    switch (id) {
        case cmd::EditStyles:
            return "Edit the rules of the current style.";
        case cmd::Reconnect:
            return "Connect to the device again.";
        case cmd::Disconnect:
            return "Close the connection to the device.";
        case cmd::StopWaiting:
            return "Stop waiting for the lost device or server to come back.";
        case cmd::ShareLink:
            return "Serve the device's link to other programs on a TCP port, or stop serving it.";
        case cmd::SendBreak:
            return "Send a break to the device.";
        case cmd::BreakLength:
            return "Send a break of a length you choose.";
        case cmd::LineDtr:
            return "Turn the DTR line on or off.";
        case cmd::LineRts:
            return "Turn the RTS line on or off.";
        case cmd::PulseDtr:
            return "Turn DTR to its other state for 100 ms and back.";
        case cmd::PulseRts:
            return "Turn RTS to its other state for 100 ms and back.";
        case cmd::ResetPulse:
            return "Reset the device or start its boot loader with a pulse of DTR and RTS.";
        case cmd::XModemSend:
            return "Send a file to the device with XModem.";
        case cmd::XModemReceive:
            return "Receive a file from the device with XModem.";
        case cmd::AsciiSend:
            return "Send the bytes of a file to the device as they are.";
        case cmd::AsciiReceive:
            return "Write what the device sends into a file until you stop it.";
        case cmd::ClearData:
            return "Clear all data from the console.";
        case cmd::Find:
            return "Find text, bytes or a pattern in the whole history.";
        case cmd::GoToTime:
            return "Show the first data at or after a time of day or a time since the start.";
        case cmd::EditSequenceKeys:
            return "Define shortcuts for keystrokes.";
        case cmd::MakeDefault:
            return "Make the current style and settings the start of every new console.";
        case cmd::ToggleHexMode:
            return "Switch to Hex Mode and back to the style before.";
        case cmd::LoadLog:
            return "Open a Workbay log and review it offline.";
        case cmd::GoBackOnline:
            return "Leave the loaded log and connect to the device again.";
        case cmd::SaveBuffer:
            return "Save the console's data to log files.";
        case cmd::StartLogging:
            return "Start or stop logging the console's data to files.";
        case cmd::PauseLogging:
            return "Pause or resume logging.";
        case cmd::OutgoingCRToCRLF:
            return "Send Enter as CR LF instead of CR.";
        case cmd::ShowRelatedData:
            return "Show the data around the character in the SHIFT window.";
        case cmd::ShowCalendarTimestamp:
            return "Show the date and time of the character in the SHIFT window.";
        case cmd::ShowRelativeTimestamp:
            return "Show the time since the console started in the SHIFT window.";
        case cmd::ShowDataDirection:
            return "Show whether the character was received or sent in the SHIFT window.";
        case cmd::CommandHistory:
            return "Show a history of commands that can be repeated quickly.";
        case cmd::TransmitArrows:
            return "Send the arrow keys to the device instead of opening the history.";
        case cmd::KeepCommandHistory:
            return "Keep the command history for the consoles to come.";
        case cmd::ForgetCommandHistory:
            return "Forget every line of the command history, here and in its file.";
        case cmd::StampsOff:
            return "Show no time stamps.";
        case cmd::StampsAbsolute:
            return "Start each line with the time of day its data came.";
        case cmd::StampsSinceStart:
            return "Start each line with the seconds since the console started.";
        case cmd::StampsSincePrevious:
            return "Start each line with the seconds since the previous line.";
        case cmd::CycleStamps:
            return "Switch to the next form of time stamps.";
        case cmd::StampGap10:
        case cmd::StampGap100:
        case cmd::StampGap1000:
            return "Stamp a burst in Hex Mode after a pause this long.";
        case cmd::SendPanel:
            return "Show or hide the panel of named and repeated sends beside the console.";
        case cmd::Triggers:
            return "Set up patterns to watch for and what the console does when it sees them.";
        case cmd::RunScript:
            return "Run a Lua script that sends, waits for the device and marks the history.";
        case cmd::HexPane:
            return "Show or hide the history as a hex dump beside the console.";
        default:
            return {};
    }
}

char MnemonicOf(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '&') {
            if (text[i + 1] != '&') {
                return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
            }
            ++i;  // "&&" is an ampersand
        }
    }
    return 0;
}

std::string MnemonicText(std::string_view text, std::string_view taken) {
    const std::string_view label = text.substr(0, text.find('\t'));
    if (MnemonicOf(label) != 0) {
        return std::string(text);
    }
    const auto free = [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(label[i]);
        return std::isalpha(c) != 0 &&
               taken.find(static_cast<char>(std::tolower(c))) == std::string_view::npos;
    };
    std::size_t at = std::string_view::npos;
    for (std::size_t i = 0; i < label.size() && at == std::string_view::npos; ++i) {
        if ((i == 0 || label[i - 1] == ' ') && free(i)) {
            at = i;
        }
    }
    for (std::size_t i = 0; i < label.size() && at == std::string_view::npos; ++i) {
        if (free(i)) {
            at = i;
        }
    }
    std::string out(text);
    if (at != std::string_view::npos) {
        out.insert(at, 1, '&');
    }
    return out;
}

namespace {

// The letters a text may take, word starts first, each once, lower case.
std::string CandidateLetters(std::string_view text) {
    const std::string_view label = text.substr(0, text.find('\t'));
    std::string starts;
    std::string rest;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const auto c = static_cast<unsigned char>(label[i]);
        if (std::isalpha(c) == 0) {
            continue;
        }
        const char lower = static_cast<char>(std::tolower(c));
        if (starts.find(lower) != std::string::npos || rest.find(lower) != std::string::npos) {
            continue;
        }
        ((i == 0 || label[i - 1] == ' ') ? starts : rest) += lower;
    }
    return starts + rest;
}

// Kuhn's augmenting path: item `k` takes a letter, moving earlier ones to
// another of theirs where that frees one.
bool TakeLetter(std::size_t k, const std::vector<std::string>& candidates,
                std::array<int, 26>& owner, std::array<bool, 26>& seen) {
    for (const char c : candidates[k]) {
        const auto l = static_cast<std::size_t>(c - 'a');
        if (l >= 26 || seen[l]) {
            continue;
        }
        seen[l] = true;
        if (owner[l] < 0 ||
            TakeLetter(static_cast<std::size_t>(owner[l]), candidates, owner, seen)) {
            owner[l] = static_cast<int>(k);
            return true;
        }
    }
    return false;
}

}  // namespace

void AddMnemonics(std::vector<SMenuItem>& items, std::string_view taken) {
    // As many items as can have a letter get one (a menu of twenty items
    // runs short of letters when each takes its first free one), the ones
    // higher up keeping their word starts where they can.
    std::array<int, 26> owner;
    owner.fill(-1);
    std::string fixed(taken);
    for (const SMenuItem& item : items) {
        if (const char c = MnemonicOf(item.text); c != 0) {
            fixed += c;
        }
    }
    std::vector<std::string> candidates;
    for (const SMenuItem& item : items) {
        std::string letters;
        if (item.kind != EMenuItemKind::Separator && MnemonicOf(item.text) == 0) {
            for (const char c : CandidateLetters(item.text)) {
                if (fixed.find(c) == std::string::npos) {
                    letters += c;
                }
            }
        }
        candidates.push_back(std::move(letters));
    }
    for (std::size_t k = 0; k < items.size(); ++k) {
        std::array<bool, 26> seen{};
        TakeLetter(k, candidates, owner, seen);
    }
    for (std::size_t l = 0; l < 26; ++l) {
        if (owner[l] < 0) {
            continue;
        }
        SMenuItem& item = items[static_cast<std::size_t>(owner[l])];
        const char letter = static_cast<char>('a' + l);
        const std::string_view label = std::string_view(item.text).substr(0, item.text.find('\t'));
        // The first place of the letter at a word start, else its first place.
        std::size_t at = std::string::npos;
        for (std::size_t i = 0; i < label.size(); ++i) {
            const bool same = std::tolower(static_cast<unsigned char>(label[i])) ==
                              static_cast<unsigned char>(letter);
            if (same && (i == 0 || label[i - 1] == ' ')) {
                at = i;
                break;
            }
            if (same && at == std::string::npos) {
                at = i;
            }
        }
        item.text.insert(at, 1, '&');
    }
    for (SMenuItem& item : items) {
        AddMnemonics(item.items);
    }
}

std::vector<cmd::CommandId> CommandIds(const std::vector<SMenuItem>& items) {
    std::vector<cmd::CommandId> ids;
    for (const auto& item : items) {
        if (item.kind == EMenuItemKind::Command) {
            ids.push_back(item.id);
        } else if (item.kind == EMenuItemKind::Popup) {
            const auto inner = CommandIds(item.items);
            ids.insert(ids.end(), inner.begin(), inner.end());
        }
    }
    return ids;
}

}  // namespace quillpad
