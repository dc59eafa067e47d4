#pragma once
// Every command of the console in one table: its id, how its menu item reads,
// what the status bar says of it, the key that runs it, whether it needs the
// device session, when it is enabled and checked, and for a switch the
// setting it flips. The menu model, the status bar, the command rules, the
// key routing and the control's dispatch read it; a command added here is
// added everywhere.
//
// The style and key set entries are numbered ranges (Commands.h), not rows.

#include <span>
#include <string>
#include <string_view>

#include "control/CommandRules.h"
#include "control/Commands.h"

namespace quillpad {

class CQuillpadSettings;

enum class ECommandMark { None, Check, Radio };

struct SCommandRow {
    cmd::CommandId id = 0;
    // The menu's text, '&' before its mnemonic (unique in its menu). A
    // command of the right-click menu or of a key alone has one too.
    std::string_view label;
    std::string_view status;
    // The key that runs it, as the menu shows it ("Alt+C", "Ctrl+F", "Up");
    // empty for none. KeyRouting runs the table's Alt and Ctrl letters.
    std::string_view key;
    // It asks the device session for something: without a session it says
    // so, and with nothing to connect to (connection kind 0) it is greyed.
    bool needsSession = false;
    ECommandMark mark = ECommandMark::None;
    // Enabled, checked and text beyond the rules every row has; null for a
    // command that is always enabled and checked only by its setting.
    void (*rule)(cmd::CommandId id, const SCommandContext& context, SCommandState& state) = nullptr;
    // A switch: dispatch flips this setting and its check mark shows it.
    bool CQuillpadSettings::*setting = nullptr;
};

std::span<const SCommandRow> CommandTable();
// The row of a command; null for an id without one (a style, a key set, 0).
const SCommandRow* FindCommand(cmd::CommandId id);
// The row whose key is `key` ("Alt+X"); null for none.
const SCommandRow* CommandForKey(std::string_view key);

inline bool IsCheckable(const SCommandRow& row) {
    return row.mark != ECommandMark::None || row.setting != nullptr;
}
// The item's text: the label, then a tab and the key when it has one.
std::string MenuText(const SCommandRow& row);
// The label as a menu without mnemonics shows it ("&&" an ampersand).
std::string PlainLabel(std::string_view label);
// A switch's setting flipped; false for a row that is no switch.
bool FlipSetting(const SCommandRow& row, CQuillpadSettings& settings);
// The lower-case letters the console takes with Alt, in table order.
std::string ConsoleAltLetters();

}  // namespace quillpad
