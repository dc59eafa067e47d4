#pragma once
// Latin-1 case as find and the triggers fold it: A-Z and \xC0-\xDE (without
// \xD7, the multiplication sign) pair with the bytes 0x20 above them; \xDF
// and \xFF have no upper case in Latin-1. Every other byte is its own case.
// The same tables stand in PCRE2's character tables, which fold ASCII only
// without UTF.

#include <array>

namespace quillpad {

using Latin1CaseTable = std::array<unsigned char, 256>;

// Each byte's lower case.
const Latin1CaseTable& Latin1LowerCase();
// Each byte's other case (itself when it has none).
const Latin1CaseTable& Latin1FlippedCase();

inline char Latin1Fold(char c) {
    return static_cast<char>(Latin1LowerCase()[static_cast<unsigned char>(c)]);
}
inline char Latin1Flip(char c) {
    return static_cast<char>(Latin1FlippedCase()[static_cast<unsigned char>(c)]);
}

}  // namespace quillpad
