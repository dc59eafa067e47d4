// The one Latin-1 case that find, the filter and the triggers fold with.

#include <gtest/gtest.h>

#include "platform/Latin1Case.h"

namespace quillpad {
namespace {

TEST(Latin1Case, LettersPairWithTheByte0x20AboveAndNothingElseHasACase) {
    int pairs = 0;
    for (unsigned b = 0; b < 256; ++b) {
        const auto c = static_cast<char>(b);
        const auto other = static_cast<unsigned char>(Latin1Flip(c));
        EXPECT_EQ(static_cast<unsigned char>(Latin1Flip(static_cast<char>(other))), b) << b;
        const bool upper = (b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7);
        const bool lower = (b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7);
        if (upper) {
            EXPECT_EQ(other, b + 0x20) << b;
            EXPECT_EQ(static_cast<unsigned char>(Latin1Fold(c)), b + 0x20) << b;
            ++pairs;
        } else if (lower) {
            EXPECT_EQ(other, b - 0x20) << b;
            EXPECT_EQ(static_cast<unsigned char>(Latin1Fold(c)), b) << b;
        } else {
            // ß and ÿ have no upper case in Latin-1, × and ÷ no case at all.
            EXPECT_EQ(other, b) << b;
            EXPECT_EQ(static_cast<unsigned char>(Latin1Fold(c)), b) << b;
        }
    }
    EXPECT_EQ(pairs, 26 + 30);
}

}  // namespace
}  // namespace quillpad
