// Line stamps and gap stamps drawn from the records behind the text.

#include "view/StampColumn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/CDisplayWindow.h"

namespace quillpad {
namespace {

using SRow = CLineLayout::SRow;

class StampColumn : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }

    // Adds `bytes` as a record at `tick`.
    void At(std::uint32_t tick, std::string_view bytes) {
        m_clock.SetTick(tick);
        m_store.AddIncomingBytes(0, bytes);
    }

    CLineIndex& Index(SLineIndexSpacing spacing = {}) {
        m_index = std::make_unique<CLineIndex>(nullptr, false, spacing);
        EXPECT_TRUE(m_index->Build(m_store));
        m_window.SetIndex(m_index.get());
        return *m_index;
    }

    std::vector<std::string> Stamps(EStampMode mode, std::vector<SRow> rows, bool gaps = false,
                                    std::uint32_t gapMs = kDefaultGapMs) {
        SStampRequest request;
        request.mode = mode;
        request.base = STimeBase{m_store.StartTime(), m_store.StartTick()};
        request.gaps = gaps;
        request.gapMs = gapMs;
        for (SRow& row : rows) {
            row = m_window.Local(row);
        }
        SStampLead lead;
        lead.firstLineWhole = m_window.FirstLineWhole();
        lead.atTextStart = m_window.Start() == 0;
        return RowStamps(
            request, m_window.Document(), lead, rows, m_store, [this](std::size_t lineStart) {
                return PreviousLineTick(*m_index, m_store, m_window.Start() + lineStart);
            });
    }

    // 2024-03-05 14:07:09 UTC, tick 5000.
    CManualClock m_clock{5000, 1709647629};
    CQueuedChannel m_channel;
    CDataStore m_store{m_channel, m_clock};
    std::unique_ptr<CLineIndex> m_index;
    CDisplayWindow m_window{m_store};
};

TEST_F(StampColumn, EachLineIsStampedFromTheRecordThatStartsIt) {
    At(5100, "one\n");
    At(5350, "tw");
    At(5900, "o\nthree\n");  // "three" starts inside the record of 5900
    Index();
    m_window.SetWidth(100);
    const std::vector<SRow> rows = m_window.RowsFrom(0, 4);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Stamps(EStampMode::SinceStart, rows),
              (std::vector<std::string>{"+0.100 ", "+0.350 ", "+0.900 ", ""}))
        << "the empty last line has no record yet";
    EXPECT_EQ(Stamps(EStampMode::SincePrevious, rows),
              (std::vector<std::string>{"+0.000 ", "+0.250 ", "+0.550 ", ""}));
    EXPECT_EQ(Stamps(EStampMode::Absolute, rows),
              (std::vector<std::string>{"14:07:09.100 ", "14:07:09.350 ", "14:07:09.900 ", ""}));
    EXPECT_EQ(Stamps(EStampMode::Off, rows), (std::vector<std::string>(4)));
}

TEST_F(StampColumn, AWrappedLineIsStampedOnce) {
    At(6000, "aaaa bbbb cccc dddd\n");
    At(6500, "e\n");
    Index();
    m_window.SetWidth(5);
    const std::vector<SRow> rows = m_window.RowsFrom(0, 6);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(Stamps(EStampMode::SinceStart, rows),
              (std::vector<std::string>{"+1.000 ", "", "", "", "+1.500 ", ""}));
}

TEST_F(StampColumn, StampsSwitchedOnLaterShowTheDataTimes) {
    At(5200, "early\n");
    At(5400, "later\n");
    m_clock.SetTick(90000);  // much later, the user switches stamps on
    m_clock.SetCalendarSeconds(1709647629 + 85);
    Index();
    m_window.SetWidth(100);
    EXPECT_EQ(Stamps(EStampMode::Absolute, m_window.RowsFrom(0, 2)),
              (std::vector<std::string>{"14:07:09.200 ", "14:07:09.400 "}));
}

TEST_F(StampColumn, SinceThePreviousLineReachesBackPastTheWindow) {
    // A first line far longer than the checkpoint spacing, then short ones:
    // a window drawn at the end does not hold the long line's start.
    At(7000, std::string(20000, 'x'));
    At(7010, std::string(20000, 'y') + "\n");
    At(7300, "short\n");
    At(7310, "next\n");
    CLineIndex& index = Index(SLineIndexSpacing{4, 1024, 512});
    m_window.SetWidth(80);
    const std::vector<SRow> rows = m_window.LastRows(3);
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_GT(m_window.Start(), 0u) << "the window must not reach the long line's start";
    EXPECT_EQ(*PreviousLineTick(index, m_store, 40001), 7000u);
    EXPECT_EQ(Stamps(EStampMode::SincePrevious, rows),
              (std::vector<std::string>{"+0.300 ", "+0.010 ", ""}));
    EXPECT_FALSE(PreviousLineTick(index, m_store, 0).has_value());
}

TEST_F(StampColumn, GapsStartAtOneMillisecondPastTheThreshold) {
    At(6000, "AA");
    At(6100, "BB");  // exactly 100 ms: no gap
    At(6201, "CC");  // 101 ms: a gap
    At(6202, "DD");
    At(6303, "EE");
    Index();
    m_window.SetWidth(1000);
    m_window.RowsFrom(0, 1);
    EXPECT_EQ(GapStarts(m_window.Document(), 0, 10, m_store, 100),
              (std::vector<std::size_t>{4, 8}));
    EXPECT_EQ(GapStarts(m_window.Document(), 5, 10, m_store, 100), (std::vector<std::size_t>{8}));
    EXPECT_EQ(GapStarts(m_window.Document(), 0, 10, m_store, 101), (std::vector<std::size_t>{}));
    EXPECT_EQ(GapStarts(m_window.Document(), 0, 10, m_store, 10),
              (std::vector<std::size_t>{2, 4, 8}));

    // Laid out with gap breaks, each burst starts a row with its stamp.
    m_window.SetRowBreaks([this](std::size_t from, std::size_t to) {
        return GapStarts(m_window.Document(), from, to, m_store, 100);
    });
    const std::vector<SRow> rows = m_window.RowsFrom(0, 5);
    ASSERT_EQ(rows, (std::vector<SRow>{{0, 4}, {4, 8}, {8, 10}}));
    EXPECT_EQ(Stamps(EStampMode::SinceStart, rows, true, 100),
              (std::vector<std::string>{"+1.000 ", "+1.201 ", "+1.303 "}));
}

TEST_F(StampColumn, TextWithoutLinesIsToldByItsStyle) {
    EXPECT_TRUE(DrawsLineEnds(nullptr));
    EXPECT_FALSE(UsesGapStamps(nullptr));
    bool sawHex = false;
    for (const auto& scheme : MakeBuiltinSchemes(EBuiltinSet::B)) {
        const bool hex = scheme->Name == "Hex Mode";
        sawHex = sawHex || hex;
        EXPECT_EQ(UsesGapStamps(scheme.get()), hex) << scheme->Name;
    }
    EXPECT_TRUE(sawHex);
}

}  // namespace
}  // namespace quillpad
