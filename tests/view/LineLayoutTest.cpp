#include "view/CLineLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpad {
namespace {

using SRow = CLineLayout::SRow;

CLineLayout::AdvanceTable Table(float printable) {
    CLineLayout::AdvanceTable t;
    t.fill(printable);
    return t;
}

SCharFormat Colour(std::uint32_t c) {
    SCharFormat f;
    f.crTextColor = c;
    return f;
}

// Every row of the text, as the text it holds.
std::vector<std::string> Rows(const CLineLayout& layout, const CDisplayDocument& document) {
    std::vector<std::string> out;
    for (const SRow& r : layout.RowsFrom(0, document.Size() + 1)) {
        out.emplace_back(document.Text().substr(r.start, r.end - r.start));
    }
    return out;
}

// A document of one format where every printable byte is 10 wide.
class LineLayout : public ::testing::Test {
  protected:
    LineLayout() { layout.AddFormat(Table(10)); }
    void Show(std::string_view text, float width) {
        document.Clear();
        document.AppendRun(text, 0);
        layout.SetWidth(width);
    }
    CDisplayDocument document;
    CLineLayout layout{document};
};

TEST_F(LineLayout, RowsWrapAfterTheLastSpaceThatFitsAndCutWordsWiderThanARow) {
    Show("alpha beta gamma", 100);
    EXPECT_EQ(Rows(layout, document), (std::vector<std::string>{"alpha ", "beta gamma"}))
        << "a row exactly as wide as the window still fits";
    layout.SetWidth(99);
    EXPECT_EQ(Rows(layout, document), (std::vector<std::string>{"alpha ", "beta ", "gamma"}));
    layout.SetWidth(1000);
    EXPECT_EQ(Rows(layout, document), (std::vector<std::string>{"alpha beta gamma"}));

    Show("ab abcdefghij", 40);
    EXPECT_EQ(Rows(layout, document), (std::vector<std::string>{"ab ", "abcd", "efgh", "ij"}));
    layout.SetWidth(1);
    EXPECT_EQ(layout.Width(), 40) << "never narrower than four spaces";
}

TEST_F(LineLayout, BreaksAndControlBytesTakeNoRoom) {
    Show("ab\r\ncd\ref", 1000);
    EXPECT_EQ(layout.RowsFrom(0, 10), (std::vector<SRow>{{0, 2}, {3, 3}, {4, 6}, {7, 9}}))
        << "CR and LF each end a line; a row ends before its break";
    EXPECT_EQ(layout.Measure(0, 4, 0), 20);

    CDisplayDocument doc;
    CLineLayout wide(doc);
    wide.AddFormat(Table(5));  // the table claims room for the controls too
    doc.AppendRun(
        "a\x01\x1b\x7f\x9f"
        "b",
        0);
    EXPECT_EQ(wide.Measure(0, doc.Size(), 0), 10);
    EXPECT_TRUE(wide.UsesUniformAdvance());
    EXPECT_EQ(wide.HitTest({0, doc.Size()}, 5, false), 5u)
        << "a byte without room is never under the pointer";
}

TEST_F(LineLayout, TabsStopAtMultiplesOfEightSpacesFromTheRowStart) {
    Show("a\tb", 1000);
    EXPECT_EQ(layout.Measure(0, 3, 0), 10 + 70 + 10);
    EXPECT_EQ(layout.Measure(1, 2, 80), 80) << "a tab at a stop goes to the next";
    EXPECT_EQ(layout.Measure(1, 2, 79), 1);
    EXPECT_EQ(layout.TabStop(0), 80);
    EXPECT_EQ(layout.HitTest({0, 3}, 79, false), 1u);
    EXPECT_EQ(layout.HitTest({0, 3}, 80, false), 2u);

    // At 90 the tab would run to 160: past the edge, so the row breaks
    // after the space and the tab starts the next row, 80 wide.
    Show("abcdefgh \tz", 100);
    EXPECT_EQ(Rows(layout, document), (std::vector<std::string>{"abcdefgh ", "\tz"}));
    EXPECT_EQ(layout.Measure(9, 11, 0), 90);
}

TEST_F(LineLayout, HitTestingAtEdgesBetweenCharactersAndPastTheEnd) {
    Show("abc", 1000);
    const SRow row{0, 3};
    EXPECT_EQ(layout.HitTest(row, -30, false), 0u);
    EXPECT_EQ(layout.HitTest(row, 0, false), 0u);
    EXPECT_EQ(layout.HitTest(row, 9.9f, false), 0u);
    EXPECT_EQ(layout.HitTest(row, 10, false), 1u) << "a cell's left edge is its own";
    EXPECT_EQ(layout.HitTest(row, 29.9f, false), 2u);
    EXPECT_EQ(layout.HitTest(row, 30, false), 3u) << "past the last character: the row's end";
    EXPECT_EQ(layout.HitTest(row, 5000, false), 3u);
    // Caret positions: the nearer edge of the cell.
    EXPECT_EQ(layout.HitTest(row, 4.9f, true), 0u);
    EXPECT_EQ(layout.HitTest(row, 5, true), 1u);
    EXPECT_EQ(layout.HitTest(row, 26, true), 3u);
    EXPECT_EQ(layout.HitTest({1, 3}, 15, false), 2u) << "distances count from the row's start";
}

TEST_F(LineLayout, EachFormatIsMeasuredWithItsOwnAdvances) {
    CDisplayDocument doc;
    CLineLayout mixed(doc);
    doc.ApplyFormat(Colour(1));
    doc.AppendRun("aa", 0);
    doc.ApplyFormat(Colour(2));
    doc.AppendRun("bbb", 0);
    mixed.AddFormat(Table(10));  // the default
    mixed.AddFormat(Table(10));
    EXPECT_TRUE(mixed.UsesUniformAdvance());
    mixed.AddFormat(Table(20));
    EXPECT_FALSE(mixed.UsesUniformAdvance());
    mixed.SetWidth(50);
    EXPECT_EQ(mixed.Measure(0, 5, 0), 80);
    EXPECT_EQ(mixed.Measure(1, 4, 0), 50) << "a measure may start and end inside runs";
    EXPECT_EQ(mixed.HitTest({0, 5}, 25, false), 2u);
    EXPECT_EQ(mixed.HitTest({0, 5}, 45, false), 3u);
    EXPECT_EQ(mixed.RowsFrom(0, 5), (std::vector<SRow>{{0, 3}, {3, 5}}));

    // One byte narrower in one format is enough to leave the shared advance.
    CLineLayout::AdvanceTable odd = Table(10);
    odd[0xE9] = 9;
    mixed.ClearFormats();
    mixed.AddFormat(Table(10));
    mixed.AddFormat(odd);
    EXPECT_FALSE(mixed.UsesUniformAdvance());
}

TEST_F(LineLayout, ChunksOfAVeryLongLineEachStartARowAndRowWalksStopAtTheEnds) {
    std::string line;
    while (line.size() < 3 * CLineLayout::kChunk + 100) {
        line += "word ";
    }
    Show(line, 230);
    constexpr std::size_t kChunk = CLineLayout::kChunk;
    EXPECT_EQ(layout.RowStartOf(kChunk), kChunk) << "even in the middle of a word";
    EXPECT_EQ(layout.RowStartOf(kChunk + 3), kChunk);
    const std::vector<SRow> rows = layout.RowsFrom(kChunk - 1, 2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].end, kChunk) << "the last row of a chunk ends at its edge";
    EXPECT_EQ(rows[1].start, kChunk);
    EXPECT_EQ(layout.MoveRows(kChunk, -1), rows[0].start);
    EXPECT_EQ(layout.MoveRows(rows[0].start, 1), kChunk);
    const std::vector<SRow> last = layout.LastRows(2);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[1].end, line.size());
    EXPECT_EQ(last[0].end, last[1].start);
    EXPECT_GE(last[1].start, 3 * kChunk);

    Show("one\ntwo\nthree", 1000);
    EXPECT_EQ(layout.MoveRows(4, -5), 0u);
    EXPECT_EQ(layout.MoveRows(4, 100), 8u);
    EXPECT_EQ(layout.MoveRows(5, 1), 8u) << "counted from the row holding the position";
    EXPECT_EQ(layout.LastRows(10), (std::vector<SRow>{{0, 3}, {4, 7}, {8, 13}}));
    EXPECT_EQ(layout.RowsFrom(document.Size(), 5), (std::vector<SRow>{{8, 13}}));
    EXPECT_EQ(layout.RowsFrom(0, 0), std::vector<SRow>{});

    CDisplayDocument empty;
    CLineLayout nothing(empty);
    EXPECT_EQ(nothing.RowsFrom(0, 3), (std::vector<SRow>{{0, 0}}));
    EXPECT_EQ(nothing.LastRows(3), (std::vector<SRow>{{0, 0}}));
}

}  // namespace
}  // namespace quillpad
