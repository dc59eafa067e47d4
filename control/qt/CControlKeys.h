#pragma once
// The console's keys, taken before its view acts on them: the routing of
// KeyRouting.h applied (function-key macros through the key set, copy and
// paste, the Alt commands, the characters for the device), and which keys
// the console claims ahead of the host's shortcuts. A key it does not take
// goes on to the view and from there to the host.

#include <functional>

#include "control/KeyRouting.h"
#include "input/KeyModifiers.h"

class QKeyEvent;

namespace quillpad {

class CQuillpad2Ctrl;

// The key as the routing tables see it, with the modifiers held.
SKeyPress ToKeyPress(const QKeyEvent& event, const SKeyModifiers& modifiers);

class CControlKeys {
  public:
    // `modifiers`: those held at the moment of a key; null: the keyboard's.
    CControlKeys(CQuillpad2Ctrl& control, std::function<SKeyModifiers()> modifiers);

    // A key offered before the view; true when taken.
    bool HandleKey(const QKeyEvent& event);
    // Whether the console takes the key ahead of every shortcut of the host
    // (its ShortcutOverride): Alt+C, Ctrl+V or a function key are its own,
    // Alt+F is the host's menu.
    bool ClaimsShortcut(const QKeyEvent& event) const;
    // Function-key dispatch through the current key set; false when the key
    // has no macro (it goes on to normal processing).
    bool DispatchFunctionKey(int number, const SKeyModifiers& modifiers);

  private:
    bool HasSelection() const;

    CQuillpad2Ctrl& m_control;
    std::function<SKeyModifiers()> m_modifiers;
};

}  // namespace quillpad
