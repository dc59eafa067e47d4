#include "control/CommandRules.h"

#include "control/CQuillpadSettings.h"
#include "control/CommandTable.h"

namespace quillpad {

SCommandState CommandState(cmd::CommandId id, const SCommandContext& c) {
    SCommandState s;
    if (cmd::IsStyleCommand(id)) {
        s.radio = true;
        s.checked = c.currentStyleCommand != 0 && id == c.currentStyleCommand;
        return s;
    }
    if (cmd::IsKeySetCommand(id)) {
        s.enabled = id != cmd::NoKeySetFiles;
        s.checked = c.currentKeySetCommand != 0 && id == c.currentKeySetCommand;
        return s;
    }
    const SCommandRow* row = FindCommand(id);
    if (row == nullptr) {
        return s;
    }
    s.radio = row->mark == ECommandMark::Radio;
    if (row->setting != nullptr) {
        s.checked = c.settings != nullptr && c.settings->*row->setting;
    }
    if (row->rule != nullptr) {
        row->rule(id, c, s);
    }
    if (row->needsSession && c.connectionKind == 0) {
        s.enabled = false;
    }
    return s;
}

bool NeedsSession(cmd::CommandId id) {
    const SCommandRow* row = FindCommand(id);
    return row != nullptr && row->needsSession;
}

}  // namespace quillpad
