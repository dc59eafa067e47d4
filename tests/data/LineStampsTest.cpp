#include "data/LineStamps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace quillpad {
namespace {

class LineStamps : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

// 2024-03-05 14:07:09 UTC.
constexpr std::int64_t kMarch5 = 1709647629;

TEST_F(LineStamps, EachFormAgainstKnownTicks) {
    const STimeBase base{kMarch5, 500000};
    EXPECT_EQ(StampOf(EStampMode::Absolute, 561500, std::nullopt, base), "14:08:10.500 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 500007, std::nullopt, base), "14:07:09.007 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 561537, std::nullopt, base), "+61.537 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 500000, std::nullopt, base), "+0.000 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 561537, 561500, base), "+0.037 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 561537, std::nullopt, base), "+0.000 ")
        << "the first line has no previous one";
    EXPECT_EQ(StampOf(EStampMode::Off, 561537, 1, base), "");
}

TEST_F(LineStamps, ATickCounterThatWrapsStillCountsForward) {
    // The console started 0.5 s before the 32-bit millisecond counter wrapped.
    const STimeBase base{kMarch5, 0xFFFFFE0Cu};
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 1000, std::nullopt, base), "+1.500 ");
    EXPECT_EQ(StampOf(EStampMode::SincePrevious, 250, 0xFFFFFF9Cu, base), "+0.350 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 1000, std::nullopt, base), "14:07:10.500 ");
    // The widest span there is still fits the column.
    EXPECT_EQ(FormatSpanStamp(0xFFFFFFFFu), "+4294967.295 ");
    EXPECT_EQ(FormatSpanStamp(0xFFFFFFFFu).size(), kStampColumnChars);
}

TEST_F(LineStamps, ALogFromAnotherDayShowsItsOwnTimes) {
    // A log recorded on 2021-12-31 from 23:59:59 on: its lines cross midnight.
    const STimeBase logBase{1640995199, 70000};
    EXPECT_EQ(StampOf(EStampMode::Absolute, 70999, std::nullopt, logBase), "23:59:59.999 ");
    EXPECT_EQ(StampOf(EStampMode::Absolute, 71000, std::nullopt, logBase), "00:00:00.000 ");
    EXPECT_EQ(StampOf(EStampMode::SinceStart, 71000, std::nullopt, logBase), "+1.000 ");
}

TEST_F(LineStamps, GapStampsStartABurstOnALineOfItsOwn) {
    CGapStamps gaps(EStampMode::SincePrevious, STimeBase{0, 0}, 100);
    std::string out;
    gaps.Append(out, "[01h]", 1000);
    gaps.Append(out, "[02h]", 1100);  // at the threshold: the same burst
    gaps.Append(out, "", 1500);       // draws nothing, so is not there
    gaps.Append(out, "[0Ah]\n", 1201);
    gaps.Append(out, "[03h]", 1302);  // past it, at a line start already
    gaps.Append(out, "[04h]", 1303);
    EXPECT_EQ(out, "+0.000 [01h][02h]\n+0.201 [0Ah]\n+0.101 [03h][04h]");

    // Off follows the bursts, so a form chosen later measures from the last.
    CGapStamps later(EStampMode::Off, STimeBase{0, 0}, 100);
    out.clear();
    later.Append(out, "x", 0xFFFFFFF0u);
    later.Follow("y", 0xFFFFFFF8u);
    later.SetMode(EStampMode::SincePrevious);
    later.Append(out, "z", 200);  // a gap across the wrap; 216 ms since the burst began
    EXPECT_EQ(out, "x\n+0.216 z");
}

TEST_F(LineStamps, AStreamOfLinesMeasuresFromTheLineBefore) {
    CLineStamper stamper(EStampMode::SincePrevious, STimeBase{0, 0});
    EXPECT_EQ(stamper.Next(100), "+0.000 ");
    EXPECT_EQ(stamper.Next(350), "+0.250 ");
    EXPECT_EQ(stamper.Next(350), "+0.000 ");
    CLineStamper fromMiddle(EStampMode::SincePrevious, STimeBase{0, 0});
    fromMiddle.SetPrevious(1000);
    EXPECT_EQ(fromMiddle.Next(3500), "+2.500 ");
}

// Each piece of text is a record of the tick beside it.
std::string Stamped(CLineStartStamps& lines,
                    std::initializer_list<std::pair<std::uint32_t, std::string_view>> records) {
    std::string out;
    for (const auto& [tick, text] : records) {
        lines.Append(out, text, tick);
    }
    return out;
}

