#pragma once
// When each command of the console's menus is enabled, checked and how it
// reads: one function of a snapshot of the console's state, asked each time
// a menu is about to show. The rules of each command are its row's in the
// command table (CommandTable.h).

#include <cstdint>
#include <optional>
#include <string>

#include "control/Commands.h"

namespace quillpad {

class CQuillpadSettings;

enum class ELoggingState { NotLogging, Logging, Paused };

// What the rules read; the control fills it when a menu opens.
struct SCommandContext {
    bool hasCurrentScheme = false;
    std::string currentSchemeName;
    cmd::CommandId currentStyleCommand = 0;  // 0: none has the radio mark
    cmd::CommandId currentKeySetCommand = 0;
    std::uint32_t connectionKind = 0;  // as the connection spec reports it
    // The link's modem lines (nxr_line bits); -1 while it tells none.
    std::int32_t modemLines = -1;
    // The session waits for a lost link to come back.
    bool waitingForLink = false;
    // The link is up (connected), and the TCP port it is shared on (0: not shared).
    bool linkUp = false;
    std::int32_t sharePort = 0;
    ELoggingState logging = ELoggingState::NotLogging;
    // A loaded log is shown, not the device: there is nothing to log live.
    bool reviewing = false;
    // The switches and time stamps the check marks show; none is checked
    // without them.
    const CQuillpadSettings* settings = nullptr;
};

struct SCommandState {
    bool enabled = true;
    bool checked = false;
    bool radio = false;               // a checked item shows a radio mark
    std::optional<std::string> text;  // replaces the item's text
};

SCommandState CommandState(cmd::CommandId id, const SCommandContext& context);

// Commands that ask the device session for something (connect, break, the
// transfers): without a session they say so before asking the user anything,
// and with connection kind 0 (nothing to connect to, as while a log is
// reviewed) the menu shows them greyed.
bool NeedsSession(cmd::CommandId id);

}  // namespace quillpad
