// Every match in sight marked while the find bar is open: the marks' places
// across records and directions, after scrolling, a restyle and new records,
// in a record begun above the drawn window, none for hidden bytes or after
// Escape, the pixels painted; and Previous, Next and the marks beyond the
// matches the bar keeps.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "control/qt/CFindBar.h"
#include "data/DataStore.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

class FindMarks : public ::testing::Test {
  protected:
    explicit FindMarks(std::size_t kept = CFindBar::kKeptMatches)
        : store(channel, clock), view(channel, store, settings), bar(store, view, nullptr, kept) {
        view.resize(420, 240);
        view.show();
        channel.DrainPending();
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        SetScheme(schemes[0]);
    }

    void SetScheme(std::shared_ptr<const CStyleScheme> scheme) {
        channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(std::move(scheme)));
        view.FinishIndex();
    }
    void Add(std::string_view bytes, bool outgoing = false) {
        outgoing ? store.AddOutgoingBytes(0, bytes) : store.AddIncomingBytes(0, bytes);
    }
    // The view draws what came (its repaint is coalesced), the count runs to its end.
    void Settle() {
        channel.DrainPending();
        store.EndTurn();  // as the console's turn ends: the find session hears of the records
        QTest::qWait(40);
        // A flood is indexed by the view in slices too.
        for (int turns = 0; (bar.Searching() || view.IsIndexing()) && turns < 10'000; ++turns) {
            QApplication::processEvents();
        }
        ASSERT_FALSE(bar.Searching());
    }
    void Find(const QString& text) {
        bar.Open();
        bar.TextField()->setText(text);
        Settle();
    }
    // A Next or Previous finds its match, however many slices it takes.
    void Move(bool next) {
        next ? bar.Next() : bar.Previous();
        for (int turns = 0; (bar.Moving() || bar.Searching()) && turns < 100'000; ++turns) {
            QApplication::processEvents();
        }
        ASSERT_FALSE(bar.Moving());
    }
    std::string Status() const { return bar.StatusText().toStdString(); }
    // The drawn text of each mark in sight.
    std::vector<std::string> MarkedTexts() {
        std::vector<std::string> texts;
        const std::string_view text = view.Document().Text();
        for (const STextRange& mark : view.MarksInSight()) {
            texts.emplace_back(text.substr(mark.start, mark.end - mark.start));
        }
        return texts;
    }
    std::pair<std::size_t, std::size_t> Selection() const {
        return {view.SelectionStart(), view.SelectionEnd()};
    }

    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CConsoleView view;
    CFindBar bar;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
};

using Strings = std::vector<std::string>;

TEST_F(FindMarks, MarkEveryMatchInSightAcrossRecordsAndDirections) {
    SetScheme(schemes[1]);  // outgoing drawn too
    Add("boot ER");
    Add("ROR: 7\r\n");
    Add("ERR", false);
    Add("xyz", true);
    Add("OR\r\n");
    Find(QStringLiteral("ERROR"));
    EXPECT_EQ(bar.MatchCount(), 1u) << "the outgoing bytes break the second";
    EXPECT_EQ(MarkedTexts(), Strings{"ERROR"}) << "one mark over both records";
    bar.Next();
    const std::vector<STextRange> marks = view.MarksInSight();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(Selection(), std::make_pair(marks[0].start, marks[0].end)) << "the current match";

    bar.DirectionBox()->setCurrentIndex(1);  // incoming only: across the outgoing record
    Settle();
    EXPECT_EQ(bar.MatchCount(), 2u);
    EXPECT_EQ(MarkedTexts(), (Strings{"ERROR", "ERR", "OR"})) << "not the outgoing bytes between";

    bar.ModeBox()->setCurrentIndex(1);  // hex, both directions: "z" out, "O" in
    bar.DirectionBox()->setCurrentIndex(0);
    bar.TextField()->setText(QStringLiteral("7a 4f"));
    Settle();
    EXPECT_EQ(MarkedTexts(), Strings{"zO"});
}

