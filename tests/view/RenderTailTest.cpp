// The end of the history as a style draws it: the style editor's preview.

#include "view/RenderTail.h"

#include <gtest/gtest.h>

#include "platform/MessageChannel.h"

namespace quillpad {
namespace {

SStyleRule TextRule(int direction, int code, std::uint32_t colour) {
    SStyleRule r;
    r.Direction_MatchValue = direction;
    r.Format_ApplyColor = true;
    r.CharFormat.crTextColor = colour;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = code;
    return r;
}

class RenderTail : public ::testing::Test {
  protected:
    CQueuedChannel channel;
    CDataStore store{channel};
};

TEST(CountLines, BreaksOfEveryKindAndNoneAtTheEnd) {
    EXPECT_EQ(CountLines(""), 0u);
    EXPECT_EQ(CountLines("a"), 1u);
    EXPECT_EQ(CountLines("a\n"), 1u);
    EXPECT_EQ(CountLines("a\r\nb\rc\nd"), 4u);
    EXPECT_EQ(CountLines("\n\n"), 2u);
    EXPECT_EQ(CountLines("\r\n"), 1u);
}

TEST_F(RenderTail, TheLastLinesWithTheirRunsAndRecords) {
    CStyleScheme scheme;
    scheme.AppendRule(TextRule(1, kFormatText, 255));
    scheme.AppendRule(TextRule(2, kFormatHex, 65535));
    for (int i = 0; i < 50; ++i) {
        store.AddIncomingBytes(0, "in " + std::to_string(i) + "\r\n");
    }
    store.AddOutgoingBytes(0, "AT");
    const CMemorySurface tail = quillpad::RenderTail(store, &scheme, {.lines = 3});
    EXPECT_EQ(tail.text, "in 48\nin 49\n[41h][54h]");
    ASSERT_EQ(tail.runs.size(), 3u);
    EXPECT_EQ(tail.runs[0].sequence, 48u);
    EXPECT_EQ(tail.runs[0].format->crTextColor, 255u);
    EXPECT_EQ(tail.runs[2].start, 12u);
    EXPECT_EQ(tail.runs[2].sequence, 50u);
    EXPECT_EQ(tail.runs[2].format->crTextColor, 65535u);
}

TEST_F(RenderTail, GoesFurtherBackWhileTheStyleHidesTheBreaks) {
    CStyleScheme scheme;
    SStyleRule breaks = TextRule(0, kFormatHide, 0);
    breaks.CharRange_MatchValue = kClassLow;
    scheme.AppendRule(breaks);
    for (int i = 0; i < 40; ++i) {
        store.AddIncomingBytes(0, std::string(1, static_cast<char>('a' + i % 26)) + "\r\n");
    }
    store.AddIncomingBytes(0, "end\rnext\r");
    // The CRs of the old records are hidden, so one line holds them all.
    const CMemorySurface tail = quillpad::RenderTail(store, &scheme, {.lines = 2});
    EXPECT_EQ(tail.text.substr(0, 5), "abcde");
    EXPECT_EQ(tail.text.size(), 40u + 7u);
}

TEST_F(RenderTail, OtherSourcesAndTheBudget) {
    store.AddIncomingBytes(0, "mine\n");
    store.RegisterOwnId(1);
    store.AddIncomingBytes(77, "theirs\n");
    EXPECT_EQ(quillpad::RenderTail(store, nullptr, {.lines = 5}).text, "mine\n");
    EXPECT_EQ(quillpad::RenderTail(store, nullptr, {.lines = 5, .showAllSources = true}).text,
              "mine\ntheirs\n");
    // A line without breaks shows only its end.
    store.AddIncomingBytes(0, std::string(100, 'x') + "tail");
    const CMemorySurface cut =
        quillpad::RenderTail(store, nullptr, {.lines = 5, .byteBudget = 8, .maxChars = 6});
    EXPECT_EQ(cut.text, "xxtail");
    EXPECT_EQ(quillpad::RenderTail(store, nullptr, {.lines = 0}).text, "");
}

}  // namespace
}  // namespace quillpad
