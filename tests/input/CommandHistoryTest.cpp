#include "input/CCommandHistory.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

void Type(CCommandHistory& h, std::string_view bytes) {
    for (const char c : bytes) {
        h.RecordTypedChar(c);
    }
}

TEST(CommandHistory, TypedLinesAreGatheredAndCompletedByCrOrLf) {
    CCommandHistory h;
    Type(h, "vex\br\r");
    Type(h, "\r\n");  // empty lines complete nothing
    Type(h, "\b\bst\tat\x1b\n");
    EXPECT_EQ(h.Entries(), (std::vector<ByteString>{"ver", "st\tat\x1b"}));
    EXPECT_TRUE(h.CurrentLine().empty());
    Type(h, "ve");
    EXPECT_EQ(h.CurrentLine(), "ve");
}

TEST(CommandHistory, ANewEntryReplacesItsEqualAndALoneCrIsNotKept) {
    CCommandHistory h;
    Type(h, "ver\rstatus\rVER\r");
    Type(h, "ver\r");
    EXPECT_EQ(h.Entries(), (std::vector<ByteString>{"status", "VER", "ver"}))
        << "equal is byte for byte, case included";
    // A resent line after some typed characters holds both, as the device got them.
    Type(h, "x");
    h.CommitToHistory("status\r");
    EXPECT_EQ(h.Entries().back(), "xstatus\r");
    EXPECT_TRUE(h.CurrentLine().empty());
    h.CommitToHistory("\r");
    EXPECT_EQ(h.Entries().back(), "xstatus\r");
    EXPECT_EQ(h.Entries().size(), 4u);
}

TEST(CommandHistory, PrefixSearchStartsAtTheSecondEntryAndWraps) {
    CCommandHistory h;
    EXPECT_EQ(h.FindPrefix("a"), -1);
    Type(h, "status\rver\rStop\r");
    EXPECT_EQ(h.FindPrefix("ST"), 2) << "from the second entry on, case-insensitive";
    EXPECT_EQ(h.FindPrefix("sta"), 0) << "wrapping round to the first";
    EXPECT_EQ(h.FindPrefix("v"), 1);
    EXPECT_EQ(h.FindPrefix("x"), -1);
}

}  // namespace
}  // namespace quillpad