TEST_F(FindMarks, NewRecordsARestyleAndEscape) {
    Add("one ERROR\r\n");
    Find(QStringLiteral("ERROR"));
    EXPECT_EQ(MarkedTexts(), Strings{"ERROR"});

    Add("two ERR");
    Add("OR\r\n");
    Settle();
    EXPECT_EQ(bar.MatchCount(), 2u) << "counted as they come while the bar is open";
    EXPECT_EQ(MarkedTexts(), (Strings{"ERROR", "ERROR"}));

    SetScheme(schemes[2]);  // Hex Mode
    Settle();
    EXPECT_EQ(MarkedTexts(), (Strings{"[45h][52h][52h][4Fh][52h]", "[45h][52h][52h][4Fh][52h]"}));

    QTest::keyClick(bar.TextField(), Qt::Key_Escape);
    EXPECT_EQ(view.FindMarks(), nullptr);
    EXPECT_TRUE(view.MarksInSight().empty());
    bar.Open();
    EXPECT_EQ(MarkedTexts().size(), 2u) << "back with the bar";
}

TEST_F(FindMarks, BytesTheStyleHidesDrawNoMarkButAreFound) {
    // Set A's Normal shows no outgoing records.
    SetScheme(MakeBuiltinSchemes(EBuiltinSet::A)[0]);
    Add("before ");
    Add("SECRET", true);
    Add("after SECRET");
    Find(QStringLiteral("SECRET"));
    EXPECT_EQ(bar.MatchCount(), 2u);
    EXPECT_EQ(MarkedTexts(), Strings{"SECRET"}) << "only the one drawn";
    const std::vector<STextRange> marks = view.MarksInSight();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].start, 13u) << "in \"before after SECRET\"";
}

// Answers as a find bar would and keeps what it was asked.
class CRecordingMarks final : public IFindMarks {
  public:
    std::vector<SByteMark> MarksIn(std::size_t first, std::size_t last) const override {
        asked.emplace_back(first, last);
        std::vector<SByteMark> out;
        for (std::size_t record = first; record <= last; ++record) {
            if (record % 1000 == 7) {
                out.push_back(SByteMark{record, 0, 4});
            }
        }
        return out;
    }
    mutable std::vector<std::pair<std::size_t, std::size_t>> asked;
};

TEST_F(FindMarks, OnlyTheRecordsPaintedAreAskedAboutInALongHistory) {
    for (int i = 0; i < 50'000; ++i) {
        Add("line " + std::to_string(i) + "\r\n");
    }
    channel.DrainPending();
    view.FinishIndex();
    CRecordingMarks marks;
    view.SetFindMarks(&marks);
    const std::string_view text = view.Document().Text();
    const std::size_t far = text.find("line 20007\n");
    ASSERT_NE(far, std::string_view::npos);
    view.ScrollToPosition(far);
    view.ScrollRows(-1);
    marks.asked.clear();
    const std::vector<STextRange> inSight = view.MarksInSight();
    ASSERT_EQ(marks.asked.size(), 1u);
    EXPECT_LE(marks.asked[0].first, 20007u);
    EXPECT_GE(marks.asked[0].second, 20007u);
    EXPECT_LT(marks.asked[0].second - marks.asked[0].first, 40u) << "a screen, not the history";
    ASSERT_EQ(inSight.size(), 1u);
    EXPECT_EQ(inSight[0].start, far);
    EXPECT_EQ(text.substr(inSight[0].start, 4), "line");

    view.ScrollToEnd();
    EXPECT_TRUE(view.MarksInSight().empty()) << "49007 lies above the last screen";
    view.SetFindMarks(nullptr);
}

// How many pixels of each row of the image have the mark's colour.
std::vector<int> MarkPixelsPerRow(const QImage& image, QColor mark, QColor background) {
    const auto blend = [&](int over, int under) {
        return (over * mark.alpha() + under * (255 - mark.alpha())) / 255;
    };
    const QColor expected(blend(mark.red(), background.red()),
                          blend(mark.green(), background.green()),
                          blend(mark.blue(), background.blue()));
    std::vector<int> rows(static_cast<std::size_t>(image.height()), 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - expected.red()) <= 2 &&
                std::abs(c.green() - expected.green()) <= 2 &&
                std::abs(c.blue() - expected.blue()) <= 2) {
                ++rows[static_cast<std::size_t>(y)];
            }
        }
    }
    return rows;
}

