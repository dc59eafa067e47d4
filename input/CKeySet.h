#pragma once
// Function-key macros: the key set file, its built-in defaults, and what a
// function key does with the modifiers held at the moment it is pressed.
//
// A key set is an INI document with one section "Shortcuts": per key the
// macro under the key's name ("F3", "CTRL_F10") and its description under the
// name followed by "_Name". Other sections and entries are kept and ignored.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/CIniDocument.h"
#include "input/Escapes.h"
#include "input/KeyModifiers.h"
#include "platform/Bytes.h"

namespace quillpad {

// One row of the shortcut table: the keys the setup dialog offers and the
// defaults a first start writes.
struct SShortcutDef {
    const char* label;           // as the dialog shows it
    const char* keyName;         // the macro's entry
    const char* descriptionKey;  // the description's entry
    const char* defaultMacro;
    int keyNumber;  // 1 for F1 ... 12 for F12
    bool ctrl;
};

// F1, Ctrl+F4 and Ctrl+F6 have no row: the dialog does not offer them and the
// defaults do not write them, but a file that binds them is still obeyed.
inline constexpr std::array<SShortcutDef, 21> kShortcutTable = {{
    {"Ctrl+F1", "CTRL_F1", "CTRL_F1_Name", "", 1, true},
    {"Ctrl+F2", "CTRL_F2", "CTRL_F2_Name", "", 2, true},
    {"Ctrl+F3", "CTRL_F3", "CTRL_F3_Name", "", 3, true},
    {"Ctrl+F5", "CTRL_F5", "CTRL_F5_Name", "", 5, true},
    {"Ctrl+F7", "CTRL_F7", "CTRL_F7_Name", "", 7, true},
    {"Ctrl+F8", "CTRL_F8", "CTRL_F8_Name", "", 8, true},
    {"Ctrl+F9", "CTRL_F9", "CTRL_F9_Name", "", 9, true},
    {"Ctrl+F10", "CTRL_F10", "CTRL_F10_Name", "", 10, true},
    {"Ctrl+F11", "CTRL_F11", "CTRL_F11_Name", "", 11, true},
    {"Ctrl+F12", "CTRL_F12", "CTRL_F12_Name", "", 12, true},
    {"F2", "F2", "F2_Name", "", 2, false},
    {"F3", "F3", "F3_Name", "@DevInfo", 3, false},
    {"F4", "F4", "F4_Name", "&QbusMasterReportDevices 0,true", 4, false},
    {"F5", "F5", "F5_Name", "@Firmware", 5, false},
    {"F6", "F6", "F6_Name", "@SystemClock", 6, false},
    {"F7", "F7", "F7_Name", "@Program", 7, false},
    {"F8", "F8", "F8_Name", "@SerialComm", 8, false},
    {"F9", "F9", "F9_Name", "", 9, false},
    {"F10", "F10", "F10_Name", "&ProgramRestart", 10, false},
    {"F11", "F11", "F11_Name", "", 11, false},
    {"F12", "F12", "F12_Name", "", 12, false},
}};

// "F3", or "CTRL_F3" with Ctrl.
std::string FunctionKeyName(int keyNumber, bool ctrl);

// How a key set came to be when a console starts.
enum class EKeySetStart {
    Loaded,            // the file was read
    Created,           // the file was missing; the defaults were written to it
    DefaultsNotSaved,  // the file was missing and could not be written; defaults in memory
    Unreadable,        // the file exists but is no key set or could not be read; defaults
                       // in memory, and no stored path
};

class CKeySet : public CIniDocument {
  public:
    static constexpr const char* kSection = "Shortcuts";
    static constexpr const char* kExtension = ".keyset";
    static constexpr const char* kDefaultFileName = "My Keys.keyset";

    // Writes every row's default macro and an empty description, replacing
    // entries of those names and keeping all others.
    void ApplyDefaultShortcuts();

    // The key set of a starting console. A missing file is created with the
    // defaults and then read back, so that the stored path names it. An
    // existing file that cannot be read is left alone (it may be the user's
    // work) and the defaults are used in memory, as they are when the new
    // file cannot be written: the function keys work either way.
    EKeySetStart LoadOrCreate(const std::string& path);

    // The macro or description of a key name; empty when there is none.
    // Neither creates the section.
    ByteString Macro(std::string_view keyName) const;
    ByteString Description(std::string_view keyName) const;

  private:
    // Whether what was just read from the path is a key set.
    bool HoldsKeySet(const std::string& path) const;
};

enum class EFunctionKeyAction {
    NotHandled,        // no macro: the key goes on to normal processing
    SendBytes,         // send `bytes` as one block (possibly none)
    RunAbility,        // run the ability command `text`
    ShowAbilityGroup,  // show the dialog of the ability group `text`
    PlaySteps,         // a macro with line escapes: play `steps` in order
    Refused,           // nothing is sent: `text` says why (an escape out of range)
};

struct SKeyDispatch {
    EFunctionKeyAction action = EFunctionKeyAction::NotHandled;
    ByteString bytes;               // SendBytes: the expanded macro
    std::string text;               // RunAbility, ShowAbilityGroup: the macro less its first byte;
                                    // Refused: the reason
    bool truncated = false;         // SendBytes, PlaySteps: the bytes were cut to kMaxSendBytes
    std::vector<SMacroStep> steps;  // PlaySteps
};

// The send buffer of a macro. Escapes never lengthen a text, but a macro read
// from a file may itself be longer than this.
inline constexpr std::size_t kMaxSendBytes = 4096;

// What function key F`keyNumber` (1 to 12) does. Ctrl wins over Shift and Alt;
// Shift or Alt without Ctrl never runs a macro. Any action but NotHandled
// consumes the key, even bytes that expand to nothing.
SKeyDispatch DispatchFunctionKey(const CKeySet& keySet, int keyNumber, SKeyModifiers modifiers);

}  // namespace quillpad
