#include "input/Escapes.h"

namespace quillpad {

std::size_t ExpandEscapes(std::string_view macro, char* out, std::size_t capacity) {
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n < capacity) {
            out[n++] = c;
        }
    };
    std::size_t i = 0;
    while (i < macro.size()) {
        if (macro[i] != '\\') {
            put(macro[i++]);
            continue;
        }
        if (i + 1 == macro.size()) {
            put('\\');
            break;
        }
        const char letter = macro[i + 1];
        i += 2;
        switch (letter) {
            case '\\':
                put('\\');
                break;
            case 'n':
                put('\r');
                put('\n');
                break;
            case 'r':
                put('\r');
                break;
            case 'x': {
                const std::string_view digits = macro.substr(i, 2);
                put(static_cast<char>(ParseHexPrefix(digits) & 0xFF));
                i += digits.size();
                break;
            }
            default:
                break;  // unknown escapes vanish
        }
    }
    return n;
}

std::string ExpandEscapes(std::string_view macro) {
    std::string out(macro.size(), '\0');
    out.resize(ExpandEscapes(macro, out.data(), out.size()));
    return out;
}

EMacroKind MacroKind(std::string_view macro) {
    if (macro.empty()) {
        return EMacroKind::None;
    }
    if (macro.front() == '&') {
        return EMacroKind::Ability;
    }
    if (macro.front() == '@') {
        return EMacroKind::AbilityGroup;
    }
    return EMacroKind::Bytes;
}

}  // namespace quillpad