TEST_F(FindMarks, PaintedOnTheRowsOfTheMatchesOnly) {
    Add("aaaa\r\nbbXYbb\r\ncccc\r\nXYdd\r\n");
    Find(QStringLiteral("XY"));
    ASSERT_EQ(bar.MatchCount(), 2u);
    ASSERT_EQ(view.SelectionStart(), view.SelectionEnd()) << "no current match yet";
    QColor mark = view.palette().color(QPalette::Highlight);
    mark.setAlpha(CConsoleView::kMarkAlpha);
    const std::vector<int> rows =
        MarkPixelsPerRow(view.viewport()->grab().toImage(), mark, view.Background());
    // Two bands of marked rows: text rows 1 and 3, one row high.
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        if (rows[static_cast<std::size_t>(y)] == 0) {
            continue;
        }
        if (!bands.empty() && bands.back().second == y) {
            bands.back().second = y + 1;
        } else {
            bands.emplace_back(y, y + 1);
        }
    }
    ASSERT_EQ(bands.size(), 2u);
    const int rowHeight = bands[0].second - bands[0].first;
    EXPECT_EQ(bands[0].first, rowHeight) << "the second row";
    EXPECT_EQ(bands[1].first, 3 * rowHeight) << "the fourth row";
    EXPECT_EQ(bands[1].second - bands[1].first, rowHeight);

    QTest::keyClick(bar.TextField(), Qt::Key_Escape);
    const std::vector<int> after =
        MarkPixelsPerRow(view.viewport()->grab().toImage(), mark, view.Background());
    EXPECT_EQ(std::count(after.begin(), after.end(), 0), static_cast<long>(after.size()));
}

TEST(FindMarksOwnership, TheViewAndTheBarGoInEitherOrder) {
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store(channel, clock);
    SViewSettings settings;
    for (const bool viewFirst : {true, false}) {
        QWidget window;
        auto* view = new CConsoleView(channel, store, settings, &window);
        auto* bar = new CFindBar(store, *view, &window);
        bar->Open();
        EXPECT_EQ(view->FindMarks(), &bar->Session());
        if (viewFirst) {
            delete view;  // the bar, a later sibling, outlives it
        } else {
            delete bar;
            EXPECT_EQ(view->FindMarks(), nullptr) << "not left pointing at a gone bar";
        }
    }
}

