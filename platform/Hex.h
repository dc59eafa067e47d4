#pragma once
// Hexadecimal digits as users type them (custom character values of a style
// rule, the \x escapes of a macro) and as the program's own text files write
// bytes (the command history, the registry file).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpad {

// True for the 22 bytes of "0123456789ABCDEFabcdef".
bool IsHexDigit(char c);

// The value of one hexadecimal digit (either case), or -1 for any other byte.
int HexDigitValue(char c);

// The value of the run of hexadecimal digits at the start of the text; 0 when
// there is none. Unsigned and wrapping on overflow: callers that need a byte
// take the low 8 bits.
std::uint32_t ParseHexPrefix(std::string_view text);

// Appends a byte as two upper-case digits ("0A").
void AppendHexByte(std::string& out, unsigned char byte);

// Reads the two digits at text[at] and text[at + 1] as one byte; false when
// the text is too short or either is not a digit.
bool ReadHexByte(std::string_view text, std::size_t at, char& byte);

}  // namespace quillpad
