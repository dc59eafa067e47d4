#include "control/MenuModel.h"

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
                               Command("Toggle Hex Mode\tALT+H", cmd::ToggleHexMode),
                               Separator(),
                               {EMenuItemKind::KeySetPopup, "Select Key Set", 0, {}},
                               Command("Edit Sequence Keys...", cmd::EditSequenceKeys),
                               Separator(),
                               Command("Clear Data\tALT+C", cmd::ClearData),
                               Separator(),
                               {EMenuItemKind::Popup,
                                "Text Info Window\tHold SHIFT",
                                0,
                                {
                                    Command("Show Calendar Timestamp", cmd::ShowCalendarTimestamp),
                                    Command("Show Relative Timestamp", cmd::ShowRelativeTimestamp),
                                    Command("Show Data Direction", cmd::ShowDataDirection),
                                    Command("Show Related Data", cmd::ShowRelatedData),
                                }},
                               Command("Command History\tUP", cmd::CommandHistory),
                               Command("Keep Command History", cmd::KeepCommandHistory),
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
                               Command("Send Break\tAlt+K", cmd::SendBreak),
                               Separator(),
                               Command("XModem Send...\tAlt+U", cmd::XModemSend),
                               Command("XModem Receive...", cmd::XModemReceive),
                               Command("ASCII Send...", cmd::AsciiSend),
                               Command("ASCII Receive...", cmd::AsciiReceive),
                           }});
    return menu;
}

std::vector<SMenuItem> MakeContextMenu() {
    return {Command("Copy", cmd::ContextCopy), Command("Paste", cmd::ContextPaste), Separator(),
            Command("Clear", cmd::ContextClear)};
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
