#pragma once
// Latin-1 case as find and the triggers fold it: A-Z and \xC0-\xDE (without
// \xD7, the multiplication sign) pair with the bytes 0x20 above them; \xDF
// and \xFF have no upper case in Latin-1. Every other byte is its own case.
// The same tables stand in PCRE2's character tables, which fold ASCII only
// without UTF. Made at compile time: the folds run for every byte searched.

#include <array>

namespace quillpad {

using Latin1CaseTable = std::array<unsigned char, 256>;

namespace latin1_detail {
constexpr Latin1CaseTable MakeCaseTable(bool flip) {
    Latin1CaseTable t{};
    for (unsigned b = 0; b < 256; ++b) {
        t[b] = static_cast<unsigned char>(b);
    }
    for (unsigned upper = 0; upper < 256; ++upper) {
        if ((upper >= 'A' && upper <= 'Z') || (upper >= 0xC0 && upper <= 0xDE && upper != 0xD7)) {
            t[upper] = static_cast<unsigned char>(upper + 0x20);
            if (flip) {
                t[upper + 0x20] = static_cast<unsigned char>(upper);
            }
        }
    }
    return t;
}
inline constexpr Latin1CaseTable kLower = MakeCaseTable(false);
inline constexpr Latin1CaseTable kFlipped = MakeCaseTable(true);
}  // namespace latin1_detail

// Each byte's lower case.
constexpr const Latin1CaseTable& Latin1LowerCase() {
    return latin1_detail::kLower;
}
// Each byte's other case (itself when it has none).
constexpr const Latin1CaseTable& Latin1FlippedCase() {
    return latin1_detail::kFlipped;
}

constexpr char Latin1Fold(char c) {
    return static_cast<char>(latin1_detail::kLower[static_cast<unsigned char>(c)]);
}
constexpr char Latin1Flip(char c) {
    return static_cast<char>(latin1_detail::kFlipped[static_cast<unsigned char>(c)]);
}

}  // namespace quillpad
