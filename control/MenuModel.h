#pragma once
// The console's menus as data: items with ids, texts (a tab separates the
// shortcut hint) and separators, and the places where the style and key set
// popups are filled in. The items' texts are their rows' in the command
// table; the Qt layer turns them into menus; everything a menu decides
// (which command, enabled, checked) is decided here.

#include <string>
#include <string_view>
#include <vector>

#include "control/Commands.h"

namespace quillpad {

enum class EMenuItemKind { Command, Separator, Popup, StylePopup, KeySetPopup };

struct SMenuItem {
    EMenuItemKind kind = EMenuItemKind::Command;
    std::string text;
    cmd::CommandId id = 0;
    std::vector<SMenuItem> items;  // a popup's
};

struct SMenu {
    std::vector<SMenuItem> popups;  // the menu bar's popups
};

// Menu 205, with "Select Style" and "Select Key Set" already in place of the
// resource's placeholders. Every item and popup has a mnemonic of its own in
// its menu; the menu bar's keep clear of the console's Alt letters.
SMenu MakeMainMenu();
// The right-click menu: Copy, Paste, Find..., Go to Time..., a separator,
// Clear; without mnemonics or keys.
std::vector<SMenuItem> MakeContextMenu();

// What the status bar says while the pointer is on a command's item; empty
// for an id that is not a command.
std::string CommandStatusText(cmd::CommandId id);

// The text with a mnemonic ('&' before a letter) that is not among `taken`
// (lower case): a word's first letter where one is free, else any letter;
// the text as it is when it has one already or no letter is free. Only the
// part before the tab counts.
std::string MnemonicText(std::string_view text, std::string_view taken);
// The lower-case letter a text's '&' marks; 0 for none.
char MnemonicOf(std::string_view text);

// Every command item of a menu tree, depth first.
std::vector<cmd::CommandId> CommandIds(const std::vector<SMenuItem>& items);

}  // namespace quillpad
