#pragma once
// Hexadecimal digits as users type them: in custom character values of a
// style rule and in the \x escapes of a macro, both read the same way.

#include <cstdint>
#include <string_view>

namespace quillpad {

// True for the 22 bytes of "0123456789ABCDEFabcdef".
bool IsHexDigit(char c);

// The value of the run of hexadecimal digits at the start of the text; 0 when
// there is none. Unsigned and wrapping on overflow: callers that need a byte
// take the low 8 bits.
std::uint32_t ParseHexPrefix(std::string_view text);

}  // namespace quillpad