TEST_F(FindMarks, ARecordBegunAboveTheDrawnWindowIsMarkedWhereItsBytesAre) {
    // One line of 120,000 characters, and a record of 3,000 lines: the view
    // draws either from a point inside the record, far into it.
    std::string line(120'000, '.');
    line.replace(70'000, 6, "NEEDLE");
    Add(line + "\r\n");
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += (i == 2500 ? "NEEDLE " : "line ") + std::to_string(i) + "\r\n";
    }
    Add(lines);
    Find(QStringLiteral("NEEDLE"));
    ASSERT_EQ(bar.MatchCount(), 2u);
    const std::string_view text = view.Document().Text();
    for (const std::size_t at : {text.find("NEEDLE"), text.find("NEEDLE 2500")}) {
        view.ScrollToPosition(at);
        view.ScrollRows(-1);
        const std::vector<STextRange> marks = view.MarksInSight();
        ASSERT_GT(view.Window().Place().offset, 0u) << "drawn from inside the record";
        ASSERT_EQ(marks.size(), 1u) << at;
        EXPECT_EQ(marks[0].start, at);
        EXPECT_EQ(marks[0].end, at + 6);
    }
}

class FindBeyondKept : public FindMarks {
  protected:
    FindBeyondKept() : FindMarks(3) {}
};

TEST_F(FindBeyondKept, PreviousGoesOnBeyondTheKeptMatches) {
    for (int i = 0; i < 8; ++i) {
        Add("ok\r\n");
        Add("ERROR " + std::to_string(i) + "\r\n");
    }
    for (int i = 0; i < 40; ++i) {
        Add("ok\r\n");  // more than a screen, to scroll in
    }
    Find(QStringLiteral("ERROR"));
    ASSERT_EQ(bar.MatchCount(), 8u);
    CBytePattern pattern(SFindQuery{"ERROR", EFindMode::Text, false, 0});
    const std::vector<SFindMatch> all = FindAll(store, pattern);
    ASSERT_EQ(all.size(), 8u);
    // From the end (the view follows it) back through all eight, then round.
    for (int i = 7; i >= 0; --i) {
        bar.Previous();
        Settle();
        ASSERT_TRUE(bar.Current()) << i;
        EXPECT_EQ(*bar.Current(), all[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(bar.StatusText().toStdString(), std::to_string(i + 1) + " of 8");
    }
    bar.Previous();
    Settle();
    EXPECT_EQ(*bar.Current(), all[7]);
    EXPECT_EQ(bar.StatusText().toStdString(), "8 of 8 (passed the start, on from the last)");

    // From a place in the view: the last match above its top.
    bar.TextField()->setText(QStringLiteral("ERROR "));
    Settle();
    const std::size_t top = view.Document().Text().find("ok\n", view.Document().Text().find("6"));
    view.ScrollToPosition(top);
    ASSERT_EQ(view.Document().SequenceAt(view.TopPosition()), 14u);
    bar.Previous();
    Settle();
    ASSERT_TRUE(bar.Current());
    EXPECT_EQ(bar.Current()->historyOffset, all[6].historyOffset) << "ERROR 6, in record 13";
    EXPECT_EQ(bar.StatusText().toStdString(), "one past the first 3 of 8");
    EXPECT_EQ(view.SelectedText().toStdString(), "ERROR ");
}

TEST_F(FindBeyondKept, NextGoesOnBeyondTheKeptMatchesAndWrapsAtTheTrueEnd) {
    for (int i = 0; i < 8; ++i) {
        Add("ok\r\n");
        Add("ERR");
        Add("OR " + std::to_string(i) + "\r\n");  // each across two records
    }
    Find(QStringLiteral("ERROR"));
    ASSERT_EQ(bar.MatchCount(), 8u);
    const std::vector<SFindMatch> all =
        FindAll(store, CBytePattern(SFindQuery{"ERROR", EFindMode::Text, false, 0}));
    ASSERT_EQ(all.size(), 8u);
    // From the first (the view follows the end) through all eight in order.
    for (std::size_t i = 0; i < 8; ++i) {
        Move(true);
        ASSERT_TRUE(bar.Current()) << i;
        EXPECT_EQ(*bar.Current(), all[i]) << i;
        EXPECT_EQ(Status(), std::to_string(i + 1) + " of 8");
        EXPECT_EQ(view.SelectedText().toStdString(), "ERROR") << i;
    }
    Move(true);
    EXPECT_EQ(*bar.Current(), all[0]) << "round only after the real last";
    EXPECT_EQ(Status(), "1 of 8 (passed the end, on from the first)");

    // Next then Previous agree, past the kept ones and across their edge.
    for (std::size_t i = 1; i < 8; ++i) {
        Move(true);
        ASSERT_EQ(*bar.Current(), all[i]);
        Move(false);
        EXPECT_EQ(*bar.Current(), all[i - 1]) << i;
        EXPECT_EQ(Status(), std::to_string(i) + " of 8");
        Move(true);
        EXPECT_EQ(*bar.Current(), all[i]) << i;
        EXPECT_EQ(Status(), std::to_string(i + 1) + " of 8");
    }
}

TEST_F(FindBeyondKept, NextFromAPlaceFarBeyondTheKeptMatchesKnowsWhichMatchItIs) {
    // About 6 MB, so the count goes in many steps: a match every 25th record.
    std::string filler;
    while (filler.size() < 4000) {
        filler += "status ok 0123456789\r\n";
    }
    std::size_t records = 0;
    for (; records * filler.size() < (std::size_t{6} << 20); ++records) {
        Add(records % 25 == 12 ? filler + "ERROR " + std::to_string(records) + "\r\n" : filler);
    }
    Find(QStringLiteral("ERROR"));
    const std::vector<SFindMatch> all =
        FindAll(store, CBytePattern(SFindQuery{"ERROR", EFindMode::Text, false, 0}));
    ASSERT_EQ(bar.MatchCount(), all.size());
    const std::string total = " of " + std::to_string(all.size());
    ASSERT_GT(all.size(), 50u);
    // At the edge of the kept ones, and far beyond them.
    for (const std::size_t top : {std::size_t{40}, std::size_t{all[all.size() / 2].sequence - 5},
                                  std::size_t{all[all.size() - 3].sequence - 5}}) {
        bar.TextField()->setText(QStringLiteral("ERRO"));  // afresh: no match shown
        bar.TextField()->setText(QStringLiteral("ERROR"));
        Settle();
        view.ScrollToPosition(view.Document().FirstPositionOf(top));
        ASSERT_EQ(view.Document().SequenceAt(view.TopPosition()), top);
        Move(true);
        const auto expected = std::find_if(
            all.begin(), all.end(), [top](const SFindMatch& m) { return m.sequence >= top; });
        ASSERT_NE(expected, all.end());
        ASSERT_TRUE(bar.Current()) << top;
        EXPECT_EQ(*bar.Current(), *expected) << top;
        const std::size_t ordinal = static_cast<std::size_t>(expected - all.begin()) + 1;
        EXPECT_EQ(Status(), std::to_string(ordinal) + total) << top;
        Move(true);
        EXPECT_EQ(Status(), std::to_string(ordinal + 1) + total);
        Move(false);
        EXPECT_EQ(*bar.Current(), *expected) << "back where it was";
        EXPECT_EQ(Status(), std::to_string(ordinal) + total);
    }
    // From the last, round to the first.
    while (*bar.Current() != all.back()) {
        Move(true);
    }
    EXPECT_EQ(Status(), std::to_string(all.size()) + total);
    Move(true);
    EXPECT_EQ(*bar.Current(), all.front());
    EXPECT_EQ(Status(), "1" + total + " (passed the end, on from the first)");
}

class FindBeyondFive : public FindMarks {
  protected:
    FindBeyondFive() : FindMarks(5) {}
};

TEST_F(FindBeyondFive, MarksBeyondTheKeptMatchesAreAtExactlyTheirBytes) {
    for (int i = 0; i < 50; ++i) {
        Add("ok " + std::to_string(i) + "\r\n");
        Add("an ERR");
        Add("OR " + std::to_string(i) + " here\r\n");
    }
    for (int i = 0; i < 40; ++i) {
        Add("ok\r\n");
    }
    Find(QStringLiteral("ERROR"));
    ASSERT_EQ(bar.MatchCount(), 50u);
    const std::string_view text = view.Document().Text();
    // Match 40 at the top: it and the ones after it in sight, each marked
    // over its five characters and nothing else.
    const std::size_t at = text.find("ERROR 39 ");
    view.ScrollToPosition(text.rfind("ok", at));
    const std::vector<STextRange> marks = view.MarksInSight();
    ASSERT_GE(marks.size(), 3u);
    for (std::size_t k = 0; k < marks.size(); ++k) {
        const std::size_t expected = text.find("ERROR " + std::to_string(39 + k) + " ");
        EXPECT_EQ(marks[k].start, expected) << k;
        EXPECT_EQ(marks[k].end, expected + 5) << k;
    }
    // Scrolling on takes the marks on; back above the kept ones' end too.
    view.ScrollRows(3);
    EXPECT_EQ(view.MarksInSight().front().start, text.find("ERROR 40 "));
    view.ScrollToPosition(text.rfind("ok", text.find("ERROR 3 ")));
    EXPECT_EQ(view.MarksInSight().front().start, text.find("ERROR 3 "));
    EXPECT_EQ(view.MarksInSight()[3].start, text.find("ERROR 6 ")) << "the kept and the others";
}

TEST_F(FindBeyondFive, AMarkBeyondTheKeptMatchesFollowsTheCountsMatches) {
    // "a\r\na" across two lines: the count takes the one that starts on the
    // line above the view's top, so the top line holds only its last byte,
    // not a match of its own that a search from its start would find.
    for (int i = 0; i < 8; ++i) {
        Add("za\r\naz\r\n");
    }
    Add("za\r\n");
    Add("a\r\na\r\n");
    for (int i = 0; i < 40; ++i) {
        Add("ok\r\n");
    }
    Find(QStringLiteral("a\\r\\na"));
    ASSERT_EQ(bar.MatchCount(), 9u);
    view.ScrollToPosition(view.Document().FirstPositionOf(9));
    ASSERT_EQ(view.Document().SequenceAt(view.TopPosition()), 9u);
    EXPECT_EQ(MarkedTexts(), Strings{"a"});
    EXPECT_EQ(view.MarksInSight().front().start, view.TopPosition());
}

}  // namespace
}  // namespace quillpad
