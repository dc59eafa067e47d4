#pragma once
// Function-key macros: their kind and the escape syntax of byte sequences.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Hex.h"

namespace quillpad {

// Expands \\, \n (CR LF), \r (CR) and \xHH (up to two characters, both
// consumed); any other escape letter vanishes with its backslash, and a
// trailing backslash stands for itself. Writes at most `capacity` bytes to
// `out` and returns how many it wrote. The result is never longer than the text.
std::size_t ExpandEscapes(std::string_view macro, char* out, std::size_t capacity);
// The same into a string.
std::string ExpandEscapes(std::string_view macro);

enum class EMacroKind { None, Ability, AbilityGroup, Bytes };

// What a macro does, decided by its first byte: "&" runs an ability, "@"
// shows an ability group, anything else sends bytes; empty does nothing.
EMacroKind MacroKind(std::string_view macro);

}  // namespace quillpad