TEST_F(LineStamps, TextIsStampedAtEachLineStartFromTheRecordThatStartsTheLine) {
    CLineStartStamps lines(EStampMode::SinceStart, STimeBase{kMarch5, 1000});
    EXPECT_EQ(Stamped(lines, {{1100, "one\r\ntwo\rthree\nfo"}, {1350, "ur"}, {1900, "\n"}}),
              "+0.100 one\r\n+0.100 two\r+0.100 three\n+0.100 four\n")
        << "CR LF, CR and LF each end one line; a trailing break opens no stamp";
    EXPECT_TRUE(lines.AtLineStart());
    EXPECT_EQ(Stamped(lines, {{2500, ""}, {2600, "five\r"}, {2700, "\nsix"}}),
              "+1.600 five\r\n+1.700 six")
        << "an empty record starts nothing; the LF after a record's CR is the same line end";
    EXPECT_EQ(Stamped(lines, {{2800, "\n\n"}}), "\n+1.800 \n") << "an empty line is a line";
}

TEST_F(LineStamps, TextStampsTakeEachFormAcrossAWrapAndOnAnotherDay) {
    // 500 ms below the wrap of the tick counter, on 2021-12-31 23:59:59.
    const STimeBase base{1640995199, 0xFFFFFE0Cu};
    const auto records = {std::pair<std::uint32_t, std::string_view>{0xFFFFFF00u, "a\n"},
                          {0x00000100u, "b\n"},
                          {0x00000500u, "c"}};
    CLineStartStamps absolute(EStampMode::Absolute, base);
    EXPECT_EQ(Stamped(absolute, records), "23:59:59.244 a\n23:59:59.756 b\n00:00:00.780 c");
    CLineStartStamps start(EStampMode::SinceStart, base);
    EXPECT_EQ(Stamped(start, records), "+0.244 a\n+0.756 b\n+1.780 c");
    CLineStartStamps delta(EStampMode::SincePrevious, base);
    EXPECT_EQ(Stamped(delta, records), "+0.000 a\n+0.512 b\n+1.024 c");
}

TEST_F(LineStamps, AChangeOfFormStartsWithTheNextLine) {
    CLineStartStamps lines(EStampMode::Off, STimeBase{0, 0});
    EXPECT_EQ(Stamped(lines, {{100, "off\nha"}}), "off\nha") << "Off writes the text as it is";
    lines.SetMode(EStampMode::SincePrevious);
    EXPECT_EQ(Stamped(lines, {{400, "lf\n"}, {700, "x\n"}}), "lf\n+0.600 x\n")
        << "the line under way stays unstamped; the next measures from its start";
    lines.SetMode(EStampMode::Absolute);
    EXPECT_EQ(Stamped(lines, {{800, "y"}}), "00:00:00.800 y");
    lines.SetMode(EStampMode::Off);
    EXPECT_EQ(Stamped(lines, {{900, "z\nw"}}), "z\nw");
}

TEST_F(LineStamps, ModesReadAndWriteTheirSettingsText) {
    for (const EStampMode mode : {EStampMode::Off, EStampMode::Absolute, EStampMode::SinceStart,
                                  EStampMode::SincePrevious}) {
        EXPECT_EQ(StampModeFromName(StampModeName(mode)), mode);
    }
    EXPECT_EQ(StampModeName(EStampMode::SincePrevious), "Since Previous Line");
    EXPECT_EQ(StampModeFromName("absolute"), EStampMode::Off) << "the text is exact";
    EXPECT_EQ(StampModeFromName(""), EStampMode::Off);
    EStampMode mode = EStampMode::Off;
    for (int i = 0; i < 4; ++i) {
        mode = NextStampMode(mode);
    }
    EXPECT_EQ(mode, EStampMode::Off) << "the key cycles through all four and back";
    EXPECT_EQ(NextStampMode(EStampMode::Absolute), EStampMode::SinceStart);
}

TEST_F(LineStamps, AGapIsMoreThanTheThreshold) {
    EXPECT_FALSE(IsGap(1000, 1100, 100)) << "exactly the threshold is no gap";
    EXPECT_TRUE(IsGap(1000, 1101, 100)) << "one millisecond past it is";
    EXPECT_TRUE(IsGap(0xFFFFFFF0u, 0x60u, 100)) << "across a wrap";
    EXPECT_FALSE(IsGap(0xFFFFFFF0u, 0x50u, 100));
}

}  // namespace
}  // namespace quillpad
