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

// Hex bytes as every box that takes them reads them ("55 AA", "0d0a",
// "55,aa"): pairs of digits in either case, spaces, tabs or commas between
// the pairs. False, with the first fault and its position in `error` and
// `bytes` empty, on any other character or a digit without its partner.
bool ParseHexBytes(std::string_view text, std::string& bytes, std::string& error);

// Bytes as the console's escapes write them, printable ASCII only: CR LF as
// \n, a lone CR as \r, a backslash as \\, other bytes outside 0x20-0x7E as
// \xHH. Macro expansion reads the text back to the same bytes; messages use
// it where a device's bytes meet text in another encoding.
std::string EscapedBytes(std::string_view bytes);

}  // namespace quillpad
