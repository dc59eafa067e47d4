#include "control/KeyRouting.h"

#include <cctype>

#include "control/CommandTable.h"

namespace quillpad {
namespace {

SKeyRoute Route(EKeyAction action) {
    return SKeyRoute{action, 0, 0, {}};
}

SKeyRoute Run(cmd::CommandId command) {
    return SKeyRoute{EKeyAction::Command, 0, command, {}};
}

// Alt with a key that types something: what Windows calls a system
// character. Letters carry their letter whatever the layout types.
bool IsSystemCharacter(const SKeyPress& key, const SKeyModifiers& m) {
    return m.alt && !m.ctrl && (key.key == EKey::Letter || key.key == EKey::Character);
}

}  // namespace

SKeyRoute InterceptKey(const SKeyPress& key, const SKeyModifiers& m, bool hasSelection) {
    if (key.key == EKey::Function && key.functionKey >= 1 && key.functionKey <= 12) {
        return SKeyRoute{EKeyAction::FunctionKey, key.functionKey, 0, {}};
    }
    if (IsSystemCharacter(key, m)) {
        const char c = key.key == EKey::Letter ? key.letter
                       : key.text.size() == 1  ? key.text[0]
                                               : '\0';
        // The command table's Alt keys, either case. Any other goes on to
        // the host, whose menu bar opens a menu by its mnemonic (Alt+F).
        const std::string chord =
            std::string("Alt+") + static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const SCommandRow* row = CommandForKey(chord);
        return row ? Run(row->id) : Route(EKeyAction::PassOn);
    }
    // The table's Ctrl letters (the find bar, not ACK; Go to Time, not BEL)
    // are the console's, not control codes for the device.
    if (m.ctrl && !m.alt && key.key == EKey::Letter) {
        if (const SCommandRow* row = CommandForKey(std::string("Ctrl+") + key.letter)) {
            return Run(row->id);
        }
    }
    if (m.ctrl && key.key == EKey::Letter && key.letter == 'V') {
        return Route(EKeyAction::Paste);
    }
    if (m.ctrl && key.key == EKey::Letter && key.letter == 'C') {
        // Nothing to copy: the key is the terminal's interrupt.
        return hasSelection ? Route(EKeyAction::Copy)
                            : SKeyRoute{EKeyAction::SendChars, 0, 0, "\x03"};
    }
    if (key.key == EKey::Insert) {
        return Route(m.ctrl ? EKeyAction::Copy : EKeyAction::Paste);
    }
    return Route(EKeyAction::PassOn);
}

SKeyRoute FilterViewKey(const SKeyPress& key, const SKeyModifiers& m, bool transmitArrows) {
    if (transmitArrows) {
        const char* sequence = key.key == EKey::Up      ? "\x1b[A"
                               : key.key == EKey::Down  ? "\x1b[B"
                               : key.key == EKey::Right ? "\x1b[C"
                               : key.key == EKey::Left  ? "\x1b[D"
                                                        : nullptr;
        if (sequence != nullptr) {
            return SKeyRoute{EKeyAction::SendChars, 0, 0, sequence};
        }
    }
    switch (key.key) {
        case EKey::Backspace:
            // The view's text stays; the device gets the byte, as typed.
            return SKeyRoute{EKeyAction::SendChars, 0, 0, "\b"};
        case EKey::Left:
        case EKey::Right:
        case EKey::Down:
            return Route(EKeyAction::Swallow);
        case EKey::Up:
            return Route(EKeyAction::HistoryPopup);
        case EKey::Function:
            return SKeyRoute{EKeyAction::FunctionKey, key.functionKey, 0, {}};
        case EKey::Tab:
            // Ctrl+Tab and Alt+Tab belong to the host's windows.
            if (!m.ctrl && !m.alt) {
                return SKeyRoute{EKeyAction::SendChars, 0, 0, "\t"};
            }
            return Route(EKeyAction::PassOn);
        case EKey::Character:
        case EKey::Letter:
            // With Ctrl a letter types its control code (Ctrl+A is 0x01), as a
            // terminal sends it; a key that types nothing passes on.
            if (!key.text.empty() && !m.alt) {
                return SKeyRoute{EKeyAction::SendChars, 0, 0, key.text};
            }
            return Route(EKeyAction::PassOn);
        default:
            return Route(EKeyAction::PassOn);
    }
}

}  // namespace quillpad
