// Rows cut into pieces for the painter: where a piece ends, where it sits,
// and what of it is selected or marked.

#include "view/PaintRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpad {
namespace {

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

struct SShown {
    float x;
    float width;
    std::size_t format;
    std::string text;
    bool selected;
    bool operator==(const SShown&) const = default;
};

std::vector<SShown> Pieces(const SPaintRow& row) {
    std::vector<SShown> out;
    for (const SPaintPiece& p : row.pieces) {
        out.push_back({p.x, p.width, p.format, std::string(p.text), p.selected});
    }
    return out;
}

// Two formats, 10 and 20 wide; the default format's space (10) sets the tabs.
class PaintRows : public ::testing::Test {
  protected:
    PaintRows() {
        document.ApplyFormat(Colour(1));
        document.AppendRun("ab", 0);
        document.ApplyFormat(Colour(2));
        document.AppendRun("cd\tef\r\n", 1);
        document.ApplyFormat(Colour(1));
        document.AppendRun("xyz", 2);
        layout.AddFormat(Table(10));
        layout.AddFormat(Table(10));
        layout.AddFormat(Table(20));
        layout.SetWidth(1000);
    }
    std::vector<SPaintRow> All(std::size_t selStart, std::size_t selEnd) {
        const auto rows = layout.RowsFrom(0, 10);
        return PaintRowsOf(document, layout, rows, selStart, selEnd);
    }
    CDisplayDocument document;
    CLineLayout layout{document};
};

TEST_F(PaintRows, PiecesEndAtRunsAndTabsAndSitWhereTheLayoutPutsThem) {
    const auto rows = All(0, 0);
    ASSERT_EQ(rows.size(), 3u) << "CR and LF each end a line";
    // "ab" 2 x 10, "cd" 2 x 20 up to 60, the tab to 80, "ef" 2 x 20.
    EXPECT_EQ(Pieces(rows[0]), (std::vector<SShown>{{0, 20, 1, "ab", false},
                                                    {20, 40, 2, "cd", false},
                                                    {60, 20, 2, "", false},
                                                    {80, 40, 2, "ef", false}}));
    EXPECT_TRUE(rows[1].pieces.empty());
    EXPECT_EQ(Pieces(rows[2]), (std::vector<SShown>{{0, 30, 1, "xyz", false}}));
    for (const auto& row : rows) {
        EXPECT_EQ(row.breakWidth, 0) << "no selection, no break shown";
    }
}

TEST_F(PaintRows, TheSelectionCutsPiecesAndShowsTheBreaksItHolds) {
    // From "b" to "x": the first row's end and the empty row's break too.
    const auto rows = All(1, 10);
    EXPECT_EQ(Pieces(rows[0]), (std::vector<SShown>{{0, 10, 1, "a", false},
                                                    {10, 10, 1, "b", true},
                                                    {20, 40, 2, "cd", true},
                                                    {60, 20, 2, "", true},
                                                    {80, 40, 2, "ef", true}}));
    EXPECT_EQ(rows[0].breakX, 120);
    EXPECT_EQ(rows[0].breakWidth, 10) << "a space of the default format";
    EXPECT_EQ(rows[1].breakX, 0);
    EXPECT_EQ(rows[1].breakWidth, 10);
    EXPECT_EQ(Pieces(rows[2]),
              (std::vector<SShown>{{0, 10, 1, "x", true}, {10, 20, 1, "yz", false}}));
    EXPECT_EQ(rows[2].breakWidth, 0) << "the text's end is no break";

    // A selection reversed or beyond the end is clamped, never read past.
    const auto past = All(document.Size() - 1, document.Size() + 50);
    EXPECT_EQ(Pieces(past[2]),
              (std::vector<SShown>{{0, 20, 1, "xy", false}, {20, 10, 1, "z", true}}));
}

TEST_F(PaintRows, MarksCutPiecesAcrossRunsRowsAndTheSelection) {
    const auto rows = layout.RowsFrom(0, 10);
    // "bc" over a run's edge, "f\r\nx" over two rows, "z" at the very end.
    const std::vector<STextRange> marks{{1, 3}, {6, 10}, {11, 12}};
    const auto cut = PaintRowsOf(document, layout, rows, 2, 6, marks);
    const auto marked = [](const SPaintRow& row) {
        std::vector<std::pair<std::string, bool>> out;
        for (const SPaintPiece& p : row.pieces) {
            out.emplace_back(std::string(p.text), p.marked);
        }
        return out;
    };
    using Marked = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(marked(cut[0]), (Marked{{"a", false},
                                      {"b", true},
                                      {"c", true},
                                      {"d", false},
                                      {"", false},
                                      {"e", false},
                                      {"f", true}}));
    EXPECT_TRUE(cut[0].pieces[2].selected && cut[0].pieces[2].marked)
        << "selected and marked: the painter shows the selection";
    EXPECT_EQ(marked(cut[2]), (Marked{{"x", true}, {"y", false}, {"z", true}}));
    EXPECT_EQ(cut[2].pieces[2].x, 20) << "places unchanged by the cuts";
    EXPECT_EQ(Pieces(PaintRowsOf(document, layout, rows, 0, 0, {})[0]), Pieces(All(0, 0)[0]));
}

TEST_F(PaintRows, OnlyTheRowsAskedForAreCut) {
    layout.SetWidth(60);  // "ab cd" no longer fits one row
    const auto rows = layout.RowsFrom(0, 10);
    ASSERT_GT(rows.size(), 3u);
    const std::vector<CLineLayout::SRow> second(rows.begin() + 1, rows.begin() + 2);
    const auto cut = PaintRowsOf(document, layout, second, 0, 0);
    ASSERT_EQ(cut.size(), 1u);
    ASSERT_FALSE(cut[0].pieces.empty());
    EXPECT_EQ(cut[0].pieces.front().x, 0) << "a wrapped row starts at the left edge";
    std::size_t from = rows[1].start;
    for (const SPaintPiece& p : cut[0].pieces) {
        if (!p.text.empty()) {
            EXPECT_EQ(p.text.data(), document.Text().data() + from)
                << "pieces point into the text, never copy it";
        }
        from += p.text.empty() ? 1 : p.text.size();
    }
    EXPECT_EQ(from, rows[1].end);
}

}  // namespace
}  // namespace quillpad
