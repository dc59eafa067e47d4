#pragma once
// Which keys the console takes before its view sees them, and what the view
// does with the rest. Two tables: the interception that runs before any
// window (function keys, copy and paste keys, the command table's keys) and the view's
// key filter (editing and arrow keys, characters). The view never edits its
// own text: every character goes to the device.
//
// The modifier state is the keyboard's at the moment of the key, not what
// the event carries, so a key that arrives late still sees the modifiers
// the user holds.

#include <string>

#include "control/Commands.h"
#include "input/KeyModifiers.h"

namespace quillpad {

enum class EKey {
    Other,
    Character,  // a key that types `text` and is none of the keys below
    Backspace,
    Delete,
    Left,
    Right,
    Up,
    Down,
    Insert,
    Tab,       // Tab or Shift+Tab
    Function,  // F1 to F12, `functionKey`
    Letter,    // a letter key pressed with Ctrl or Alt, `letter` upper case
};

struct SKeyPress {
    EKey key = EKey::Other;
    int functionKey = 0;
    char letter = 0;
    std::string text;  // what the key types, one byte per character
};

enum class EKeyAction {
    PassOn,       // the view's own handling (scrolling, selection)
    Swallow,      // nothing happens
    FunctionKey,  // function-key dispatch with `functionKey`
    Paste,
    Copy,
    Command,       // `command`, as if chosen from the menu
    HistoryPopup,  // UM_HISTORY_POPUP, posted
    SendChars,     // UM_SEND_CHAR, posted, per byte of `chars`
};

struct SKeyRoute {
    EKeyAction action = EKeyAction::PassOn;
    int functionKey = 0;
    cmd::CommandId command = 0;
    std::string chars;
};

// The interception before any window; PassOn lets the key go on to the view
// and, when the view does nothing with it, to the host (an Alt character that
// is no key of the command table reaches the host's menu mnemonics). The
// table's Alt and Ctrl letters run their commands. Ctrl+C copies
// when the view has a selection and otherwise sends ETX, so that the device
// can always be interrupted; Ctrl+Insert always copies.
SKeyRoute InterceptKey(const SKeyPress& key, const SKeyModifiers& modifiers, bool hasSelection);
// The view's key filter; PassOn leaves the key to the view itself. Tab
// sends 0x09: the console's keys never move the focus. With
// `transmitArrows` the arrow keys send the VT100 cursor sequences (ESC [ A
// to D) and Up no longer opens the history.
SKeyRoute FilterViewKey(const SKeyPress& key, const SKeyModifiers& modifiers,
                        bool transmitArrows = false);

}  // namespace quillpad
