#include "input/CKeySet.h"

#include <filesystem>
#include <system_error>

#include "input/Escapes.h"

namespace quillpad {

std::string FunctionKeyName(int keyNumber, bool ctrl) {
    return (ctrl ? "CTRL_F" : "F") + std::to_string(keyNumber);
}

void CKeySet::ApplyDefaultShortcuts() {
    for (const SShortcutDef& row : kShortcutTable) {
        WriteString(kSection, row.keyName, row.defaultMacro);
        WriteString(kSection, row.descriptionKey, "");
    }
}

bool CKeySet::HoldsKeySet(const std::string& path) const {
    for (std::size_t i = 0; i < SectionCount(); ++i) {
        if (SectionAt(i)->Name() == kSection) {
            return true;
        }
    }
    // An empty file is an empty key set; anything else without the section
    // (binary bytes, another program's file) is not one.
    std::error_code error;
    return std::filesystem::file_size(path, error) == 0 && !error;
}

EKeySetStart CKeySet::LoadOrCreate(const std::string& path) {
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (exists || error) {
        if (LoadFile(path, false, true) && HoldsKeySet(path)) {
            return EKeySetStart::Loaded;
        }
        // Never write over a file we could not read: the defaults stay in
        // memory with no file to be saved to.
        LoadFile(std::string(), false, true);
        ApplyDefaultShortcuts();
        return EKeySetStart::Unreadable;
    }
    // An empty name clears the document and the stored path, so that a later
    // save cannot go to a key set loaded before.
    LoadFile(std::string(), false, true);
    ApplyDefaultShortcuts();
    if (!SaveFile(path)) {
        return EKeySetStart::DefaultsNotSaved;
    }
    // Read back for the stored path, which only a load sets.
    if (!LoadFile(path, false, true)) {
        ApplyDefaultShortcuts();
        return EKeySetStart::Unreadable;
    }
    return EKeySetStart::Created;
}

ByteString CKeySet::Macro(std::string_view keyName) const {
    for (std::size_t i = 0; i < SectionCount(); ++i) {
        if (SectionAt(i)->Name() == kSection) {
            return ReadString(SectionAt(i), keyName, "");
        }
    }
    return ByteString();
}

ByteString CKeySet::Description(std::string_view keyName) const {
    return Macro(std::string(keyName) + "_Name");
}

SKeyDispatch DispatchFunctionKey(const CKeySet& keySet, int keyNumber, SKeyModifiers modifiers) {
    SKeyDispatch result;
    if (keyNumber < 1 || keyNumber > 12) {
        return result;
    }
    if (!modifiers.ctrl && (modifiers.shift || modifiers.alt)) {
        return result;
    }
    const ByteString macro = keySet.Macro(FunctionKeyName(keyNumber, modifiers.ctrl));
    switch (MacroKind(macro)) {
        case EMacroKind::None:
            break;
        case EMacroKind::Ability:
            result.action = EFunctionKeyAction::RunAbility;
            result.text = macro.substr(1);
            break;
        case EMacroKind::AbilityGroup:
            result.action = EFunctionKeyAction::ShowAbilityGroup;
            result.text = macro.substr(1);
            break;
        case EMacroKind::Bytes:
            for (const SEscapeProblem& problem : MacroEscapeProblems(macro)) {
                if (problem.kind == EEscapeProblem::WaitOutOfRange) {
                    result.action = EFunctionKeyAction::Refused;
                    result.text = DescribeEscapeProblem(macro, problem);
                    return result;
                }
            }
            if (HasLineEscapes(macro)) {
                result.action = EFunctionKeyAction::PlaySteps;
                result.steps = SplitMacroSteps(macro);
                std::size_t room = kMaxSendBytes;
                for (SMacroStep& step : result.steps) {
                    if (step.bytes.size() > room) {
                        step.bytes.resize(room);
                        result.truncated = true;
                    }
                    room -= step.bytes.size();
                }
                break;
            }
            result.action = EFunctionKeyAction::SendBytes;
            result.bytes = ExpandEscapes(macro);
            if (result.bytes.size() > kMaxSendBytes) {
                result.bytes.resize(kMaxSendBytes);
                result.truncated = true;
            }
            break;
    }
    return result;
}

}  // namespace quillpad
