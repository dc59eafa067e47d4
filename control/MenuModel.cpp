#include "control/MenuModel.h"

#include <cctype>

#include "control/CommandTable.h"

namespace quillpad {
namespace {

SMenuItem Command(cmd::CommandId id) {
    const SCommandRow* row = FindCommand(id);
    return {EMenuItemKind::Command, row ? MenuText(*row) : std::string(), id, {}};
}

SMenuItem Separator() {
    return {EMenuItemKind::Separator, {}, 0, {}};
}

SMenuItem Popup(std::string text, std::vector<SMenuItem> items) {
    return {EMenuItemKind::Popup, std::move(text), 0, std::move(items)};
}

}  // namespace

SMenu MakeMainMenu() {
    using namespace cmd;
    SMenu menu;
    menu.popups.push_back(
        Popup("&Quillpad",
              {
                  {EMenuItemKind::StylePopup, "Select St&yle", 0, {}},
                  Command(EditStyles),
                  Command(ToggleHexMode),
                  Command(HexPane),
                  Separator(),
                  {EMenuItemKind::KeySetPopup, "Se&lect Key Set", 0, {}},
                  Command(EditSequenceKeys),
                  Command(SendPanel),
                  Command(Triggers),
                  Command(RunScript),
                  Separator(),
                  Command(ClearData),
                  Command(Find),
                  Command(GoToTime),
                  Separator(),
                  Popup("Text Info &Window\tHold Shift",
                        {Command(ShowCalendarTimestamp), Command(ShowRelativeTimestamp),
                         Command(ShowDataDirection), Command(ShowRelatedData)}),
                  // Alt+T cycles the forms: the popup reads as its row.
                  Popup(MenuText(*FindCommand(CycleStamps)),
                        {Command(StampsOff), Command(StampsAbsolute), Command(StampsSinceStart),
                         Command(StampsSincePrevious), Separator(), Command(StampGap10),
                         Command(StampGap100), Command(StampGap1000)}),
                  Command(CommandHistory),
                  Command(KeepCommandHistory),
                  Command(ForgetCommandHistory),
                  Command(TransmitArrows),
                  Separator(),
                  Command(OutgoingCRToCRLF),
                  Separator(),
                  Command(MakeDefault),
              }));
    menu.popups.push_back(
        Popup("Lo&gging", {Command(SaveBuffer), Command(StartLogging), Command(PauseLogging),
                           Separator(), Command(LoadLog), Command(GoBackOnline)}));
    menu.popups.push_back(Popup(
        "C&ommunications",
        {Command(Reconnect), Command(Disconnect), Command(StopWaiting), Command(ShareLink),
         Command(SendBreak), Command(BreakLength), Separator(), Command(LineDtr), Command(LineRts),
         Command(PulseDtr), Command(PulseRts), Command(ResetPulse), Separator(),
         Command(XModemSend), Command(XModemReceive), Command(AsciiSend), Command(AsciiReceive)}));
    return menu;
}

std::vector<SMenuItem> MakeContextMenu() {
    std::vector<SMenuItem> items;
    for (const cmd::CommandId id : {cmd::ContextCopy, cmd::ContextPaste, cmd::Find, cmd::GoToTime,
                                    cmd::CommandId{0}, cmd::ContextClear}) {
        const SCommandRow* row = FindCommand(id);
        items.push_back(row ? SMenuItem{EMenuItemKind::Command, PlainLabel(row->label), id, {}}
                            : Separator());
    }
    return items;
}

std::string CommandStatusText(cmd::CommandId id) {
    if (cmd::IsStyleCommand(id)) {
        return "Show the console's data in this style.";
    }
    if (cmd::IsKeySetCommand(id)) {
        return id == cmd::NoKeySetFiles ? std::string()
                                        : "Use the function-key macros of this key set.";
    }
    const SCommandRow* row = FindCommand(id);
    return row ? std::string(row->status) : std::string();
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
