#pragma once
// Bytes and wide strings. Device data is bytes; where a session event or an
// interface carries a wide string (one character per byte) or text in the
// ANSI code page, one byte is one Latin-1 character, so every value
// 0x00-0xFF round-trips and nothing is ever decoded as UTF-8.

#include <string>
#include <string_view>

namespace quillpad {

// Byte buffers are plain std::string: any value, embedded NULs included.
using ByteString = std::string;
using WideString = std::u16string;

// Each byte becomes the character of the same value.
WideString BytesToWide(std::string_view bytes);

// Each character becomes the byte of the same value; a character above 0xFF
// has no byte and becomes '?', as a conversion to a single-byte code page would.
ByteString WideToBytes(std::u16string_view wide);

}  // namespace quillpad
