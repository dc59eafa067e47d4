// The one hex digit reader and byte writer of the text files and the typed values.

#include <gtest/gtest.h>

#include <string>

#include "platform/Hex.h"

namespace quillpad {
namespace {

TEST(Hex, EveryByteWrittenIsReadBackAsItself) {
    for (int b = 0; b < 256; ++b) {
        std::string text = "x";
        AppendHexByte(text, static_cast<unsigned char>(b));
        ASSERT_EQ(text.size(), 3u);
        char back = 0;
        ASSERT_TRUE(ReadHexByte(text, 1, back)) << text;
        EXPECT_EQ(static_cast<unsigned char>(back), b) << text;
    }
    std::string text;
    AppendHexByte(text, 0xAF);
    AppendHexByte(text, 0x0A);
    EXPECT_EQ(text, "AF0A") << "upper case, always two digits";
}

TEST(Hex, DigitsOfEitherCaseAndNothingAroundThem) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    // The neighbours of the digit ranges in ASCII.
    for (const char c : {'/', ':', '@', 'G', '`', 'g', ' ', '\0'}) {
        EXPECT_EQ(HexDigitValue(c), -1) << int(c);
        EXPECT_FALSE(IsHexDigit(c)) << int(c);
    }
    char byte = 'z';
    EXPECT_FALSE(ReadHexByte("4", 0, byte)) << "one digit is not a byte";
    EXPECT_FALSE(ReadHexByte("4G", 0, byte));
    EXPECT_FALSE(ReadHexByte("G4", 0, byte));
    EXPECT_FALSE(ReadHexByte("41", 1, byte)) << "the second digit is past the end";
    EXPECT_EQ(byte, 'z') << "a failed read leaves the byte alone";
    EXPECT_TRUE(ReadHexByte("%7f", 1, byte));
    EXPECT_EQ(byte, '\x7f');
}

}  // namespace
}  // namespace quillpad
