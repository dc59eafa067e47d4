#include "nxr/CNxrAsciiTransfer.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

TEST(AsciiTransfer, UnpacedSendGoesInChunksUnchanged) {
    ByteString data(CNxrAsciiSender::kChunk * 2 + 10, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    CNxrAsciiSender sender(data, {}, 0);
    ByteString out;
    int calls = 0;
    while (!sender.Done() && calls < 10) {
        out += sender.Next(0);
        ++calls;
    }
    EXPECT_EQ(out, data);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(sender.Next(0), "");
}

TEST(AsciiTransfer, PacingPausesAfterLinesAndCharacters) {
    CNxrAsciiSender lines("ab\r\ncd\ref\n", {.lineDelayMs = 50}, 0);
    EXPECT_EQ(lines.Next(0), "ab\r\n");
    EXPECT_EQ(lines.Next(49), "");
    EXPECT_EQ(lines.NextDeadline(), 50u);
    EXPECT_EQ(lines.Next(50), "cd\r");
    EXPECT_EQ(lines.Next(100), "ef\n");
    EXPECT_TRUE(lines.Done());

    CNxrAsciiSender chars("x\ny", {.charDelayMs = 5, .lineDelayMs = 20}, 0);
    EXPECT_EQ(chars.Next(0), "x");
    EXPECT_EQ(chars.Next(4), "");
    EXPECT_EQ(chars.Next(5), "\n");
    EXPECT_EQ(chars.NextDeadline(), 30u);
    EXPECT_EQ(chars.Next(30), "y");
    EXPECT_EQ(chars.BytesDone(), 3u);

    // A line whose write was held up pauses from the write on.
    CNxrAsciiSender late("ab\ncd", {.lineDelayMs = 50}, 0);
    EXPECT_EQ(late.Next(0), "ab\n");
    late.Sent(7);
    EXPECT_EQ(late.Next(50), "");
    EXPECT_EQ(late.NextDeadline(), 57u);
    EXPECT_EQ(late.Next(57), "cd");
}

TEST(AsciiTransfer, ReceiveKeepsEveryByte) {
    CNxrAsciiReceiver receiver;
    receiver.Feed(ByteString("a\0\xFF", 3));
    receiver.Feed("b");
    EXPECT_EQ(receiver.TakeData(), ByteString("a\0\xFF"
                                              "b",
                                              4));
    EXPECT_EQ(receiver.TakeData(), "");
    EXPECT_EQ(receiver.BytesDone(), 4u);
}

}  // namespace
}  // namespace quillpad
