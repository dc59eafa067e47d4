// Key set files: arbitrary file bytes read as a console reads its key set,
// then every function key under every combination of modifiers. What a key
// does follows from its macro alone, sends never more than the send buffer
// holds, and is the same after the key set was saved and read back.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "input/CKeySet.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/FuzzScratch.h"

using quillpad::fuzz::Check;
using quillpad::fuzz::CScratch;

namespace {

using quillpad::CKeySet;
using quillpad::EFunctionKeyAction;
using quillpad::SKeyDispatch;
using quillpad::SKeyModifiers;

bool Same(const SKeyDispatch& a, const SKeyDispatch& b) {
    return a.action == b.action && a.bytes == b.bytes && a.text == b.text &&
           a.truncated == b.truncated;
}

// Steps as split, but for the bytes past the send buffer's room.
void CheckStepsCut(const SKeyDispatch& d, const std::vector<quillpad::SMacroStep>& split) {
    Check(d.steps.size() == split.size());
    std::size_t room = quillpad::kMaxSendBytes;
    bool cut = false;
    for (std::size_t i = 0; i < split.size() && i < d.steps.size(); ++i) {
        const quillpad::SMacroStep& step = d.steps[i];
        Check(step.kind == split[i].kind && step.value == split[i].value);
        Check(step.bytes == split[i].bytes.substr(0, room));
        cut = cut || step.bytes.size() < split[i].bytes.size();
        room -= step.bytes.size();
    }
    Check(d.truncated == cut);
}

// Checks one key under one set of modifiers against its macro.
void CheckKey(const CKeySet& keys, int key, SKeyModifiers mods) {
    using namespace quillpad;
    const SKeyDispatch d = DispatchFunctionKey(keys, key, mods);
    if (key < 1 || key > 12 || (!mods.ctrl && (mods.shift || mods.alt))) {
        Check(d.action == EFunctionKeyAction::NotHandled);
        return;
    }
    // Ctrl wins: with it, Shift and Alt change nothing.
    if (mods.ctrl && (mods.shift || mods.alt)) {
        Check(Same(d, DispatchFunctionKey(keys, key, SKeyModifiers{true, false, false})));
    }
    const ByteString macro = keys.Macro(FunctionKeyName(key, mods.ctrl));
    switch (d.action) {
        case EFunctionKeyAction::NotHandled:
            Check(macro.empty());
            break;
        case EFunctionKeyAction::RunAbility:
        case EFunctionKeyAction::ShowAbilityGroup:
            Check(macro.front() == (d.action == EFunctionKeyAction::RunAbility ? '&' : '@'));
            Check(d.text == macro.substr(1));
            Check(d.bytes.empty());
            break;
        case EFunctionKeyAction::SendBytes:
            Check(!macro.empty() && macro.front() != '&' && macro.front() != '@');
            Check(d.bytes.size() <= kMaxSendBytes && d.bytes.size() <= macro.size());
            Check(!d.truncated || d.bytes.size() == kMaxSendBytes);
            // Without escapes a macro is sent as it stands.
            if (macro.find('\\') == ByteString::npos) {
                Check(d.bytes == macro.substr(0, kMaxSendBytes));
                Check(d.truncated == (macro.size() > kMaxSendBytes));
            }
            Check(!HasLineEscapes(macro));
            break;
        case EFunctionKeyAction::Refused:
            // Only an out-of-range wait refuses a macro, and it says so.
            Check(!macro.empty() && macro.front() != '&' && macro.front() != '@');
            Check(d.text.find("waits longer") != std::string::npos && d.bytes.empty());
            break;
        case EFunctionKeyAction::PlaySteps:
            // Only a macro with a line escape plays steps: the macro's own,
            // split once, their bytes together cut to the send buffer.
            Check(HasLineEscapes(macro));
            CheckStepsCut(d, SplitMacroSteps(macro));
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    static const CScratch scratch("keysetfuzz");
    const std::string input = scratch.File("input.keyset");
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        Check(static_cast<bool>(out));
    }

    CKeySet keys;
    const EKeySetStart start = keys.LoadOrCreate(input);
    // A file without the shortcuts section is no key set: the defaults, and
    // nothing stored over it.
    Check(start == EKeySetStart::Loaded || start == EKeySetStart::Unreadable);
    for (int key = 0; key <= 13; ++key) {
        for (int m = 0; m < 8; ++m) {
            CheckKey(keys, key, SKeyModifiers{(m & 1) != 0, (m & 2) != 0, (m & 4) != 0});
        }
    }

    // Saved and read back, every key does what it did.
    const std::string saved = scratch.File("saved.keyset");
    Check(keys.SaveFile(saved));
    CKeySet again;
    Check(again.LoadOrCreate(saved) == EKeySetStart::Loaded);
    for (int key = 1; key <= 12; ++key) {
        for (const bool ctrl : {false, true}) {
            const SKeyModifiers mods{ctrl, false, false};
            Check(
                Same(DispatchFunctionKey(keys, key, mods), DispatchFunctionKey(again, key, mods)));
            const std::string name = FunctionKeyName(key, ctrl);
            Check(keys.Description(name) == again.Description(name));
        }
    }
    return 0;
}
