#pragma once
// Function-key macros: their kind and the escape syntax of byte sequences.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpad {

// True for the 22 bytes of "0123456789ABCDEFabcdef".
bool IsHexDigit(char c);

// The value of the run of hexadecimal digits at the start of the text; 0 when
// there is none. Unsigned and wrapping on overflow: callers that need a byte
// take the low 8 bits. Custom character values read digits through this too.
std::uint32_t ParseHexPrefix(std::string_view text);

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
